# The menu program's platform services. launcher_headless: windows, dialogs and process starts
# for tests (with the command line). launcher_posix_files: Windows paths, files and the registry
# on POSIX. launcher_posix_process: real process starts and the command line. ui_objects: what
# the window backends keep the same (window records, palettes, bitmaps), for both of them.
add_library(ui_objects STATIC ${CMAKE_CURRENT_SOURCE_DIR}/ui_objects.cpp
                              ${CMAKE_CURRENT_SOURCE_DIR}/ui_common.cpp)

add_library(launcher_headless STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/headless/launcher_ui.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/headless/launcher_process.cpp)
target_link_libraries(launcher_headless PUBLIC ui_objects)

add_library(launcher_posix_files STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/paths.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/files.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/registry.cpp)
target_link_libraries(launcher_posix_files PUBLIC platform_cp1252)

add_library(launcher_posix_process STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/process.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/cmdline.cpp)
target_link_libraries(launcher_posix_process PUBLIC launcher_posix_files)

# The real runner: Qt 6 Widgets for its windows, POSIX for the rest.
if(WITH_QT)
    find_package(Qt6 REQUIRED COMPONENTS Widgets)
    add_library(launcher_qt STATIC
        ${CMAKE_CURRENT_SOURCE_DIR}/qt/launcher_ui.cpp
        ${CMAKE_CURRENT_SOURCE_DIR}/qt/runner.cpp)
    target_link_libraries(launcher_qt PUBLIC Qt6::Widgets launcher launcher_posix_process ui_objects
                          platform_cp1252)
    add_executable(runner ${CMAKE_CURRENT_SOURCE_DIR}/qt/main.cpp)
    # The launcher's code and the backends call each other: link them as one group.
    target_link_libraries(runner PRIVATE
        "$<LINK_GROUP:RESCAN,launcher,launcher_qt,launcher_posix_process,launcher_posix_files>"
        Qt6::Widgets)
    install(TARGETS runner RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
