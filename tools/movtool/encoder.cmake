# The encoder's modules form a library of their own so that its tests and benchmarks link the
# same code as movtool.
find_package(PNG REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
pkg_check_modules(SAMPLERATE REQUIRED IMPORTED_TARGET samplerate)

file(GLOB movenc_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/encode_*.cpp)
add_library(movenc STATIC ${movenc_sources})
target_include_directories(movenc PUBLIC ${CMAKE_SOURCE_DIR})
# libpng and libsndfile are public: the tests make their fixtures with them.
target_link_libraries(movenc PUBLIC movie PNG::PNG PkgConfig::SNDFILE PRIVATE PkgConfig::SAMPLERATE platform_readfile)

target_link_libraries(movtool PRIVATE movenc)
