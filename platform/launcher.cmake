# The menu program's platform services. launcher_headless: windows, dialogs and process starts
# for tests (with the command line). launcher_posix_files: Windows paths, files and the registry
# on POSIX. launcher_posix_process: real process starts and the command line. ui_objects: what
# the window backends keep the same (window records and their rules, classes, timers, messages,
# palettes, bitmaps) and the window services that are only that, for both of them.
add_library(ui_objects STATIC ${CMAKE_CURRENT_SOURCE_DIR}/ui_objects.cpp
                              ${CMAKE_CURRENT_SOURCE_DIR}/ui_common.cpp)

add_library(launcher_headless STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/headless/launcher_ui.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/headless/launcher_process.cpp)
target_link_libraries(launcher_headless PUBLIC ui_objects launcher_posix_files)

add_library(launcher_posix_files STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/paths.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/files.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/folders.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/registry.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/environment.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/ending.cpp)
target_link_libraries(launcher_posix_files PUBLIC platform_cp1252 platform_readfile)

add_library(launcher_posix_process STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/process.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/cmdline.cpp)
target_link_libraries(launcher_posix_process PUBLIC launcher_posix_files)

# The real runner: Qt 6 Widgets for its windows, POSIX for the rest. launcher_qt is the window
# backend alone; runner_qt is the program (its entry's work) over the launcher and the backends.
if(WITH_QT)
    find_package(Qt6 REQUIRED COMPONENTS Widgets)
    add_library(launcher_qt STATIC ${CMAKE_CURRENT_SOURCE_DIR}/qt/launcher_ui.cpp)
    target_link_libraries(launcher_qt PUBLIC Qt6::Widgets ui_objects platform_cp1252
                                      launcher_posix_files)
    add_library(runner_qt STATIC ${CMAKE_CURRENT_SOURCE_DIR}/qt/runner.cpp)
    target_link_libraries(runner_qt PUBLIC launcher launcher_qt launcher_posix_process)
    add_executable(runner ${CMAKE_CURRENT_SOURCE_DIR}/qt/main.cpp)
    target_link_libraries(runner PRIVATE runner_qt platform_standard_files)
    install(TARGETS runner RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
