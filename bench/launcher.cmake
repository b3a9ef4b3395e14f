# The menu's reader of the registry file, on install keys of many values.
add_executable(bench_registry ${CMAKE_CURRENT_SOURCE_DIR}/bench_registry.cpp)
target_link_libraries(bench_registry PRIVATE launcher_posix_files benchmark::benchmark)
target_include_directories(bench_registry PRIVATE ${CMAKE_SOURCE_DIR})
