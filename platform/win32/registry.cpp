// The install record from the real registry (ADVAPI32), read-only.
#include "platform/win32/win32.h"

#include "platform/registry.h"

#include <cstring>
#include <vector>

int32_t registry_open_key(const char *subkey, RegistryKey *key)
{
    HKEY handle = nullptr;
    std::wstring wide = win32_wide(subkey);
    LONG r = RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), 0, KEY_QUERY_VALUE, &handle);
    *key = r == ERROR_SUCCESS ? reinterpret_cast<RegistryKey>(handle) : 0;
    return r;
}

int32_t registry_query_value(RegistryKey key, const char *name, uint32_t *type, uint8_t *data,
                             uint32_t *size)
{
    // Through the ANSI call, so strings arrive as the single-byte texts the menu keeps. Into a
    // buffer of our own first: the system may have written part of a value that did not fit,
    // and the caller's buffer must then stay as it was.
    DWORD value_type = 0;
    DWORD bytes = *size;
    std::vector<uint8_t> buffer(bytes ? bytes : 1);
    LONG r = RegQueryValueExA(reinterpret_cast<HKEY>(key), name, nullptr, &value_type,
                              buffer.data(), &bytes);
    if (r == ERROR_SUCCESS && bytes > *size) r = ERROR_MORE_DATA;
    if (r == ERROR_SUCCESS) std::memcpy(data, buffer.data(), bytes);
    if (r == ERROR_SUCCESS || r == ERROR_MORE_DATA) *size = bytes;
    if (type && r == ERROR_SUCCESS) *type = value_type;
    return r;
}

void registry_close_key(RegistryKey key)
{
    if (key) RegCloseKey(reinterpret_cast<HKEY>(key));
}
