// The background picture loader on any file: it loads within bounds or fails cleanly.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "launcher/backdrop.h"
#include "launcher/templates.h"
#include "platform/headless/launcher_headless.h"

namespace
{

char path[4096];
UiWindow window;

intptr_t no_proc(UiWindow, uint32_t, uintptr_t, intptr_t)
{
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The loader reads a real file every run, in the run's own temporary folder.
    const char *folder = getenv("TMPDIR");
    if (!folder || !*folder) folder = "/tmp";
    std::snprintf(path, sizeof path, "%s/backdrop-fuzz-%d.bmp", folder, static_cast<int>(getpid()));
    std::atexit([] { unlink(path); });
    headless_launcher_reset(1024, 768);
    window = ui_create_dialog(&template_runner, 0, no_proc);
    ui_move_window(window, 0, 0, 486, 503, false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *file = std::fopen(path, "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    PictureRecord picture = {};
    if (backdrop_load(path, &picture, window)) {
        if (picture.pixel_bytes <= 0 || picture.image_bytes > static_cast<int64_t>(size) + 40)
            std::abort();
        UiDc dc = ui_begin_paint(window);
        backdrop_paint(dc, &picture, 0, 80);
        ui_end_paint(window, dc);
        backdrop_release(&picture);
    } else if (picture.palette || picture.image) {
        std::abort(); // a failed load leaves the record empty
    }
    return 0;
}
