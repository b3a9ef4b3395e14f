# The GStreamer plugin's decode speed and gst-play-1.0's CPU and memory beside filmo's.
if(NOT TARGET gstcdmovie OR NOT DEFINED DEMOCD_DIR)
    return()
endif()
set(GST_PLUGIN_BUILD_DIR ${GST_PLUGIN_BUILD_DIR})
set(TRAILER ${DEMOCD_DIR}/Trailer/trailer.mov)
set(MOVTOOL $<TARGET_FILE:movtool>)
if(TARGET filmo)
    set(FILMO $<TARGET_FILE:filmo>)
else()
    set(FILMO "")
endif()
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/gst/gst_bench.sh ${CMAKE_CURRENT_BINARY_DIR}/bench_gst.in
               @ONLY)
file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/bench_gst
     INPUT ${CMAKE_CURRENT_BINARY_DIR}/bench_gst.in
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                      WORLD_EXECUTE)
