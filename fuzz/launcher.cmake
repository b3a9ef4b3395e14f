# The menu program's reader of outside data: the background picture.
fuzz_target(fuzz_backdrop
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/launcher/backdrop_fuzz.cpp
    LIBS launcher launcher_headless launcher_posix_files
    SEEDS ${CMAKE_CURRENT_SOURCE_DIR}/seeds/backdrop)
