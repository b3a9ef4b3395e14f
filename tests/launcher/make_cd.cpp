// Writes a demo CD folder for the screenshot test: the background picture, the readme, the
// set-up program's stand-in and the trailer player (a copy of the given program).
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/launcher/sandbox.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_cd FOLDER PLAYER\n");
        return 2;
    }
    fs::path cd = argv[1];
    write_file(cd / "loading.bmp", make_bmp(480, 360, 0));
    write_file(cd / "Readme.txt", "Zenthor Demo\r\n");
    write_file(cd / "setup.exe", "MZ");
    fs::create_directories(cd / "Trailer");
    fs::copy_file(argv[2], cd / "Trailer" / "filmo.exe", fs::copy_options::overwrite_existing);
    write_file(cd / "Trailer" / "trailer.mov", "movie");
    return 0;
}
