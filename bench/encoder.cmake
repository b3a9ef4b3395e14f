# movtool encode's speed: whole records, and the packer and quantizer alone.
if(NOT TARGET movenc)
    return()
endif()
add_executable(bench_encoder bench_encoder.cpp)
target_link_libraries(bench_encoder PRIVATE movenc benchmark::benchmark)
