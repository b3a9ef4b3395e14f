// The menu's own start-up, two timer ticks and a few commands on the headless windows, with the
// input as its registry file: whatever the file holds, the menu starts, keeps its texts inside
// their buffers, and changes nothing outside its install folder's driver file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "launcher/launcher.h"
#include "launcher/templates.h"
#include "platform/headless/launcher_headless.h"
#include "platform/posix/paths.h"
#include "tests/launcher/sandbox.h"

namespace
{

Sandbox box;
int own_folder = -1;
std::map<std::string, std::string> outside_before;

bool within(const char *text, size_t size)
{
    return std::memchr(text, '\0', size) != nullptr;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    own_folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    box = sandbox_make(); // in TMPDIR, the fuzzer's own folder
    std::atexit([] { sandbox_remove(box); });
    write_file(box.cd / "loading.bmp", make_bmp(48, 36, 0));
    write_file(box.cd / "Readme.txt", "Zeile\r\n");
    write_file(box.cd / "setup.exe", "MZ");
    write_file(box.cd / "directx" / "dxsetup.exe", "MZ");
    write_file(box.drive_c / "DEMO" / "ztDemo.exe", "MZ");
    write_file(box.drive_c / "SOUND" / "xxxxxxx.xxx", "MZ");
    write_file(box.drive_c / "SOUND" / "drivers" / ".keep", "");
    write_file(box.outside / "canary.txt", "keep");
    outside_before = sandbox_listing(box.outside);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    write_file(box.registry, std::string(reinterpret_cast<const char *>(data), size));
    std::error_code ignored;
    fs::remove(box.drive_c / "SOUND" / "drivers" / "dig.ini", ignored);
    if (!paths_configure(box.cd.c_str(), 'E')) std::abort();
    launcher_reset();
    headless_launcher_reset(1024, 768);
    headless_set_command_line("E:\\RUNNER.EXE");
    // The first byte picks what the session does beyond its start-up and two looks.
    uint8_t choice = size ? data[0] : 0;
    launcher.sound_setup_has_run = choice & 1;
    headless_tick();
    headless_tick();
    if (choice & 2) {
        headless_answer_message_box(IDNO);
        headless_call([] { headless_click(launcher.menu_window, ID_UNINSTALL); });
    }
    if (choice & 4) headless_call([] { headless_click(launcher.menu_window, ID_README); });
    if (choice & 8) headless_key(VK_F1);
    launcher_main(SW_SHOWNORMAL);
    if (own_folder >= 0 && fchdir(own_folder) != 0) std::abort();

    if (!within(launcher.install_folder, sizeof launcher.install_folder) ||
        !within(launcher.uninstall_command, sizeof launcher.uninstall_command) ||
        !within(launcher.uninstaller_argument, sizeof launcher.uninstaller_argument) ||
        !within(launcher.work_path, sizeof launcher.work_path) || launcher.language < 0 ||
        launcher.language > 1)
        std::abort();
    // The only start without a click is none; an uninstall answered No starts nothing.
    for (const HeadlessStart &start : headless_starts())
        if (start.way == PROCESS_START_IN_PLACE) std::abort();
    if (sandbox_listing(box.outside) != outside_before) std::abort();
    launcher_reset();
    return 0;
}
