// The runner program on a Linux desktop: where the CD is, then the menu on Qt.
#include <QApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "launcher/launcher.h"
#include "platform/posix/paths.h"
#include "platform/posix/posix.h"
#include "platform/qt/launcher_qt.h"

namespace
{

int signal_pipe[2] = {-1, -1};

void on_signal(int)
{
    int saved = errno;
    char byte = 1;
    ssize_t ignored = write(signal_pipe[1], &byte, 1);
    (void)ignored;
    // In the middle of reading a large file the loop would see the pipe only seconds later.
    posix_end_on_signal();
    errno = saved;
}

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

// Qt ends the process when it cannot reach the display; we say so in one line instead.
bool display_available()
{
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return true;
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland) return true;
    const char *display = std::getenv("DISPLAY");
    if (!display || !*display) return false;
    if (display[0] != ':') return true; // a display on another host: let Qt try
    std::string socket = "/tmp/.X11-unix/X" + std::string(display + 1);
    socket = socket.substr(0, socket.find('.', 17));
    struct stat st;
    return stat(socket.c_str(), &st) == 0;
}

} // namespace

int qt_runner_main(int argc, char **argv)
{
    std::string cd;
    const char *env_cd = std::getenv("RUNNER_CD");
    if (env_cd && *env_cd) cd = env_cd;
    char letter = 'D';
    const char *env_drive = std::getenv("RUNNER_CD_DRIVE");
    if (env_drive && *env_drive) letter = env_drive[0];
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage(stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--cd") == 0 && i + 1 < argc) {
            cd = argv[++i];
        } else if (std::strcmp(argv[i], "--drive") == 0 && i + 1 < argc) {
            letter = argv[++i][0];
        } else {
            std::fprintf(stderr, "runner: unknown argument %s\n", argv[i]);
            usage(stderr);
            return 2;
        }
    }
    if (cd.empty()) cd = own_folder(argv[0]);
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z'))) {
        std::fprintf(stderr, "runner: the drive letter must be a letter, not %c\n", letter);
        return 2;
    }
    letter = static_cast<char>(letter & ~0x20);
    // As the CD's autorun did: the menu starts in the CD's root.
    if (!paths_configure(cd.c_str(), letter)) {
        std::fprintf(stderr, "runner: cannot use %s as the CD folder\n", cd.c_str());
        return 2;
    }
    const char *name = std::strrchr(argv[0], '/');
    posix_cmdline_set(letter, name ? name + 1 : argv[0]);

    if (!display_available()) {
        std::fprintf(stderr, "runner: no display to show the menu on (set DISPLAY, or "
                             "QT_QPA_PLATFORM=offscreen to run without one)\n");
        return 1;
    }
    int qt_argc = 1;
    char *qt_argv[] = {argv[0], nullptr};
    QApplication *own = nullptr;
    if (!QApplication::instance()) own = new QApplication(qt_argc, qt_argv);
    qt_ui_init();
    qt_ui_reset();

    // SIGINT and SIGTERM end the menu from the event loop, whatever loop runs (a message box has
    // its own): the handler only wakes it through a pipe.
    struct sigaction action = {}, old_int = {}, old_term = {};
    QSocketNotifier *notifier = nullptr;
    if (pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        action.sa_handler = on_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, &old_int);
        sigaction(SIGTERM, &action, &old_term);
        notifier = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read);
        QObject::connect(notifier, &QSocketNotifier::activated, []() {
            char bytes[16];
            while (read(signal_pipe[0], bytes, sizeof bytes) > 0) {
            }
            qt_ui_request_end();
        });
    }
    launcher_reset();
    int code = launcher_main(SW_SHOWNORMAL);
    if (notifier) {
        delete notifier;
        sigaction(SIGINT, &old_int, nullptr);
        sigaction(SIGTERM, &old_term, nullptr);
        close(signal_pipe[0]);
        close(signal_pipe[1]);
        signal_pipe[0] = signal_pipe[1] = -1;
    }
    delete own;
    return code;
}
