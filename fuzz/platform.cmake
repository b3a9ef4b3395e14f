# The POSIX services' readers of outside data: the registry file and Windows paths.
fuzz_target(fuzz_registry_file
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/platform/registry_file_fuzz.cpp
    LIBS platform_posix_files
    SEEDS ${CMAKE_CURRENT_SOURCE_DIR}/seeds/registry_file)
fuzz_target(fuzz_paths
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/platform/paths_fuzz.cpp
    LIBS platform_posix_files
    SEEDS ${CMAKE_CURRENT_SOURCE_DIR}/seeds/paths)
