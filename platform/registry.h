// Read-only access to the registry below HKEY_LOCAL_MACHINE. Results are the original's
// error numbers: 0 on success.
#pragma once

#include <cstdint>

typedef uintptr_t RegistryKey;

constexpr int32_t REG_ERROR_SUCCESS = 0;
constexpr int32_t REG_ERROR_FILE_NOT_FOUND = 2;
constexpr int32_t REG_ERROR_MORE_DATA = 234;

constexpr uint32_t REG_TYPE_NONE = 0;
constexpr uint32_t REG_TYPE_SZ = 1;
constexpr uint32_t REG_TYPE_EXPAND_SZ = 2;
constexpr uint32_t REG_TYPE_BINARY = 3;
constexpr uint32_t REG_TYPE_DWORD = 4;
constexpr uint32_t REG_TYPE_MULTI_SZ = 7;

int32_t registry_open_key(const char *subkey, RegistryKey *key);
// Copies the value's data (strings in code page 1252 with their terminator) into data.
// *size holds the buffer size and receives the data size; REG_ERROR_MORE_DATA when it does
// not fit, and then nothing is copied. type may be null.
int32_t registry_query_value(RegistryKey key, const char *name, uint32_t *type, uint8_t *data,
                             uint32_t *size);
void registry_close_key(RegistryKey key);
