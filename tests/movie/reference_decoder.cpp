#include "tests/movie/reference_decoder.h"

#include "tests/movie/printed_tables.h"

#include <cstring>

std::vector<std::vector<uint8_t>> reference_patterns()
{
    std::vector<std::vector<uint8_t>> patterns(1);
    for (const char *row : printed_patterns)
        for (const char *p = row; *p;) {
            std::vector<uint8_t> pattern;
            pattern.reserve(8);
            for (int i = 0; i < 8; i++)
                pattern.push_back(static_cast<uint8_t>(p[i] - '0'));
            patterns.push_back(pattern);
            p += 8;
            while (*p == ' ')
                p++;
        }
    return patterns;
}

std::vector<uint8_t> reference_lz_unpack(const uint8_t *source, int32_t length)
{
    std::vector<uint8_t> out;
    int32_t budget = length;
    const uint8_t *in = source;
    for (;;) {
        budget -= 1;
        if (budget < 0) break;
        const int c = *in++;
        const int n = c & 0x1F;
        const int op = c >> 5;
        int L = 0;
        int o = 0;
        if (op == 0 || op == 1 || op == 6 || op == 7) {
            if (op == 0) {
                L = n + 1;
            } else {
                const int e = *in++;
                budget -= 1;
                L = n + 32 * e + 1;
            }
            budget -= L;
            for (int i = 0; i < L; i++)
                out.push_back(*in++);
            continue;
        }
        if (op == 2) {
            o = *in++;
            budget -= 1;
            L = n + 4;
        } else if (op == 3) {
            const int e = *in++;
            o = *in++;
            budget -= 2;
            L = n + 32 * e + 4;
        } else if (op == 4) {
            o = in[0] | in[1] << 8;
            in += 2;
            budget -= 2;
            L = n + 4;
        } else {
            const int e = *in++;
            o = in[0] | in[1] << 8;
            in += 2;
            budget -= 3;
            L = n + 32 * e + 4;
        }
        const size_t start = out.size() - static_cast<size_t>(o + L);
        for (int i = 0; i < L; i++)
            out.push_back(out[start + static_cast<size_t>(i)]);
    }
    return out;
}

std::vector<uint8_t> reference_picture_decode(const uint8_t *colours, const uint8_t *codes)
{
    static const std::vector<std::vector<uint8_t>> patterns = reference_patterns();
    std::vector<uint8_t> pictures(128000);
    size_t q = 0;
    for (int by = 0; by < 100; by++)
        for (int bx = 0; bx < 160; bx++) {
            const std::vector<uint8_t> &p = patterns[codes[by * 160 + bx]];
            int k = 0;
            for (int cell = 0; cell < 8; cell++) {
                const int x = 2 * bx + (cell & 1);
                const int y = 2 * by + ((cell >> 1) & 1);
                pictures[(cell >> 2) * 64000 + y * 320 + x] = colours[q + p[cell]];
                k = p[cell] + 1 > k ? p[cell] + 1 : k;
            }
            q += static_cast<size_t>(k);
        }
    return pictures;
}
