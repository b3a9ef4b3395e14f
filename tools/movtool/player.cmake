# screen draws with the player's own drawing functions, which need no display device; export
# writes PNG through libpng.
find_package(PNG REQUIRED)
target_link_libraries(movtool PRIVATE present_picture PNG::PNG)
