// The encoder's readers of outside files: the input as a picture file, then as a sound file.
// Whatever the bytes, a load either succeeds with a whole picture or sound, or fails with a
// reason, and never leaves its buffers.
#include "tools/movtool/encode_input.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace
{

PictureLoader *loader = nullptr;
std::string path;

void remove_input()
{
    std::remove(path.c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The loaders read files by name: one file per fuzzing process, removed at its end.
    const char *folder = std::getenv("TMPDIR");
    path = std::string(folder && *folder ? folder : "/tmp") + "/fuzz_encode_input_" +
           std::to_string(getpid());
    loader = encode_loader_alloc();
    std::atexit(remove_input);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);

    static uint8_t rgb[ENCODE_WIDTH * ENCODE_HEIGHT * 3];
    char error[256] = "";
    if (!encode_load_picture(loader, path.c_str(), rgb, error, sizeof error) && !error[0])
        std::abort(); // a failure always says why

    SoundTrack track{};
    error[0] = 0;
    if (encode_load_sound(path.c_str(), &track, error, sizeof error)) {
        if (track.count < 0 || (track.count > 0 && !track.samples)) std::abort();
        // Touch every sample: the count must be what was allocated.
        unsigned sum = 0;
        for (int64_t i = 0; i < track.count; i++)
            sum += track.samples[i];
        if (sum == 1u << 31) std::abort();
        encode_free_sound(&track);
    } else if (!error[0]) {
        std::abort();
    }
    return 0;
}
