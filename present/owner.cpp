#include "present/owner.h"

#include "platform/window.h"

#include <cstdarg>
#include <cstdio>

// Set on the main thread before any other thread starts; read by the audio thread's reports.
static const PresentOwner *present_owner;

void owner_set(const PresentOwner *owner)
{
    present_owner = owner;
}

Window *owner_window()
{
    return present_owner ? present_owner->window() : nullptr;
}

void owner_pump()
{
    if (present_owner) present_owner->pump();
}

void owner_wait_while_inactive()
{
    if (present_owner) present_owner->wait_while_inactive();
}

void owner_fatal(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    if (present_owner) {
        // The report consumes the list it is given; ours must still be whole should it return.
        va_list copy;
        va_copy(copy, args);
        present_owner->fatal(format, copy);
        va_end(copy);
    }
    // Without an owner, or with one whose report returns: the message box of no window.
    char text[200];
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): a false report, va_start is above
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    window_message_box(nullptr, text, "Fatal Error occured", MB_OK | MB_ICONEXCLAMATION);
    process_end(0);
}

void owner_screen_gone()
{
    if (present_owner) present_owner->screen_gone();
    process_end(0);
}
