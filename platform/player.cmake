# The player's platform services (clock and threads, window, screen, audio) per backend.
find_package(Threads REQUIRED)
# The looping sound buffer of the backends whose device has none the player could lock.
add_library(platform_softsound STATIC ${CMAKE_CURRENT_SOURCE_DIR}/softsound.cpp)
target_include_directories(platform_softsound PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(platform_softsound PUBLIC Threads::Threads)

# A window's default handling where no window system gives one: the headless and SDL windows.
# It destroys a window through the window service, which the backend linked with it provides.
add_library(platform_window_default STATIC ${CMAKE_CURRENT_SOURCE_DIR}/window_default.cpp)
target_include_directories(platform_window_default PUBLIC ${CMAKE_SOURCE_DIR})

# What the backends that keep the screen in memory and play the soft buffer on a device of their
# own (SDL, the web) do alike with them.
add_library(platform_memscreen STATIC ${CMAKE_CURRENT_SOURCE_DIR}/memscreen.cpp)
target_include_directories(platform_memscreen PUBLIC ${CMAKE_SOURCE_DIR})
add_library(platform_softsound_audio STATIC ${CMAKE_CURRENT_SOURCE_DIR}/softsound_audio.cpp)
target_link_libraries(platform_softsound_audio PUBLIC platform_softsound)

add_library(platform_headless STATIC ${CMAKE_CURRENT_SOURCE_DIR}/headless/headless.cpp)
target_include_directories(platform_headless PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(platform_headless PUBLIC platform_softsound platform_window_default
                      Threads::Threads)

if(WITH_SDL)
    find_package(SDL2 REQUIRED)
    # Xlib for the message box of our own where SDL cannot show one, and to ask whether a window
    # manager runs.
    find_package(X11 REQUIRED)
    add_library(platform_sdl STATIC ${CMAKE_CURRENT_SOURCE_DIR}/sdl/clock.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/sdl/window.cpp ${CMAKE_CURRENT_SOURCE_DIR}/sdl/screen.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/sdl/sound.cpp ${CMAKE_CURRENT_SOURCE_DIR}/sdl/scale.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/sdl/x11_box.cpp ${CMAKE_CURRENT_SOURCE_DIR}/sdl/x11.cpp)
    target_include_directories(platform_sdl PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(platform_sdl PUBLIC platform_softsound platform_softsound_audio
                          platform_memscreen platform_window_default
                          SDL2::SDL2 X11::X11 Threads::Threads platform_cp1252)

    add_executable(filmo ${CMAKE_CURRENT_SOURCE_DIR}/sdl/filmo_main.cpp)
    target_link_libraries(filmo PRIVATE player present movie platform_sdl platform_standard_files)
    install(TARGETS filmo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
