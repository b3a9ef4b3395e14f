# The menu program's reader of outside data: the background picture.
fuzz_target(fuzz_backdrop
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/launcher/backdrop_fuzz.cpp
    LIBS launcher launcher_headless launcher_posix_files
    SEEDS ${CMAKE_CURRENT_SOURCE_DIR}/seeds/backdrop)
# The uninstall and the delete and search layer under it, on install trees the input builds; the
# program's own unlinkat watches every deletion.
fuzz_target(fuzz_uninstall
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/launcher/uninstall_fuzz.cpp
            ${CMAKE_SOURCE_DIR}/tests/launcher/unlink_guard.cpp
    LIBS uninstall_attack
    SEEDS ${CMAKE_CURRENT_SOURCE_DIR}/seeds/uninstall)
# The menu's start-up and its first looks at the install state, over any registry file.
fuzz_target(fuzz_menu_startup
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/launcher/startup_fuzz.cpp
    LIBS launcher launcher_headless launcher_posix_files
    SEEDS ${CMAKE_CURRENT_SOURCE_DIR}/seeds/menu_startup)
