// What a program's entry asks of its window backend around its windows: whether there is a
// display at all, and the window system set up with the ending signals routed to it.
#pragma once

#include <cstdint>

// 1 when there is a display to show windows on. Where there is none the program says so and
// ends, instead of being ended by the toolkit.
int32_t session_display_available();
// Sets the window system up for the program (argv0 as it was started) and routes SIGINT and
// SIGTERM to it: from then on they end the menu from whatever loop runs, open message boxes
// closing as dismissed (a question answered No) and no new one opening.
void session_begin(char *argv0);
// Gives the signals their earlier handling back and takes the window system down.
void session_end();
