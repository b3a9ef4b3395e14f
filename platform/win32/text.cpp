// Code page 1252 and UTF-16: the backend's texts come and go as single bytes, the system
// takes wide ones, so nothing depends on the code page the machine was set to.
#include "platform/win32/win32.h"

#include <cstring>

std::wstring win32_wide(const char *text)
{
    int length = static_cast<int>(std::strlen(text));
    if (length == 0) return std::wstring();
    int wide = MultiByteToWideChar(1252, 0, text, length, nullptr, 0);
    std::wstring out(static_cast<size_t>(wide > 0 ? wide : 0), L'\0');
    if (wide > 0) MultiByteToWideChar(1252, 0, text, length, &out[0], wide);
    return out;
}

bool win32_narrow(const wchar_t *text, char *out, size_t size)
{
    if (size == 0) return false;
    int length = static_cast<int>(std::wcslen(text));
    if (length == 0) {
        out[0] = '\0';
        return true;
    }
    BOOL lossy = FALSE;
    int bytes =
        WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, text, length, nullptr, 0, nullptr, &lossy);
    if (bytes <= 0 || lossy || static_cast<size_t>(bytes) >= size) return false;
    WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, text, length, out, bytes, nullptr, nullptr);
    out[bytes] = '\0';
    return true;
}

HINSTANCE win32_instance()
{
    return GetModuleHandleW(nullptr);
}
