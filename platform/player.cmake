# The player's platform services (clock and threads, window, screen, audio) per backend.
add_library(platform_headless STATIC ${CMAKE_CURRENT_SOURCE_DIR}/headless/headless.cpp)
target_include_directories(platform_headless PUBLIC ${CMAKE_SOURCE_DIR})
find_package(Threads REQUIRED)
target_link_libraries(platform_headless PUBLIC Threads::Threads)

if(WITH_SDL)
    find_package(SDL2 REQUIRED)
    add_library(platform_sdl STATIC ${CMAKE_CURRENT_SOURCE_DIR}/sdl/sdl.cpp)
    target_include_directories(platform_sdl PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(platform_sdl PUBLIC SDL2::SDL2 Threads::Threads platform_cp1252)

    add_executable(filmo ${CMAKE_CURRENT_SOURCE_DIR}/sdl/filmo_main.cpp)
    target_link_libraries(filmo PRIVATE player present movie platform_sdl)
    install(TARGETS filmo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
