#include "player/window.h"

#include "platform/clock.h"
#include "player/player.h"
#include "present/display.h"
#include "present/owner.h"

#include <cstdarg>
#include <cstdio>

std::atomic<Window *> player_window{nullptr};

// Raised by the fatal-error report on whichever thread makes it.
static std::atomic<int32_t> fatal_reporting{0};

// Set by WM_DESTROY, which the fatal-error report may cause on the audio thread.
static std::atomic<int32_t> window_quit{0};
// The last activation change; the program counts as inactive until the first one.
static int32_t window_active;

// The queue is filled and emptied on the main thread only.
static int32_t key_queue[KEY_QUEUE_SIZE];
static int32_t key_read;
static int32_t key_write;

struct KeyEntry {
    uint32_t virtual_key;
    int32_t code;
};

static const KeyEntry key_table[] = {
    {0x08, 300}, {0x09, 301}, {0x24, 302}, {0x26, 303}, {0x21, 304}, {0x25, 305}, {0x65, 306},
    {0x27, 307}, {0x23, 308}, {0x28, 309}, {0x22, 310}, {0x2D, 311}, {0x2E, 312}, {0x70, 320},
    {0x71, 321}, {0x72, 322}, {0x73, 323}, {0x74, 324}, {0x75, 325}, {0x76, 326}, {0x77, 327},
    {0x78, 328}, {0x79, 329}, {0x7A, 330}, {0x7B, 331}, {0x13, 401}, {0x2F, 400}, {0, 0},
};

static Window *owner_window_of_player()
{
    return player_window.load();
}

// A fatal error on the audio thread gives the desktop back before its box: the box is shown and
// the process ended there, not cut short here.
[[noreturn]] static void owner_screen_lost()
{
    while (fatal_error_pending())
        Sleep(20);
    player_cleanup();
    process_end(0);
}

static const PresentOwner player_owner = {owner_window_of_player, pump_messages,
                                          wait_while_inactive, fatal_error_vbox, owner_screen_lost};

Window *player_window_create()
{
    Window *window = window_create("Halvener-Test", 0, 0, 608, 642, player_window_proc);
    player_window.store(window);
    window_quit.store(0);
    owner_set(&player_owner);
    return window;
}

void player_window_reset()
{
    window_active = 0;
    key_read = key_write = 0;
    window_quit.store(0);
}

int32_t key_code_of(uint32_t virtual_key)
{
    for (const KeyEntry *k = key_table; k->virtual_key != 0; k++)
        if (k->virtual_key == virtual_key) return k->code;
    return 0;
}

intptr_t player_window_proc(Window *window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    switch (message) {
    case WM_DESTROY:
        display_shutdown();
        if (!window_quit.load()) {
            window_quit.store(1);
            player_window.store(nullptr);
        }
        window_post_quit(0);
        return 0;
    case WM_ACTIVATEAPP:
        window_active = wparam != 0;
        return 0;
    case WM_KEYDOWN:
        if (int32_t code = key_code_of((uint32_t)wparam)) {
            key_push(code);
            return 0;
        }
        return window_default_proc(window, message, wparam, lparam);
    case WM_CHAR:
        key_push((int32_t)wparam);
        return 0;
    default:
        return window_default_proc(window, message, wparam, lparam);
    }
}

void pump_messages()
{
    while (window_peek_message()) {
        WindowMessage message;
        if (!window_get_message(&message)) return;
        window_translate_message(&message);
        window_dispatch_message(&message);
        if (window_quit.load()) process_end(0);
    }
}

void wait_while_inactive()
{
    if (window_active) return;
    while (!window_active) {
        Sleep(20);
        pump_messages();
    }
    display_restore();
}

void key_push(int32_t code)
{
    // A code whose low 16 bits are 0 would read as "no key" and leave key_get waiting.
    if ((code & 0xFFFF) == 0) return;
    if (((key_write + 1) & (KEY_QUEUE_SIZE - 1)) == key_read) return; // 31 codes wait already
    key_queue[key_write] = code;
    key_write = (key_write + 1) & (KEY_QUEUE_SIZE - 1);
}

int32_t key_available()
{
    pump_messages();
    wait_while_inactive();
    return key_read != key_write;
}

int32_t key_try_get()
{
    pump_messages();
    wait_while_inactive();
    if (key_read == key_write) return 0;
    int32_t code = (int16_t)(key_queue[key_read] & 0xFFFF);
    key_read = (key_read + 1) & (KEY_QUEUE_SIZE - 1);
    return code;
}

int32_t key_get()
{
    for (;;)
        if (int32_t code = key_try_get()) return code;
}

void fatal_error_box(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    fatal_error_vbox(format, args);
}

void fatal_error_vbox(const char *format, va_list args)
{
    fatal_reporting.store(1);
    char text[200];
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): a false report, the caller started it
    vsnprintf(text, sizeof text, format, args);
    display_shutdown();
    window_message_box(player_window.load(), text, "Fatal Error occured",
                       MB_OK | MB_ICONEXCLAMATION);
    window_destroy(player_window.load());
    process_end(0);
}

int32_t fatal_error_pending()
{
    return fatal_reporting.load();
}

void notice_box(const char *format, ...)
{
    char text[400];
    va_list args;
    va_start(args, format);
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): a false report, va_start is above
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    window_message_box(player_window.load(), text, "Achtung", MB_OK);
}
