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
