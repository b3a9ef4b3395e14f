// The runner program on a Linux desktop: where the CD is, then the menu.
#include "apps/runner/runner.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "launcher/launcher.h"
#include "platform/posix/paths.h"
#include "platform/posix/posix.h"
#include "platform/session.h"

namespace
{

void usage(FILE *out)
{
    std::fputs("usage: runner [--cd FOLDER] [--drive LETTER]\n"
               "The demo CD's menu. FOLDER is the CD's folder (default: RUNNER_CD, else the\n"
               "folder that holds this program); LETTER is the drive letter the CD has for the\n"
               "programs it starts (default: RUNNER_CD_DRIVE, else D). The install record is read\n"
               "from RUNNER_REGISTRY, else $WINEPREFIX/system.reg, else ~/.wine/system.reg;\n"
               "Windows programs are started through RUNNER_WINE, else wine.\n",
               out);
}

std::string own_folder(const char *argv0)
{
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    std::string path = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string(argv0);
    size_t cut = path.find_last_of('/');
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut ? cut : 1);
}

// The CD folder and its drive letter, from the environment and then the options: -1 to go on,
// else the exit status (help given, or a wrong option).
int read_options(int argc, char **argv, std::string *cd, char *letter)
{
    const char *env_cd = std::getenv("RUNNER_CD");
    if (env_cd && *env_cd) *cd = env_cd;
    const char *env_drive = std::getenv("RUNNER_CD_DRIVE");
    if (env_drive && *env_drive) *letter = env_drive[0];
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage(stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--cd") == 0 && i + 1 < argc) {
            *cd = argv[++i];
        } else if (std::strcmp(argv[i], "--drive") == 0 && i + 1 < argc) {
            *letter = argv[++i][0];
        } else {
            std::fprintf(stderr, "runner: unknown argument %s\n", argv[i]);
            usage(stderr);
            return 2;
        }
    }
    if (cd->empty()) *cd = own_folder(argv[0]);
    if (!((*letter >= 'A' && *letter <= 'Z') || (*letter >= 'a' && *letter <= 'z'))) {
        std::fprintf(stderr, "runner: the drive letter must be a letter, not %c\n", *letter);
        return 2;
    }
    *letter = static_cast<char>(*letter & ~0x20);
    return -1;
}

} // namespace

int runner_main(int argc, char **argv)
{
    std::string cd;
    char letter = 'D';
    int status = read_options(argc, argv, &cd, &letter);
    if (status >= 0) return status;
    // As the CD's autorun did: the menu starts in the CD's root.
    if (!paths_configure(cd.c_str(), letter)) {
        std::fprintf(stderr, "runner: cannot use %s as the CD folder\n", cd.c_str());
        return 2;
    }
    const char *name = std::strrchr(argv[0], '/');
    posix_cmdline_set(letter, name ? name + 1 : argv[0]);

    if (!session_display_available()) {
        std::fprintf(stderr, "runner: no display to show the menu on (set DISPLAY, or "
                             "QT_QPA_PLATFORM=offscreen to run without one)\n");
        return 1;
    }
    session_begin(argv[0]);
    launcher_reset();
    int code = launcher_main(SW_SHOWNORMAL);
    session_end();
    return code;
}
