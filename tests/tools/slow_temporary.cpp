// Preloaded into movtool by a test, never built into it: holds the output helper inside its
// window between making a temporary file and registering it for removal, until the test's
// signal has arrived. The test's file named by SLOW_TEMPORARY_READY tells it the window is open.
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

extern "C" int mkostemp(char *name, int flags)
{
    using Real = int (*)(char *, int);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "mkostemp"));
    int fd = real(name, flags);
    const char *ready = getenv("SLOW_TEMPORARY_READY");
    if (fd < 0 || !ready) return fd;
    int told = open(ready, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (told >= 0) close(told);
    // Pending means no thread took it: every one of them has it blocked, as they must.
    for (int waited = 0; waited < 30000; waited++) {
        sigset_t pending;
        if (sigpending(&pending) == 0 &&
            (sigismember(&pending, SIGTERM) == 1 || sigismember(&pending, SIGINT) == 1 ||
             sigismember(&pending, SIGHUP) == 1))
            break;
        struct timespec ms = {0, 1000000};
        nanosleep(&ms, nullptr);
    }
    return fd;
}
