find_library(LZ4_LIBRARY lz4 REQUIRED)
add_executable(bench_movie bench_movie.cpp)
target_link_libraries(bench_movie PRIVATE movie testsupport benchmark::benchmark ${LZ4_LIBRARY})
