// The install record from a registry file in Wine's text format, read again at an open whenever
// the file changed, so that an installer running beside the menu is seen at once.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

#include "platform/posix/paths.h"
#include "platform/posix/posix.h"
#include "platform/posix/registry_file.h"
#include "platform/readfile.h"
#include "platform/registry.h"

namespace
{

// A larger registry file counts as missing: reading and parsing it would take a good part of
// the 500 ms between two looks.
constexpr off_t MAX_FILE = 32L << 20;
constexpr int MAX_OPEN_KEYS = 16;

struct OpenKey {
    bool used;
    std::vector<RegistryValue> values;
};

OpenKey keys[MAX_OPEN_KEYS];

// The key as last read, and the file it came from: the menu opens the same key every 500 ms,
// and the file changes only when something is installed.
struct KeyCache {
    bool valid;
    bool found;
    std::string path;
    std::string subkey;
    dev_t device;
    ino_t inode;
    off_t size;
    struct timespec modified;
    // Every write sets the change time to the system's clock, and nobody can set it otherwise: a
    // rewrite of the same size under an old (or future) modification time still shows there.
    struct timespec changed;
    // The file was changed close to the moment it was read: a second change within the same
    // tick of the file system's clock keeps every stamp, so the next look reads it again.
    bool racy;
    std::vector<RegistryValue> values;
};

KeyCache cache;
uint64_t reads;

bool same_time(const struct timespec &a, const struct timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool same_file(const struct stat &st)
{
    return st.st_dev == cache.device && st.st_ino == cache.inode && st.st_size == cache.size &&
           same_time(st.st_mtim, cache.modified) && same_time(st.st_ctim, cache.changed);
}

// File times come from a clock that may lag the system's by a tick, and some file systems keep
// them to two seconds: a change time within two seconds of now, either side, may hide a change
// to come. One further off, in the past or (a clock set back) in the future, cannot: the next
// write moves it to now.
bool close_to_now(const struct timespec &stamp)
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    int64_t apart = (static_cast<int64_t>(now.tv_sec) - stamp.tv_sec) * 1000000000 +
                    (now.tv_nsec - stamp.tv_nsec);
    constexpr int64_t MARGIN_NS = int64_t{2} * 1000000000;
    return apart <= MARGIN_NS && apart >= -MARGIN_NS;
}

// The values of subkey from the registry file; false when the file or the key is missing. The
// file is read again only when its inode, size, modification or change time changed since last
// time.
bool read_key(const char *subkey, std::vector<RegistryValue> *values)
{
    std::string path = registry_file_path();
    // A FIFO, a device or a folder in its place counts as no registry, and never blocks.
    FILE *file = readfile_open(path.c_str());
    struct stat st;
    if (!file || fstat(fileno(file), &st) != 0 || st.st_size > MAX_FILE) {
        if (file) std::fclose(file);
        cache.valid = false;
        return false;
    }
    if (!(cache.valid && !cache.racy && cache.path == path && cache.subkey == subkey &&
          same_file(st))) {
        // Reading a large file takes a while; a signal meanwhile ends the program at once.
        posix_long_read_begin();
        reads++;
        std::string text;
        char buffer[65536];
        size_t got;
        // Never more than the limit, whatever the file grows to while it is read.
        while (text.size() <= static_cast<size_t>(MAX_FILE) &&
               (got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            text.append(buffer, got);
        cache.valid = text.size() <= static_cast<size_t>(MAX_FILE);
        cache.values.clear();
        cache.found =
            cache.valid && registry_file_parse(text.data(), text.size(), subkey, &cache.values);
        posix_long_read_end();
        cache.path = path;
        cache.subkey = subkey;
        cache.device = st.st_dev;
        cache.inode = st.st_ino;
        cache.size = st.st_size;
        cache.modified = st.st_mtim;
        cache.changed = st.st_ctim;
        cache.racy = close_to_now(st.st_ctim);
    }
    std::fclose(file);
    if (!cache.valid || !cache.found) return false;
    *values = cache.values;
    return true;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void append_utf8(std::string *out, uint32_t u)
{
    if (u < 0x80) {
        *out += static_cast<char>(u);
    } else if (u < 0x800) {
        *out += static_cast<char>(0xC0 | (u >> 6));
        *out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        *out += static_cast<char>(0xE0 | ((u >> 12) & 0x0F));
        *out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (u & 0x3F));
    }
}

// A quoted string from p (after its opening quote) to its closing quote, escapes undone, as
// UTF-8. *end gets the position after the closing quote; false when there is none.
bool unquote(const std::string &line, size_t p, std::string *out, size_t *end)
{
    out->clear();
    while (p < line.size()) {
        char c = line[p];
        if (c == '"') {
            *end = p + 1;
            return true;
        }
        if (c != '\\') {
            *out += c;
            p++;
            continue;
        }
        if (++p >= line.size()) return false;
        c = line[p++];
        switch (c) {
        case 'a':
            *out += '\a';
            break;
        case 'b':
            *out += '\b';
            break;
        case 'e':
            *out += '\x1b';
            break;
        case 'f':
            *out += '\f';
            break;
        case 'n':
            *out += '\n';
            break;
        case 'r':
            *out += '\r';
            break;
        case 't':
            *out += '\t';
            break;
        case 'v':
            *out += '\v';
            break;
        case 'x': {
            uint32_t u = 0;
            int digits = 0;
            while (digits < 4 && p < line.size() && hex_digit(line[p]) >= 0) {
                u = u * 16 + static_cast<uint32_t>(hex_digit(line[p++]));
                digits++;
            }
            if (digits == 0)
                *out += 'x';
            else
                append_utf8(out, u);
            break;
        }
        default:
            if (c >= '0' && c <= '7') {
                uint32_t u = static_cast<uint32_t>(c - '0');
                for (int k = 0; k < 2 && p < line.size() && line[p] >= '0' && line[p] <= '7'; k++)
                    u = u * 8 + static_cast<uint32_t>(line[p++] - '0');
                append_utf8(out, u);
            } else {
                *out += c;
            }
        }
    }
    return false;
}

// UTF-8 to code page 1252 as the ANSI functions give it: what has no byte there becomes '?'.
std::string to_ansi(const std::string &utf8)
{
    std::string out;
    if (paths_from_utf8(utf8, &out)) return out;
    out.clear();
    size_t i = 0;
    while (i < utf8.size()) {
        size_t n = 1;
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if ((c & 0xE0) == 0xC0)
            n = 2;
        else if ((c & 0xF0) == 0xE0)
            n = 3;
        else if ((c & 0xF8) == 0xF0)
            n = 4;
        std::string one;
        if (i + n <= utf8.size() && paths_from_utf8(utf8.substr(i, n), &one))
            out += one;
        else
            out += '?';
        i += n;
    }
    return out;
}

bool parse_hex_bytes(const std::string &text, std::vector<uint8_t> *data)
{
    size_t p = 0;
    while (p < text.size()) {
        while (p < text.size() && (text[p] == ',' || text[p] == ' ' || text[p] == '\t'))
            p++;
        if (p >= text.size()) break;
        if (hex_digit(text[p]) < 0) return false;
        int value = hex_digit(text[p++]);
        if (p < text.size() && hex_digit(text[p]) >= 0) value = value * 16 + hex_digit(text[p++]);
        data->push_back(static_cast<uint8_t>(value));
    }
    return true;
}

bool parse_value(const std::string &line, RegistryValue *value)
{
    size_t p = 0;
    std::string name;
    if (line[0] == '@') {
        p = 1;
    } else if (line[0] == '"') {
        if (!unquote(line, 1, &name, &p)) return false;
    } else {
        return false;
    }
    if (p >= line.size() || line[p] != '=') return false;
    p++;
    value->name = to_ansi(name);
    value->data.clear();
    std::string rest = line.substr(p);
    uint32_t type = REG_TYPE_SZ;
    std::string quoted;
    if (rest.compare(0, 4, "str(") == 0) {
        size_t close = rest.find("):");
        if (close == std::string::npos) return false;
        type = static_cast<uint32_t>(std::strtoul(rest.c_str() + 4, nullptr, 16));
        rest = rest.substr(close + 2);
    }
    if (!rest.empty() && rest[0] == '"') {
        size_t end;
        if (!unquote(rest, 1, &quoted, &end) ||
            rest.find_first_not_of(" \t", end) != std::string::npos)
            return false;
        std::string ansi = to_ansi(quoted);
        value->type = type;
        value->data.assign(ansi.begin(), ansi.end());
        value->data.push_back(0);
        if (type == REG_TYPE_MULTI_SZ) value->data.push_back(0);
        return true;
    }
    if (rest.compare(0, 6, "dword:") == 0) {
        uint32_t v = static_cast<uint32_t>(std::strtoul(rest.c_str() + 6, nullptr, 16));
        value->type = REG_TYPE_DWORD;
        for (int i = 0; i < 4; i++)
            value->data.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return true;
    }
    if (rest.compare(0, 3, "hex") == 0) {
        size_t colon = rest.find(':');
        if (colon == std::string::npos) return false;
        value->type = REG_TYPE_BINARY;
        if (rest[3] == '(')
            value->type = static_cast<uint32_t>(std::strtoul(rest.c_str() + 4, nullptr, 16));
        return parse_hex_bytes(rest.substr(colon + 1), &value->data);
    }
    return false;
}

// The key name of a section line "[A\\B] stamp", escapes undone.
bool section_name(const std::string &line, std::string *name)
{
    name->clear();
    for (size_t p = 1; p < line.size(); p++) {
        char c = line[p];
        if (c == ']') return true;
        if (c == '\\' && p + 1 < line.size()) {
            c = line[++p];
            if (c == 'x') {
                uint32_t u = 0;
                int digits = 0;
                while (digits < 4 && p + 1 < line.size() && hex_digit(line[p + 1]) >= 0) {
                    u = u * 16 + static_cast<uint32_t>(hex_digit(line[++p]));
                    digits++;
                }
                append_utf8(name, digits ? u : 'x');
                continue;
            }
        }
        *name += c;
    }
    return false;
}

std::string fold(const std::string &name)
{
    std::string folded = name;
    for (char &c : folded)
        c = static_cast<char>(paths_fold(static_cast<unsigned char>(c)));
    return folded;
}

bool parse_for(const char *text, size_t length, const std::string &key,
               std::vector<RegistryValue> *values)
{
    values->clear();
    std::unordered_map<std::string, size_t> index;
    bool inside = false;
    bool found = false;
    size_t pos = 0;
    while (pos < length) {
        // A logical line: physical lines joined where one ends in a backslash (long hex data).
        std::string line;
        for (;;) {
            const void *nl = std::memchr(text + pos, '\n', length - pos);
            size_t end = nl ? static_cast<size_t>(static_cast<const char *>(nl) - text) : length;
            std::string part(text + pos, end - pos);
            pos = end < length ? end + 1 : length;
            if (!part.empty() && part.back() == '\r') part.pop_back();
            size_t lead = 0;
            if (!line.empty())
                while (lead < part.size() && (part[lead] == ' ' || part[lead] == '\t'))
                    lead++;
            line += part.substr(lead);
            if (!line.empty() && line.back() == '\\' && line.compare(0, 1, "[") != 0 &&
                pos < length) {
                line.pop_back();
                continue;
            }
            break;
        }
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            if (inside) return true;
            std::string name;
            inside = section_name(line, &name) && paths_equal_folded(to_ansi(name), key);
            found = found || inside;
            continue;
        }
        if (!inside) continue;
        RegistryValue value;
        if (!parse_value(line, &value)) continue;
        // A later line for the same name replaces the earlier one. Names are looked up by their
        // folded spelling, so that a key with a great many values is still read in one pass.
        std::string folded = fold(value.name);
        auto [at, added] = index.emplace(std::move(folded), values->size());
        if (added)
            values->push_back(std::move(value));
        else
            (*values)[at->second] = std::move(value);
    }
    return found;
}

} // namespace

bool registry_file_parse(const char *text, size_t length, const char *key,
                         std::vector<RegistryValue> *values)
{
    std::string wanted = key;
    while (!wanted.empty() && wanted.back() == '\\')
        wanted.pop_back();
    if (parse_for(text, length, wanted, values)) return true;
    const char software[] = "software\\";
    if (wanted.size() > 9 && paths_equal_folded(wanted.substr(0, 9), software))
        return parse_for(text, length, "Software\\Wow6432Node\\" + wanted.substr(9), values);
    return false;
}

std::string registry_file_path()
{
    const char *named = std::getenv("RUNNER_REGISTRY");
    if (named && *named) return named;
    return paths_wine_prefix() + "/system.reg";
}

uint64_t registry_file_reads()
{
    return reads;
}

int32_t registry_open_key(const char *subkey, RegistryKey *key)
{
    *key = 0;
    int slot = -1;
    for (int i = 0; i < MAX_OPEN_KEYS && slot < 0; i++)
        if (!keys[i].used) slot = i;
    if (slot < 0 || !read_key(subkey, &keys[slot].values)) return REG_ERROR_FILE_NOT_FOUND;
    keys[slot].used = true;
    *key = static_cast<RegistryKey>(slot) + 1;
    return REG_ERROR_SUCCESS;
}

int32_t registry_query_value(RegistryKey key, const char *name, uint32_t *type, uint8_t *data,
                             uint32_t *size)
{
    if (key == 0 || key > MAX_OPEN_KEYS || !keys[key - 1].used) return REG_ERROR_FILE_NOT_FOUND;
    for (const RegistryValue &v : keys[key - 1].values) {
        if (!paths_equal_folded(v.name, name)) continue;
        if (type) *type = v.type;
        uint32_t needed = static_cast<uint32_t>(v.data.size());
        if (data && needed > *size) {
            *size = needed;
            return REG_ERROR_MORE_DATA;
        }
        if (data && needed) std::memcpy(data, v.data.data(), needed);
        *size = needed;
        return REG_ERROR_SUCCESS;
    }
    return REG_ERROR_FILE_NOT_FOUND;
}

void registry_close_key(RegistryKey key)
{
    if (key == 0 || key > MAX_OPEN_KEYS) return;
    keys[key - 1].used = false;
    keys[key - 1].values.clear();
}
