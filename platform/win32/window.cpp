// The player's window, its messages, message boxes, the cursor and the end of the process,
// over USER32. A Window is the HWND itself.
#include "platform/win32/win32.h"

#include "platform/window.h"

#include <cstdio>

namespace
{

WindowProc player_proc;
// The system's numbers whose names the platform headers took.
constexpr UINT REDRAW_ON_RESIZE = 0x0001 | 0x0002; // CS_VREDRAW | CS_HREDRAW
// A pop-up with caption, system menu and minimize box; the full-screen mode covers its frame.
constexpr DWORD WINDOW_STYLE = 0x80CA0000u;

HWND hwnd_of(Window *window)
{
    return reinterpret_cast<HWND>(window);
}

Window *window_of(HWND hwnd)
{
    return reinterpret_cast<Window *>(hwnd);
}

LRESULT CALLBACK window_thunk(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (!player_proc) return DefWindowProcA(hwnd, message, wparam, lparam);
    return player_proc(window_of(hwnd), message, wparam, lparam);
}

} // namespace

Window *window_create(const char *title, int32_t x, int32_t y, int32_t width, int32_t height,
                      WindowProc proc)
{
    // An ANSI window, class and title of the same name, as the player's texts are single bytes
    // and its character messages single-byte codes.
    player_proc = proc;
    WNDCLASSA window_class = {};
    window_class.style = REDRAW_ON_RESIZE;
    window_class.lpfnWndProc = window_thunk;
    window_class.hInstance = win32_instance();
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    window_class.lpszClassName = title;
    if (!RegisterClassA(&window_class) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return nullptr;
    HWND hwnd = CreateWindowExA(WS_EX_TOPMOST, title, title, WINDOW_STYLE, x, y, width, height,
                                nullptr, nullptr, win32_instance(), nullptr);
    return window_of(hwnd);
}

void window_show(Window *window)
{
    ShowWindow(hwnd_of(window), SW_NORMAL);
    UpdateWindow(hwnd_of(window));
    // The program that owns the screen takes the keyboard too, also when the program that
    // started it still had it.
    SetForegroundWindow(hwnd_of(window));
}

void window_destroy(Window *window)
{
    // Only the thread that made a window can destroy it; from another thread (a fatal error on
    // the audio thread) this fails, and the process end that follows takes the window with it.
    if (window) DestroyWindow(hwnd_of(window));
}

intptr_t window_default_proc(Window *window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    return DefWindowProcA(hwnd_of(window), message, wparam, lparam);
}

int32_t window_peek_message()
{
    MSG msg;
    return PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) ? 1 : 0;
}

int32_t window_get_message(WindowMessage *message)
{
    MSG msg;
    BOOL r = GetMessageA(&msg, nullptr, 0, 0);
    *message = win32_record_of<WindowMessage>(msg);
    return r > 0 ? 1 : 0;
}

void window_translate_message(const WindowMessage *message)
{
    MSG msg = win32_msg_of(*message);
    TranslateMessage(&msg);
}

void window_dispatch_message(const WindowMessage *message)
{
    MSG msg = win32_msg_of(*message);
    DispatchMessageA(&msg);
}

void window_post_quit(int32_t code)
{
    PostQuitMessage(code);
}

int32_t window_message_box(Window *window, const char *text, const char *caption, uint32_t flags)
{
    // Also on stderr, where a terminal or a log sees it.
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    std::wstring wide_text = win32_wide(text);
    std::wstring wide_caption = win32_wide(caption);
    return MessageBoxW(hwnd_of(window), wide_text.c_str(), wide_caption.c_str(),
                       flags | MB_SETFOREGROUND);
}

void window_show_cursor(int32_t show)
{
    ShowCursor(show ? TRUE : FALSE);
}

void process_end(int32_t code)
{
    std::fflush(nullptr);
    // At once, as the header asks: no exit handlers of the libraries, no unloading of the
    // sound and display drivers while another thread may still be inside them.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    ExitProcess(static_cast<UINT>(code));
}
