// The start-up service on Qt: the display probe, the application object and the signal pipe.
#include <QApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/posix.h"
#include "platform/qt/qt_ui.h"
#include "platform/session.h"

namespace
{

int signal_pipe[2] = {-1, -1};
struct sigaction old_int = {}, old_term = {};
QSocketNotifier *notifier = nullptr;
// Qt keeps the argument count and vector it was given for the life of the application.
int qt_argc = 1;
char *qt_argv[] = {nullptr, nullptr};
QApplication *own = nullptr;

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

} // namespace

// Qt ends the process when it cannot reach the display; we say so in one line instead.
int32_t session_display_available()
{
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return 1;
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland) return 1;
    const char *display = std::getenv("DISPLAY");
    if (!display || !*display) return 0;
    if (display[0] != ':') return 1; // a display on another host: let Qt try
    std::string socket = "/tmp/.X11-unix/X" + std::string(display + 1);
    socket = socket.substr(0, socket.find('.', 17));
    struct stat st;
    return stat(socket.c_str(), &st) == 0;
}

void session_begin(char *argv0)
{
    qt_argc = 1;
    qt_argv[0] = argv0;
    if (!QApplication::instance()) own = new QApplication(qt_argc, qt_argv);
    qt_ui_init();
    qt_ui_reset();

    // SIGINT and SIGTERM end the menu from the event loop, whatever loop runs (a message box has
    // its own): the handler only wakes it through a pipe.
    if (pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        struct sigaction action = {};
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
}

void session_end()
{
    if (notifier) {
        delete notifier;
        notifier = nullptr;
        sigaction(SIGINT, &old_int, nullptr);
        sigaction(SIGTERM, &old_term, nullptr);
        close(signal_pipe[0]);
        close(signal_pipe[1]);
        signal_pipe[0] = signal_pipe[1] = -1;
    }
    delete own;
    own = nullptr;
}
