# The warnings every build is held to, gcc and clang alike: the plain build, the sanitizer
# builds, the Windows cross-build and the web build. The presets make them errors
# (CMAKE_COMPILE_WARNING_AS_ERROR); a build without a preset only shows them.
#
# -Wshadow            a local that hides another is how a loop ends up using the wrong index
# -Wconversion        a value silently cut to a narrower type: sizes, offsets, pixel and sample
#                     values in the readers and the decoders
# -Wsign-conversion   a negative count or offset turned into a huge size_t: in the system's code,
#                     the tools and the platform layer (see below for the tests)
# -Wformat=2          printf-style formats checked, and a format that is not a literal refused
# -Wnull-dereference  paths on which the optimizer sees a null pointer used
#
# Headers of the libraries we use (Qt, SDL, GStreamer, FFmpeg, GoogleTest) come in as system
# headers (imported targets and the compiler's own folders), so their warnings do not count.
set(DEMOCD_WARNINGS
    -Wall
    -Wextra
    -Wno-unused-parameter
    -Wshadow
    -Wconversion
    -Wformat=2
    -Wnull-dereference)

# The tests, benchmarks and fuzz targets index fixed-size fixtures with int arithmetic all over;
# there -Wsign-conversion only asks for casts (ASan and UBSan check the indices when they run).
# clang's -Wconversion includes it, so it is turned off there explicitly. A target belongs to
# the floor of the folder that defines it.
set(DEMOCD_WARNINGS_RELAXED
    "$<OR:$<PATH:IS_PREFIX,${CMAKE_SOURCE_DIR}/tests,$<TARGET_PROPERTY:SOURCE_DIR>>,$<PATH:IS_PREFIX,${CMAKE_SOURCE_DIR}/bench,$<TARGET_PROPERTY:SOURCE_DIR>>,$<PATH:IS_PREFIX,${CMAKE_SOURCE_DIR}/fuzz,$<TARGET_PROPERTY:SOURCE_DIR>>>"
)

add_compile_options(
    "$<$<COMPILE_LANGUAGE:C,CXX>:${DEMOCD_WARNINGS}>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:$<IF:${DEMOCD_WARNINGS_RELAXED},-Wno-sign-conversion,-Wsign-conversion>>"
)

# For a program the build compiles by its own command for the build machine (the Windows build's
# icon tool): the same warnings, errors where the build's are.
set(DEMOCD_HOST_WARNINGS ${DEMOCD_WARNINGS} -Wsign-conversion
                         "$<$<BOOL:${CMAKE_COMPILE_WARNING_AS_ERROR}>:-Werror>")
