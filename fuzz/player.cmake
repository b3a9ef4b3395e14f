# The player's only reader of outside data besides the movie reader: its command line.
fuzz_target(fuzz_playlist SOURCES fuzz_playlist.cpp LIBS player present platform_headless)
