#include "platform/cp1252.h"

namespace
{

// Bytes 0x80 to 0x9F; 0 where the code page assigns nothing. Every other byte is the character
// of the same number.
constexpr uint16_t HIGH[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

constexpr uint32_t REPLACEMENT = 0xFFFD;

} // namespace

uint32_t cp1252_to_unicode(unsigned char byte)
{
    if (byte < 0x80 || byte >= 0xA0) return byte;
    return HIGH[byte - 0x80] ? HIGH[byte - 0x80] : REPLACEMENT;
}

int32_t cp1252_from_unicode(uint32_t code_point)
{
    if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF))
        return static_cast<int32_t>(code_point);
    for (int32_t k = 0; k < 32; k++)
        if (HIGH[k] != 0 && HIGH[k] == code_point) return 0x80 + k;
    return -1;
}

void cp1252_append_utf8(std::string *out, uint32_t code_point)
{
    uint32_t u = code_point;
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

bool cp1252_next_utf8(const std::string &utf8, size_t *at, uint32_t *u)
{
    unsigned char c = static_cast<unsigned char>(utf8[*at]);
    size_t extra;
    if (c < 0x80) {
        *u = c;
        extra = 0;
    } else if ((c & 0xE0) == 0xC0) {
        *u = c & 0x1F;
        extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
        *u = c & 0x0F;
        extra = 2;
    } else if ((c & 0xF8) == 0xF0) {
        *u = c & 0x07;
        extra = 3;
    } else {
        *at += 1;
        return false;
    }
    size_t start = *at;
    *at += extra + 1;
    if (utf8.size() - start <= extra) return false;
    for (size_t k = 1; k <= extra; k++) {
        unsigned char d = static_cast<unsigned char>(utf8[start + k]);
        if ((d & 0xC0) != 0x80) return false;
        *u = *u << 6 | (d & 0x3F);
    }
    return !((extra == 1 && *u < 0x80) || (extra == 2 && *u < 0x800) ||
             (extra == 3 && *u < 0x10000));
}

std::string cp1252_to_utf8(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        cp1252_append_utf8(&out, cp1252_to_unicode(static_cast<unsigned char>(c)));
    return out;
}

bool cp1252_from_utf8(const std::string &utf8, std::string *text)
{
    std::string out;
    size_t at = 0;
    while (at < utf8.size()) {
        uint32_t u;
        if (!cp1252_next_utf8(utf8, &at, &u)) return false;
        int32_t byte = cp1252_from_unicode(u);
        if (byte < 0) return false;
        out += static_cast<char>(byte);
    }
    *text = out;
    return true;
}
