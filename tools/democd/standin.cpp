// Stand-ins for the programs a real demo install has, so that every button of the menu can be
// tried on the demo CD: one program that acts by the name it was started under.
//   setup.exe    (CD root)        installs the demo: folder C:\ZENTHOR and its install record
//                                 ("setup.exe -s": quietly, without the closing window)
//   dxsetup.exe  (CD directx\)    says there is nothing to set up
//   ztDemo.exe   (install folder) the "game": a window saying what it is, closed by any key
//   UNINST.EXE   (install folder) removes the install folder and the install record
// Drive C: is $WINEPREFIX/dosdevices/c: (else ~/.wine/dosdevices/c:), and the install record
// lives in the registry file the menu reads: RUNNER_REGISTRY, else $WINEPREFIX/system.reg,
// else ~/.wine/system.reg.
#include "platform/standard_files.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <unistd.h>

#include "platform/posix/paths.h"
#include "platform/posix/registry_file.h"

namespace fs = std::filesystem;

namespace
{

const char *const KEY = "[Software\\\\Quillon\\\\Zenthor\\\\Inf]";

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The same lookups as the menu's, so that both always agree on where the install lives (an
// empty variable counts as unset for both).
fs::path registry_file()
{
    return registry_file_path();
}

fs::path drive_c()
{
    return fs::path(paths_wine_prefix()) / "dosdevices" / "c:";
}

fs::path own_path()
{
    std::error_code ec;
    const fs::path p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : p;
}

std::string read_text(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The registry file without the install record's section (and with it again when `section`
// is not empty). Other keys are kept as they were.
bool rewrite_registry(const std::string &section)
{
    const fs::path file = registry_file();
    std::string text = read_text(file);
    if (text.empty()) text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n";
    std::istringstream in(text);
    std::string out, line;
    bool skipping = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[') skipping = lower(line).rfind(lower(KEY), 0) == 0;
        if (!skipping) out += line + "\n";
    }
    if (!section.empty()) out += "\n" + section;
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    const fs::path temp = file.string() + ".new";
    {
        std::ofstream o(temp, std::ios::binary);
        o << out;
        if (!o) return false;
    }
    fs::rename(temp, file, ec);
    return !ec;
}

class KeyWindow : public QLabel
{
  public:
    using QLabel::QLabel;

  protected:
    void keyPressEvent(QKeyEvent *) override { close(); }
};

// Qt aborts the process where it finds no display; without one the text goes to stdout.
bool have_display()
{
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char *value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

int show_window(int argc, char **argv, const QString &title, const QString &text)
{
    if (!have_display()) {
        std::printf("%s\n", text.toLocal8Bit().constData());
        return 0;
    }
    QApplication app(argc, argv);
    KeyWindow w(text);
    w.setWindowTitle(title);
    w.setAlignment(Qt::AlignCenter);
    w.setMargin(24);
    w.setStyleSheet("QLabel { background: #202040; color: #f0d060; font-size: 16px; }");
    w.resize(520, 260);
    w.show();
    return app.exec();
}

int install(int argc, char **argv)
{
    // What the demo's installer leaves: the game, its uninstaller, its configuration files,
    // a driver setting and some saved games.
    const fs::path folder = drive_c() / "ZENTHOR";
    const fs::path self = own_path();
    std::error_code ec;
    fs::create_directories(folder / "drivers", ec);
    fs::create_directories(folder / "save", ec);
    if (ec) {
        std::fprintf(stderr, "setup: cannot create %s: %s\n", folder.c_str(), ec.message().c_str());
        return 1;
    }
    const auto copy_self = [&](const char *name) {
        fs::copy_file(self, folder / name, fs::copy_options::overwrite_existing, ec);
        fs::permissions(folder / name,
                        fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec,
                        ec);
    };
    copy_self("ztDemo.exe");
    copy_self("UNINST.EXE");
    for (const char *name :
         {"drivers/dig.ini", "loading.bmp", "tumblodos.cfg", "tumblowin.cfg", "frei.lvl",
          "levels.lst", "demo.pif", "save/slot1.sav", "save/slot2.sav", "INSTALL.LOG"})
        std::ofstream(folder / name) << "stand-in\n";
    const std::string section = std::string(KEY) + " 0\n" + "\"Path\"=\"C:\\\\ZENTHOR\"\n" +
                                "\"Uninstall\"=\"C:\\\\ZENTHOR\\\\UNINST.EXE "
                                "-fC:\\\\ZENTHOR\\\\INSTALL.LOG\"\n";
    if (!rewrite_registry(section)) {
        std::fprintf(stderr, "setup: cannot write %s\n", registry_file().c_str());
        return 1;
    }
    std::printf("setup: the demo is installed in %s\n", folder.c_str());
    std::fflush(stdout);
    if (argc > 1 && (std::strcmp(argv[1], "-s") == 0 || std::strcmp(argv[1], "/s") == 0)) return 0;
    return show_window(argc, argv, "Zenthor DEMO set-up",
                       "The Zenthor demo has been installed to C:\\ZENTHOR.\n\n"
                       "Start the CD menu again to play it.\n\n(press any key)");
}

int uninstall()
{
    const fs::path self = own_path();
    const fs::path folder = self.parent_path();
    std::error_code ec;
    // Only a folder that looks like our own install is removed.
    if (folder.empty() || !fs::exists(folder / "ztDemo.exe", ec)) {
        std::fprintf(stderr, "uninstall: %s is not the demo's install folder\n", folder.c_str());
        return 1;
    }
    fs::remove_all(folder, ec);
    if (!rewrite_registry(""))
        std::fprintf(stderr, "uninstall: cannot write %s\n", registry_file().c_str());
    std::printf("uninstall: removed %s and the install record\n", folder.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (!standard_files_open_missing()) return 1;
    const std::string name = lower(fs::path(argv[0]).filename().string());
    if (name == "setup.exe") return install(argc, argv);
    if (name == "uninst.exe") return uninstall();
    if (name == "dxsetup.exe")
        return show_window(argc, argv, "DirectX set-up",
                           "DirectX set-up (stand-in)\n\nNothing to install: this system "
                           "draws and plays sound without it.\n\n(press any key)");
    if (name == "ztdemo.exe")
        return show_window(argc, argv, "Zenthor DEMO",
                           "Zenthor demo (stand-in)\n\nThis window stands in for the demo game "
                           "that the CD installs.\n\n(press any key to close)");
    std::fprintf(stderr, "democd_standin: start me as setup.exe, dxsetup.exe, ztDemo.exe or "
                         "UNINST.EXE\n");
    return 2;
}
