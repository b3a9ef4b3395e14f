// Outputs on POSIX. The temporary file is made with mkstemp beside the target: the same file
// system, so the rename is atomic, and a name nobody could have prepared (an existing file or
// link of that name makes mkstemp pick another). Its name is kept in a fixed table that the
// signal handler can walk without allocating.
#include "platform/output.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{

constexpr int32_t OUTPUT_SLOTS = 16;
constexpr int32_t OUTPUT_LINK_HOPS = 40; // as the kernel's own limit
const int output_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

char slot_name[OUTPUT_SLOTS][OUTPUT_PATH_MAX];
volatile sig_atomic_t slot_used[OUTPUT_SLOTS];
bool handlers_installed;

std::vector<std::pair<dev_t, ino_t>> inputs;
char error_text[OUTPUT_PATH_MAX * 2 + 256];
int error_number;

int32_t hold_depth;
sigset_t held_mask;

int32_t fail(const char *name, const char *reason, int32_t status = OUTPUT_FAILED)
{
    snprintf(error_text, sizeof error_text, "%s: %s", name, reason);
    error_number = 0;
    return status;
}

int32_t fail_errno(const char *name, int error)
{
    fail(name, strerror(error));
    error_number = error;
    return OUTPUT_FAILED;
}

void remove_temporaries()
{
    for (int32_t i = 0; i < OUTPUT_SLOTS; i++)
        if (slot_used[i]) {
            unlink(slot_name[i]);
            slot_used[i] = 0;
        }
}

// Removes what is half written and lets the signal end the process as it would have, so the
// parent sees the usual status (128 + the signal in a shell).
void on_signal(int signal_number)
{
    int saved = errno;
    for (int32_t i = 0; i < OUTPUT_SLOTS; i++)
        if (slot_used[i]) unlink(slot_name[i]);
    struct sigaction action {
    };
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
    raise(signal_number); // blocked until the handler returns, then it ends the process
    errno = saved;
}

// Looked at again for every temporary file, so that a handler the program set back to the
// default in between is put back.
void install_handlers()
{
    if (!handlers_installed) atexit(remove_temporaries);
    handlers_installed = true;
    struct sigaction action {
    };
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    for (int s : output_signals)
        sigaddset(&action.sa_mask, s);
    // Past a file size limit, a write fails (EFBIG) and is reported like a full disk, rather
    // than the signal ending the process in the middle.
    struct sigaction size_limit {
    };
    if (sigaction(SIGXFSZ, nullptr, &size_limit) == 0 && size_limit.sa_handler == SIG_DFL)
        signal(SIGXFSZ, SIG_IGN);
    for (int s : output_signals) {
        struct sigaction old {
        };
        // A signal the caller chose to ignore (nohup) or handles itself is left alone.
        if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_DFL)
            sigaction(s, &action, nullptr);
    }
}

void block_signals(sigset_t *old)
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : output_signals)
        sigaddset(&set, s);
    sigprocmask(SIG_BLOCK, &set, old);
}

bool is_input(const struct stat &st)
{
    for (const auto &in : inputs)
        if (in.first == st.st_dev && in.second == st.st_ino) return true;
    return false;
}

// Follows links from name to the file that gets written. exists tells whether that file is
// there (then st describes it); a missing folder on the way is left for the open to report.
int32_t resolve(const char *name, char *target, struct stat *st, bool *exists)
{
    if (strlen(name) >= OUTPUT_PATH_MAX) return fail(name, strerror(ENAMETOOLONG));
    snprintf(target, OUTPUT_PATH_MAX, "%s", name);
    for (int32_t hop = 0; hop <= OUTPUT_LINK_HOPS; hop++) {
        if (lstat(target, st) != 0) {
            if (errno != ENOENT) return fail_errno(name, errno);
            // Making the name a link leads to would create a file wherever the link points,
            // outside any folder the user named: only the name itself may be new.
            if (hop > 0) {
                snprintf(error_text, sizeof error_text,
                         "%s: is a link to %s, which does not exist; not written through", name,
                         target);
                error_number = 0;
                return OUTPUT_FAILED;
            }
            *exists = false;
            return 0;
        }
        if (!S_ISLNK(st->st_mode)) {
            *exists = true;
            return 0;
        }
        char link[OUTPUT_PATH_MAX];
        ssize_t n = readlink(target, link, sizeof link - 1);
        if (n < 0) return fail_errno(name, errno);
        link[n] = 0;
        if (link[0] == '/') {
            memcpy(target, link, (size_t)n + 1);
            continue;
        }
        // Relative to the folder that holds the link.
        const char *slash = strrchr(target, '/');
        size_t keep = slash ? (size_t)(slash - target) + 1 : 0;
        if (keep + (size_t)n >= OUTPUT_PATH_MAX) return fail(name, strerror(ENAMETOOLONG));
        memcpy(target + keep, link, (size_t)n + 1);
    }
    return fail(name, strerror(ELOOP));
}

int32_t check_target(const char *name, const struct stat &st, bool exists)
{
    if (!exists) return 0;
    if (S_ISDIR(st.st_mode)) return fail(name, "is a directory");
    if (S_ISSOCK(st.st_mode)) return fail(name, "is a socket");
    if (is_input(st))
        return fail(name, "is also an input; it is not overwritten", OUTPUT_IS_AN_INPUT);
    return 0;
}

int32_t open_stdout(OutputFile *out)
{
    struct stat st;
    if (fstat(STDOUT_FILENO, &st) != 0) return fail_errno("standard output", errno);
    if (is_input(st))
        return fail("standard output", "is also an input; it is not overwritten",
                    OUTPUT_IS_AN_INPUT);
    out->file = stdout;
    out->is_stdout = 1;
    snprintf(out->name, sizeof out->name, "standard output");
    return 0;
}

// A device or FIFO: written in place, never replaced. The descriptor is checked again, so a
// regular file swapped in after the look is not written without its temporary file.
int32_t open_through(OutputFile *out)
{
    // The links were followed already: one put in the device's place since is not.
    int fd = open(out->target, O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return fail_errno(out->name, errno);
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode) || is_input(st)) {
        close(fd);
        return fail(out->name, "changed while it was being opened");
    }
    out->file = fdopen(fd, "wb");
    if (!out->file) {
        int error = errno;
        close(fd);
        return fail_errno(out->name, error);
    }
    return 0;
}

int32_t open_temporary(OutputFile *out, const struct stat &st, bool exists)
{
    int32_t slot = 0;
    while (slot < OUTPUT_SLOTS && slot_used[slot])
        slot++;
    if (slot == OUTPUT_SLOTS) return fail(out->name, "too many outputs open at once");
    // A hidden name beside the target, its base shortened to stay within a name's limit.
    const char *slash = strrchr(out->target, '/');
    int folder = slash ? (int)(slash - out->target) + 1 : 0;
    const char *base = out->target + folder;
    int n =
        snprintf(out->temporary, OUTPUT_PATH_MAX, "%.*s.%.200s.XXXXXX", folder, out->target, base);
    if (n < 0 || n >= OUTPUT_PATH_MAX) {
        out->temporary[0] = 0;
        return fail(out->name, strerror(ENAMETOOLONG));
    }
    install_handlers();
    sigset_t old;
    block_signals(&old);
    int fd = mkostemp(out->temporary, O_CLOEXEC);
    int error = errno;
    if (fd >= 0) {
        memcpy(slot_name[slot], out->temporary, sizeof slot_name[slot]);
        slot_used[slot] = 1;
        out->slot = slot;
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
    if (fd < 0) {
        out->temporary[0] = 0;
        return fail_errno(out->name, error);
    }
    mode_t mode;
    if (exists) {
        mode = st.st_mode & 07777;
        // Only root can give a file away; others keep their own ownership, as any copy would.
        if (fchown(fd, st.st_uid, st.st_gid) != 0) mode &= 0777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    if (fchmod(fd, mode) != 0 || !(out->file = fdopen(fd, "wb"))) {
        error = errno;
        close(fd);
        output_abandon(out);
        return fail_errno(out->name, error);
    }
    return 0;
}

void release_slot(OutputFile *out)
{
    if (out->slot < 0) return;
    sigset_t old;
    block_signals(&old);
    slot_used[out->slot] = 0;
    sigprocmask(SIG_SETMASK, &old, nullptr);
    out->slot = -1;
}

} // namespace

void output_note_input(int fd)
{
    struct stat st;
    if (fstat(fd, &st) == 0) inputs.emplace_back(st.st_dev, st.st_ino);
}

bool output_note_input_name(const char *name)
{
    struct stat st;
    if (stat(name, &st) != 0) return false;
    inputs.emplace_back(st.st_dev, st.st_ino);
    return true;
}

void output_forget_inputs()
{
    inputs.clear();
}

int32_t output_check(const char *name)
{
    if (!strcmp(name, "-")) {
        struct stat st;
        if (fstat(STDOUT_FILENO, &st) == 0 && is_input(st))
            return fail("standard output", "is also an input; it is not overwritten",
                        OUTPUT_IS_AN_INPUT);
        return 0;
    }
    char target[OUTPUT_PATH_MAX];
    struct stat st;
    bool exists = false;
    int32_t status = resolve(name, target, &st, &exists);
    return status ? status : check_target(name, st, exists);
}

int32_t output_open(OutputFile *out, const char *name)
{
    memset(out, 0, sizeof *out);
    out->slot = -1;
    snprintf(out->name, sizeof out->name, "%s", name);
    if (!strcmp(name, "-")) return open_stdout(out);
    struct stat st;
    bool exists = false;
    int32_t status = resolve(name, out->target, &st, &exists);
    if (!status) status = check_target(name, st, exists);
    if (status) return status;
    if (exists && !S_ISREG(st.st_mode)) return open_through(out);
    return open_temporary(out, st, exists);
}

int32_t output_write(OutputFile *out, const void *bytes, size_t n)
{
    if (!out->file) return fail(out->name, "not open");
    if (n && fwrite(bytes, 1, n, out->file) != n) return fail_errno(out->name, errno ? errno : EIO);
    return 0;
}

int32_t output_commit(OutputFile *out)
{
    if (!out->file) return fail(out->name, "not open");
    if (out->is_stdout) {
        out->file = nullptr;
        errno = 0;
        if (fflush(stdout) != 0 || ferror(stdout))
            return fail_errno("standard output", errno ? errno : EIO);
        return 0;
    }
    errno = 0;
    bool bad = fflush(out->file) != 0 || ferror(out->file);
    int error = errno;
    if (fclose(out->file) != 0 && !bad) {
        bad = true;
        error = errno;
    }
    out->file = nullptr;
    if (bad) {
        output_abandon(out);
        return fail_errno(out->name, error ? error : EIO);
    }
    if (!out->temporary[0]) return 0;
    // Whatever took the target's place since it was opened is replaced only if it is a
    // regular file, as the target itself would have been.
    struct stat st;
    if (lstat(out->target, &st) == 0 && !S_ISREG(st.st_mode)) {
        output_abandon(out);
        return fail(out->name, "is no longer a regular file; it is not replaced");
    }
    sigset_t old;
    block_signals(&old);
    int rc = rename(out->temporary, out->target);
    error = errno;
    if (rc == 0) {
        slot_used[out->slot] = 0;
        out->slot = -1;
        out->temporary[0] = 0;
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
    if (rc != 0) {
        output_abandon(out);
        return fail_errno(out->name, error);
    }
    return 0;
}

void output_abandon(OutputFile *out)
{
    if (out->file && !out->is_stdout) fclose(out->file);
    out->file = nullptr;
    if (out->temporary[0]) unlink(out->temporary);
    out->temporary[0] = 0;
    release_slot(out);
}

int32_t output_close_stdout()
{
    bool bad = ferror(stdout) != 0;
    errno = 0;
    if (fflush(stdout) != 0) bad = true;
    int error = errno;
    if (fclose(stdout) != 0) {
        bad = true;
        if (!error) error = errno;
    }
    return bad ? fail_errno("standard output", error ? error : EIO) : 0;
}

const char *output_error()
{
    return error_text;
}

int output_error_number()
{
    return error_number;
}

void output_hold_signals()
{
    if (hold_depth++ == 0) block_signals(&held_mask);
}

void output_release_signals()
{
    if (hold_depth > 0 && --hold_depth == 0) sigprocmask(SIG_SETMASK, &held_mask, nullptr);
}
