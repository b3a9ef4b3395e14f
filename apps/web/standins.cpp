// The CD's other programs as the page has them, doing what the desktop's stand-ins do: the
// set-up writes the demo's files to drive C: and its install record to the registry file, the
// game shows its window until a key, the DirectX and sound set-ups finish at once, and the
// uninstaller records its start (what it would remove is its own business, outside the menu).
#include "apps/web/programs.h"
#include "platform/web/web.h"

#include <cerrno>
#include <cstdio>
#include <emscripten/emscripten.h>
#include <string>
#include <sys/stat.h>

namespace
{

// What the demo's installer leaves: the game, its uninstaller, its configuration files, a
// driver setting and some saved games.
const char *const INSTALLED[] = {"ztDemo.exe",     "UNINST.EXE",     "drivers/dig.ini",
                                 "loading.bmp",    "tumblodos.cfg",  "tumblowin.cfg",
                                 "frei.lvl",       "levels.lst",     "demo.pif",
                                 "save/slot1.sav", "save/slot2.sav", "INSTALL.LOG"};

const char *const RECORD = "WINE REGISTRY Version 2\n"
                           ";; All keys relative to \\\\Machine\n"
                           "\n"
                           "[Software\\\\Quillon\\\\Zenthor\\\\Inf] 0\n"
                           "\"Path\"=\"C:\\\\ZENTHOR\"\n"
                           "\"Uninstall\"=\"C:\\\\ZENTHOR\\\\UNINST.EXE "
                           "-fC:\\\\ZENTHOR\\\\INSTALL.LOG\"\n";

bool make_folder(const std::string &path)
{
    return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

bool write_file(const std::string &path, const char *text)
{
    // Beside the target first: a file cut short never takes the old one's place.
    std::string temporary = path + ".new";
    FILE *f = std::fopen(temporary.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fputs(text, f) >= 0;
    ok = std::fclose(f) == 0 && ok;
    if (ok && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    std::remove(temporary.c_str());
    return false;
}

void window(const char *title, const char *text)
{
    MAIN_THREAD_EM_ASM({ Module.page.standinWindow(UTF8ToString($0), UTF8ToString($1)); }, title,
                       text);
}

bool setup(const char *, const std::vector<std::string> &)
{
    const std::string folder = std::string(WEB_PREFIX) + "/dosdevices/c:/ZENTHOR";
    bool ok =
        make_folder(folder) && make_folder(folder + "/drivers") && make_folder(folder + "/save");
    for (const char *name : INSTALLED)
        ok = ok && write_file(folder + "/" + name, "stand-in\n");
    ok = ok && write_file(std::string(WEB_PREFIX) + "/system.reg", RECORD);
    web_storage_save();
    if (!ok) {
        web_page_log("setup.exe: the demo could not be installed (the browser's storage refused)");
        return true;
    }
    web_page_log("setup.exe: the demo is installed in C:\\ZENTHOR");
    window("Zenthor DEMO set-up", "The Zenthor demo has been installed to C:\\ZENTHOR.\n\n"
                                  "Start the CD menu again to play it.\n\n(press any key)");
    return true;
}

bool directx_setup(const char *, const std::vector<std::string> &)
{
    web_page_log("dxsetup.exe: nothing to install, the browser draws and plays sound itself");
    return true;
}

bool sound_setup(const char *, const std::vector<std::string> &)
{
    web_page_log("setsound.exe: the browser chooses the sound device");
    return true;
}

bool game(const char *, const std::vector<std::string> &)
{
    window("Zenthor DEMO", "Zenthor demo (stand-in)\n\nThis window stands in for the demo game "
                           "that the CD installs.\n\n(press any key to close)");
    return true;
}

bool uninstaller(const char *, const std::vector<std::string> &args)
{
    std::string line = "UNINST.EXE: started";
    for (const std::string &a : args)
        line += " " + a;
    web_page_log(line);
    return true;
}

} // namespace

void standins_register()
{
    web_program_register("setup.exe", setup);
    web_program_register("dxsetup.exe", directx_setup);
    web_program_register("setsound.exe", sound_setup);
    web_program_register("ztDemo.exe", game);
    web_program_register("UNINST.EXE", uninstaller);
}
