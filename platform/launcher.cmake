# The menu program's platform services. launcher_headless: windows, dialogs and process starts
# for tests (with the command line). launcher_posix_files: Windows paths, files and the registry
# on POSIX. launcher_posix_process: real process starts and the command line.
add_library(launcher_headless STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/headless/launcher_ui.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/headless/launcher_process.cpp)

add_library(launcher_posix_files STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/paths.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/files.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/registry.cpp)

add_library(launcher_posix_process STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/process.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/cmdline.cpp)
target_link_libraries(launcher_posix_process PUBLIC launcher_posix_files)
