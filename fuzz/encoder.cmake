# The encoder's readers of picture and sound files, with a few small files of each kind as seeds.
if(NOT TARGET movenc)
    return()
endif()
add_executable(encode_seeds encode_seeds.cpp)
# libpng and libsndfile come with the encoder library.
target_link_libraries(encode_seeds PRIVATE movenc)
add_test(NAME make_encode_seeds
         COMMAND ${IN_TEST_FOLDER} sh -c "mkdir -p ${SEED_DIR}/encode && $<TARGET_FILE:encode_seeds> ${SEED_DIR}/encode")
set_tests_properties(make_encode_seeds PROPERTIES FIXTURES_SETUP fuzz_seeds LABELS fuzz)
fuzz_target(fuzz_encode_input SOURCES fuzz_encode_input.cpp LIBS movenc SEEDS ${SEED_DIR}/encode)
