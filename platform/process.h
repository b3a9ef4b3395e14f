// Starting other programs. The program path and every argument are Windows paths or texts in
// code page 1252; args[0] is the program path itself. The command line that the new process
// gets is the argument list joined with single blanks.
#pragma once

#include <cstddef>

enum ProcessWay : int {
    PROCESS_START_BESIDE,   // the launcher goes on and forgets the process
    PROCESS_START_IN_PLACE, // on success the launcher ends at once with exit code 0
    PROCESS_RUN_AND_WAIT,   // the launcher waits until the program ends
};

// A missing program fails the start without a process. On success of PROCESS_START_IN_PLACE
// the real backends never return.
bool process_start(ProcessWay way, const char *program, const char *const *args, int count);

// Runs command through the command interpreter named by "COMSPEC" ("/c" command), or through
// the backend's fallback when that is not set or cannot be found, and waits until it ends.
bool process_run_command(const char *command);

// An environment variable into value; false when unset or too long.
bool process_get_env(const char *name, char *value, size_t size);
