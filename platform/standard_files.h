// The standard descriptors 0, 1 and 2 of a program started with some of them closed. Whatever
// the program opened next would take such a number, and its reads of standard input or its
// messages to standard output and error would go to that file instead: a movie would get the
// progress lines written into it. Every program calls this first thing in main, before it opens
// anything.
#pragma once

// Opens the null device on each of descriptors 0, 1 and 2 that is closed (read-only on 0,
// write-only on 1 and 2). False when one was closed and could not be filled (no null device, or
// something else in its place): the program must end at once without opening anything.
bool standard_files_open_missing();
