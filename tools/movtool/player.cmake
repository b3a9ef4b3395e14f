# screen and export draw with the player's own display code on the headless backend; export
# writes PNG through libpng.
find_package(PNG REQUIRED)
target_link_libraries(movtool PRIVATE player present platform_headless PNG::PNG)
