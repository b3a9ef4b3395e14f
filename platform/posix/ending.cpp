// The end of the program on a signal that comes while it reads something large.
#include <csignal>
#include <unistd.h>

#include "platform/posix/posix.h"

namespace
{

volatile std::sig_atomic_t long_reads;
volatile std::sig_atomic_t end_requested;

} // namespace

void posix_long_read_begin()
{
    long_reads = long_reads + 1;
    if (end_requested) _exit(0);
}

void posix_long_read_end()
{
    long_reads = long_reads - 1;
}

void posix_end_on_signal()
{
    end_requested = 1;
    if (long_reads > 0) _exit(0);
}
