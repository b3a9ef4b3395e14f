# present_picture against a plain copy of the screen's bytes; and the player's picture timing
# and CPU on the headless backend at real time.
add_executable(bench_present ${CMAKE_CURRENT_SOURCE_DIR}/player/present_bench.cpp)
target_link_libraries(bench_present PRIVATE player present platform_headless benchmark::benchmark)

add_executable(bench_player_timing ${CMAKE_CURRENT_SOURCE_DIR}/player/timing.cpp)
target_link_libraries(bench_player_timing PRIVATE player present testsupport platform_headless)

if(TARGET filmo)
    add_executable(bench_filmo ${CMAKE_CURRENT_SOURCE_DIR}/player/filmo_bench.cpp)
    target_link_libraries(bench_filmo PRIVATE testsupport)
    target_compile_definitions(bench_filmo PRIVATE FILMO_PATH="$<TARGET_FILE:filmo>"
                               MOVTOOL_PATH="$<TARGET_FILE:movtool>")
    add_dependencies(bench_filmo filmo movtool)
endif()
