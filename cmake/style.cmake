# The style checks (STYLE_CHECKS, on in the plain build's preset, so make test runs them): the
# tree as clang-format writes it, and clang-tidy over the files the change touches
# (tests/style/tidy.py says which change; TIDY_BASE in the environment names the base).
option(STYLE_CHECKS "test the tree's format and clang-tidy over the changed files" OFF)
if(NOT STYLE_CHECKS)
    return()
endif()
find_program(CLANG_FORMAT clang-format REQUIRED)
find_program(CLANG_TIDY clang-tidy REQUIRED)
add_test(NAME style_format
         COMMAND ${IN_TEST_FOLDER} bash ${CMAKE_SOURCE_DIR}/tests/style/format.sh ${CMAKE_SOURCE_DIR})
# One file at a time beside the other tests, first of them (a high cost), so that it runs while
# they do rather than after.
add_test(NAME style_tidy
         COMMAND ${IN_TEST_FOLDER} python3 ${CMAKE_SOURCE_DIR}/tests/style/tidy.py ${CMAKE_SOURCE_DIR}
                 ${CMAKE_BINARY_DIR} --jobs 1)
set_tests_properties(style_format style_tidy PROPERTIES LABELS style)
set_tests_properties(style_tidy PROPERTIES COST 1000 TIMEOUT 1800)
