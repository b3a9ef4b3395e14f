fuzz_target(fuzz_lz SOURCES fuzz_lz.cpp LIBS movie SEEDS ${SEED_DIR}/lz)
fuzz_target(fuzz_picture SOURCES fuzz_picture.cpp LIBS movie SEEDS ${SEED_DIR}/picture)
fuzz_target(fuzz_movie SOURCES fuzz_movie.cpp LIBS movie SEEDS ${SEED_DIR}/movie)
