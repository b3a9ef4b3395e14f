// Reading one key out of a registry file in Wine's text format ("WINE REGISTRY Version 2",
// sections "[Key\\Name] stamp", values "name"=data). Key names are relative to the file's hive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct RegistryValue {
    std::string name; // code page 1252; empty for the default value "@"
    uint32_t type;
    std::vector<uint8_t> data; // strings: code page 1252 with their terminator
};

// Finds key (backslash-separated, without regard to case) in text and collects its values.
// A 32-bit program's key under "Software\..." is also looked for under
// "Software\Wow6432Node\...". False when the key is not there.
bool registry_file_parse(const char *text, size_t length, const char *key,
                         std::vector<RegistryValue> *values);
// The registry file in use: RUNNER_REGISTRY, else system.reg of the Wine prefix
// (paths_wine_prefix); an empty variable counts as unset.
std::string registry_file_path();
// How many times a registry file was read and parsed so far (the key is kept between reads).
uint64_t registry_file_reads();
