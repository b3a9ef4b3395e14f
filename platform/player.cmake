# The player's platform services (clock and threads, window, screen, audio) per backend.
add_library(platform_headless STATIC ${CMAKE_CURRENT_SOURCE_DIR}/headless/headless.cpp)
target_include_directories(platform_headless PUBLIC ${CMAKE_SOURCE_DIR})
find_package(Threads REQUIRED)
target_link_libraries(platform_headless PUBLIC Threads::Threads)
