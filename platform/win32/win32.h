// What the Win32 backend's files share: <windows.h> without the names that the platform
// headers define themselves, and the conversions between code page 1252 and the wide texts
// the system calls take.
//
// The platform headers keep the original numbers under the original names (WM_DESTROY, MB_OK,
// IDOK, ...), which <windows.h> defines as macros. A backend file includes this header first
// and the platform headers after it: the macros are gone by then, and the values are the same.
#pragma once

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#undef WM_DESTROY
#undef WM_SETFOCUS
#undef WM_PAINT
#undef WM_CLOSE
#undef WM_QUIT
#undef WM_ACTIVATEAPP
#undef WM_KEYDOWN
#undef WM_CHAR
#undef WM_INITDIALOG
#undef WM_COMMAND
#undef WM_TIMER
#undef WM_CTLCOLORBTN
#undef WM_CTLCOLORSTATIC
#undef WS_POPUP
#undef WS_VISIBLE
#undef WS_CAPTION
#undef WS_BORDER
#undef WS_VSCROLL
#undef WS_SYSMENU
#undef WS_TABSTOP
#undef WS_EX_CLIENTEDGE
#undef DS_MODALFRAME
#undef BS_PUSHBUTTON
#undef BS_DEFPUSHBUTTON
#undef ES_MULTILINE
#undef ES_READONLY
#undef ES_WANTRETURN
#undef SS_ICON
#undef CS_VREDRAW
#undef CS_HREDRAW
#undef CS_OWNDC
#undef MB_OK
#undef MB_YESNO
#undef MB_ICONQUESTION
#undef MB_ICONEXCLAMATION
#undef IDOK
#undef IDCANCEL
#undef IDYES
#undef IDNO
#undef SW_HIDE
#undef SW_SHOWNORMAL
#undef SW_SHOW
#undef VK_TAB
#undef VK_RETURN
#undef VK_ESCAPE
#undef VK_SPACE
#undef VK_F1

// Code page 1252 bytes as UTF-16, and back. A wide text that code page 1252 cannot hold
// (a file name from elsewhere) gives false: it has no name on our side.
std::wstring win32_wide(const char *text);
bool win32_narrow(const wchar_t *text, char *out, size_t size);

// The play cursor of the looping sound buffer that plays now; false when none plays.
bool win32_audio_play_cursor(uint32_t *cursor);

// The module the programs' resources (icon group, version, manifest) are linked into.
HINSTANCE win32_instance();

// A lock over state that threads share. Kept as a function's static it is made at its first use
// (once, also when two threads get there together) and never deleted, so a thread still inside
// it while the process ends finds it there.
struct Win32Lock {
    Win32Lock() { InitializeCriticalSection(&section); }
    Win32Lock(const Win32Lock &) = delete;
    Win32Lock &operator=(const Win32Lock &) = delete;
    CRITICAL_SECTION section;
};

// Holds a lock to the end of the scope.
class Win32Guard
{
  public:
    explicit Win32Guard(Win32Lock &lock) : section_(lock.section)
    {
        EnterCriticalSection(&section_);
    }
    ~Win32Guard() { LeaveCriticalSection(&section_); }
    Win32Guard(const Win32Guard &) = delete;
    Win32Guard &operator=(const Win32Guard &) = delete;

  private:
    CRITICAL_SECTION &section_;
};

// A system result under the layer's name: names[i] stands for results[i], success for ok and any
// result the table lacks for other. The display and the sound keep their tables so, each
// result's system number beside the layer's name for it.
template <size_t N>
int32_t win32_result_name(HRESULT r, const HRESULT (&results)[N], const int32_t (&names)[N],
                          int32_t ok, int32_t other)
{
    if (SUCCEEDED(r)) return ok;
    for (size_t i = 0; i < N; i++)
        if (results[i] == r) return names[i];
    return other;
}

// A system message as our record of it, and back. The player's window and the menu's windows
// each have such a record: the window (the HWND itself), the message and its two parameters.
template <class Record> Record win32_record_of(const MSG &msg)
{
    Record record = {};
    record.window = reinterpret_cast<decltype(record.window)>(msg.hwnd);
    record.message = msg.message;
    record.wparam = msg.wParam;
    record.lparam = msg.lParam;
    return record;
}

// The time and the cursor position are those of the message last taken from the queue, which
// is the one the record came from.
template <class Record> MSG win32_msg_of(const Record &record)
{
    MSG msg = {};
    msg.hwnd = reinterpret_cast<HWND>(record.window);
    msg.message = record.message;
    msg.wParam = record.wparam;
    msg.lParam = record.lparam;
    msg.time = static_cast<DWORD>(GetMessageTime());
    DWORD pos = GetMessagePos();
    msg.pt.x = static_cast<short>(LOWORD(pos));
    msg.pt.y = static_cast<short>(HIWORD(pos));
    return msg;
}
