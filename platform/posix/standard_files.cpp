// The null device on the closed standard descriptors. Only a character device is taken as it:
// a regular file put in place of /dev/null would otherwise get the program's messages.
#include "platform/standard_files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool standard_files_open_missing()
{
    for (int fd = 0; fd <= 2; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is this one, as every lower one is open by now.
        int opened = open("/dev/null", (fd == 0 ? O_RDONLY : O_WRONLY) | O_NOCTTY);
        struct stat st;
        if (opened < 0) return false;
        if (fstat(opened, &st) != 0 || !S_ISCHR(st.st_mode) ||
            (opened != fd && dup2(opened, fd) != fd)) {
            close(opened);
            return false;
        }
        if (opened != fd) close(opened);
    }
    return true;
}
