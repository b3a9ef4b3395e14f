# The decoder's speed on a movie file, natively; the web build makes the same program as
# WebAssembly, and bench/web/web_bench.py compares the two (not a bench_* of its own: it needs a
# movie).
add_executable(decode_speed ${CMAKE_CURRENT_SOURCE_DIR}/web/decode_speed.cpp)
target_link_libraries(decode_speed PRIVATE movie)
