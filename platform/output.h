// Writing the files a user names on the command line, without harming anything else.
//
// A regular file (or a name that does not exist yet) is written to a fresh temporary file in the
// same folder and renamed over the name only once everything was written and closed, keeping the
// old file's permissions; the temporary file is removed on every failure and when SIGINT,
// SIGTERM, SIGHUP or SIGPIPE ends the process. A device or a FIFO is written straight through,
// never replaced; "-" is standard output. A link is followed to an existing file, which is the
// one written, under the same rules; a link that leads nowhere is refused (as cp does), so that
// no name outside is made through it. A name that is the same file as one of the program's
// inputs is refused before anything is written. Every write, the flush and the close are checked.
//
// Failures leave a one-line reason, starting with the name, in output_error().
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr int32_t OUTPUT_PATH_MAX = 4096;

// Results besides 0 (done), chosen to be the program's exit status.
constexpr int32_t OUTPUT_FAILED = 1;      // could not be opened, written or closed
constexpr int32_t OUTPUT_IS_AN_INPUT = 2; // the name is one of the inputs

struct OutputFile {
    FILE *file;                      // where the bytes go while open, else nullptr
    char name[OUTPUT_PATH_MAX];      // as given, for messages
    char target[OUTPUT_PATH_MAX];    // the name with its links followed
    char temporary[OUTPUT_PATH_MAX]; // empty when written straight through
    int32_t slot;                    // its place among the temporaries to remove, or -1
    int32_t is_stdout;
};

// Notes an input, so that no output may be the same file. By its open descriptor, or by name
// (links followed; false when it cannot be looked at, and nothing is noted).
void output_note_input(int fd);
bool output_note_input_name(const char *name);
// Forgets every noted input (for a program that runs several jobs, and for tests).
void output_forget_inputs();

// Whether name could be opened as an output: 0, or OUTPUT_FAILED (a folder, a link loop, a link
// to nothing, a socket) or OUTPUT_IS_AN_INPUT. Nothing is created. Lets a command with many outputs
// refuse before it writes the first.
int32_t output_check(const char *name);

// Opens name ("-" for standard output) for writing. 0, or the failure with nothing left behind.
int32_t output_open(OutputFile *out, const char *name);
// Writes n bytes; on failure says so and the output should be given up with output_abandon.
int32_t output_write(OutputFile *out, const void *bytes, size_t n);
// Flushes and closes, then puts the temporary file in place of the target. 0 or OUTPUT_FAILED;
// either way the output is closed and no temporary file is left.
int32_t output_commit(OutputFile *out);
// Closes and removes the temporary file; the target stays as it was. Safe on a closed output.
void output_abandon(OutputFile *out);

// Flushes and closes standard output, for the end of a program that printed to it: 0 or
// OUTPUT_FAILED (a full disk, a closed pipe, an error of an earlier write).
int32_t output_close_stdout();

// The reason of the latest failure, and the system's error number behind it (0 when it was a
// refusal of the helper's own, not a failed call).
const char *output_error();
int output_error_number();

// Between these two calls the signals that remove temporary files are blocked in the calling
// thread, and so in every thread it starts meanwhile. A library's worker threads made inside
// never take those signals: they always reach the thread that makes and registers the
// temporary files, whose own short windows are blocked. Calls nest.
void output_hold_signals();
void output_release_signals();
