# The GStreamer plugin's elements, registered in-process, in pipelines over damaged input.
if(NOT TARGET cdmovie_elements)
    return()
endif()
find_package(PkgConfig REQUIRED)
pkg_check_modules(GST_FUZZ REQUIRED IMPORTED_TARGET gstreamer-app-1.0)
fuzz_target(fuzz_gst SOURCES fuzz_gst.cpp LIBS cdmovie_elements PkgConfig::GST_FUZZ
            SEEDS ${SEED_DIR}/movie)
