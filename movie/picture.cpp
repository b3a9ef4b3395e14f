// Block picture decoder and its two tables.
#include "movie/picture.h"

#include "movie/movie.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace
{

// The tables follow from one rule: a pattern is a partition of the eight cells of a block into
// boxes (sets that, along each of column, row and picture, take one position or both), written
// as colour numbers in order of each box's lowest cell. There are 154 of them, ordered by box
// count and then by their digits. Generating them at compile time keeps the rule and the tables
// from drifting apart.
struct BlockTables {
    uint8_t patterns[BLOCK_CODE_MAX + 1][8];
    uint8_t counts[BLOCK_CODE_MAX + 1];
    int found;
};

constexpr bool cells_form_box(unsigned cells)
{
    unsigned axis_values[3] = {0, 0, 0}; // bit v set when some cell has coordinate v
    int size = 0;
    for (int c = 0; c < 8; c++) {
        if (!(cells & (1u << c))) continue;
        size++;
        for (int a = 0; a < 3; a++)
            axis_values[a] |= 1u << ((c >> a) & 1);
    }
    int product = 1;
    for (unsigned v : axis_values)
        product *= (v == 3) ? 2 : 1;
    // The cells lie inside the box their coordinates span; equal sizes means they fill it.
    return size == product;
}

constexpr bool pattern_less(const uint8_t *a, int ka, const uint8_t *b, int kb)
{
    if (ka != kb) return ka < kb;
    for (int i = 0; i < 8; i++)
        if (a[i] != b[i]) return a[i] < b[i];
    return false;
}

constexpr BlockTables block_tables_build()
{
    BlockTables t{};
    uint8_t digits[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    for (;;) {
        // digits is a restricted growth string: each digit at most one above all before it.
        int k = 0;
        for (uint8_t d : digits)
            k = d + 1 > k ? d + 1 : k;
        bool boxes = true;
        for (int box = 0; box < k && boxes; box++) {
            unsigned cells = 0;
            for (int c = 0; c < 8; c++)
                if (digits[c] == box) cells |= 1u << c;
            boxes = cells_form_box(cells);
        }
        if (boxes && t.found < BLOCK_CODE_MAX) {
            // Insertion into the sorted run of codes 1..found.
            int at = t.found + 1;
            while (at > 1 && pattern_less(digits, k, t.patterns[at - 1], t.counts[at - 1])) {
                for (int i = 0; i < 8; i++)
                    t.patterns[at][i] = t.patterns[at - 1][i];
                t.counts[at] = t.counts[at - 1];
                at--;
            }
            for (int i = 0; i < 8; i++)
                t.patterns[at][i] = digits[i];
            t.counts[at] = static_cast<uint8_t>(k);
            t.found++;
        } else if (boxes) {
            t.found++;
        }
        // Next string: raise the last digit that may grow, reset everything behind it to 0.
        int i = 7;
        for (; i > 0; i--) {
            int highest = 0;
            for (int j = 0; j < i; j++)
                highest = digits[j] > highest ? digits[j] : highest;
            if (digits[i] <= highest) break;
        }
        if (i == 0) break;
        digits[i]++;
        for (int j = i + 1; j < 8; j++)
            digits[j] = 0;
    }
    return t;
}

constexpr BlockTables block_tables = block_tables_build();
static_assert(block_tables.found == BLOCK_CODE_MAX, "the rule yields 154 patterns");
static_assert(block_tables.counts[1] == 1 && block_tables.counts[154] == 8, "ordered by k");

constexpr int PICTURE_WIDTH = 320;
constexpr int BLOCK_COLUMNS = 160;

// Byte-indexed copies of the tables, so that any code byte can be looked up without a range
// check: codes 0 and 155 to 255 take 0 colours, which marks them as bad.
struct DecodeTables {
    alignas(64) uint8_t patterns[256][8];
    uint8_t counts[256];
};

constexpr DecodeTables decode_tables_build()
{
    DecodeTables d{};
    for (int c = 1; c <= BLOCK_CODE_MAX; c++) {
        for (int i = 0; i < 8; i++)
            d.patterns[c][i] = block_tables.patterns[c][i];
        d.counts[c] = block_tables.counts[c];
    }
    return d;
}

constexpr DecodeTables decode_tables = decode_tables_build();

inline uint8_t *block_top_left(uint8_t *pictures, int32_t block)
{
    return pictures + (block / BLOCK_COLUMNS) * 2 * PICTURE_WIDTH + (block % BLOCK_COLUMNS) * 2;
}

inline void store_pair(uint8_t *at, uint8_t left, uint8_t right)
{
    at[0] = left;
    at[1] = right;
}

// Decodes blocks from `block` on while each has a valid code and its colours plus 8 bytes of
// slack lie inside the list; returns the first block it left for the checked loop. The eight
// colour numbers of a pattern are exactly the byte shuffle that picks a block's cells out of
// the next eight list bytes.
#if defined(__x86_64__) || defined(__i386__)
#define PICTURE_HAVE_SHUFFLE 1
inline void store_u16(uint8_t *at, uint32_t v)
{
    const uint16_t pair = static_cast<uint16_t>(v);
    std::memcpy(at, &pair, 2);
}

__attribute__((target("ssse3"))) int32_t decode_run_shuffle(const uint8_t *list,
                                                            int32_t colour_count, uint8_t *pictures,
                                                            const uint8_t *codes,
                                                            int32_t code_count, int32_t &q_io)
{
    int32_t q = q_io;
    int32_t block = 0;
    const int32_t last_q = colour_count - 8;
    for (int32_t by = 0; by < 100; by++) {
        uint8_t *a = pictures + by * 2 * PICTURE_WIDTH;
        const int32_t row_end = block + BLOCK_COLUMNS;
        for (; block < row_end; block++, a += 2) {
            if (block >= code_count || q > last_q) goto done;
            const unsigned c = codes[block];
            const int32_t k = decode_tables.counts[c];
            if (k == 0) goto done;
            const __m128i colours = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(list + q));
            const __m128i pattern =
                _mm_loadl_epi64(reinterpret_cast<const __m128i *>(decode_tables.patterns[c]));
            const uint64_t cells =
                static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_shuffle_epi8(colours, pattern)));
            store_u16(a, static_cast<uint32_t>(cells));
            store_u16(a + PICTURE_WIDTH, static_cast<uint32_t>(cells >> 16));
            store_u16(a + MOVIE_PICTURE_BYTES, static_cast<uint32_t>(cells >> 32));
            store_u16(a + MOVIE_PICTURE_BYTES + PICTURE_WIDTH, static_cast<uint32_t>(cells >> 48));
            q += k;
        }
    }
done:
    q_io = q;
    return block;
}

bool picture_can_shuffle()
{
    static const bool can = __builtin_cpu_supports("ssse3");
    return can;
}
#endif

} // namespace

const uint8_t (&block_patterns)[BLOCK_CODE_MAX + 1][8] = block_tables.patterns;
const uint8_t (&block_colour_counts)[BLOCK_CODE_MAX + 1] = block_tables.counts;

PictureStatus picture_decode(const uint8_t *colour_list, int32_t colour_count, uint8_t *pictures,
                             const uint8_t *codes, int32_t code_count, int32_t *blocks_done,
                             int32_t *colours_used)
{
    if (colour_count < 0) colour_count = 0;
    if (code_count < 0) code_count = 0;
    if (code_count > MOVIE_CODE_COUNT) code_count = MOVIE_CODE_COUNT;
    int32_t q = 0;
    int32_t block = 0;
#ifdef PICTURE_HAVE_SHUFFLE
    if (picture_can_shuffle())
        block = decode_run_shuffle(colour_list, colour_count, pictures, codes, code_count, q);
#endif
    // The checked loop: the last blocks of the list, and every block on machines without the
    // shuffle. It stops at the first block that cannot be decoded.
    PictureStatus status = PICTURE_OK;
    for (; block < MOVIE_CODE_COUNT; block++) {
        if (block >= code_count) {
            status = PICTURE_FEW_CODES;
            break;
        }
        const unsigned c = codes[block];
        const int32_t k = decode_tables.counts[c];
        if (k == 0) {
            status = PICTURE_BAD_CODE;
            break;
        }
        if (k > colour_count - q) {
            status = PICTURE_COLOURS_SHORT;
            break;
        }
        const uint8_t *p = decode_tables.patterns[c];
        const uint8_t *list = colour_list + q;
        uint8_t *a = block_top_left(pictures, block);
        uint8_t *b = a + MOVIE_PICTURE_BYTES;
        store_pair(a, list[p[0]], list[p[1]]);
        store_pair(a + PICTURE_WIDTH, list[p[2]], list[p[3]]);
        store_pair(b, list[p[4]], list[p[5]]);
        store_pair(b + PICTURE_WIDTH, list[p[6]], list[p[7]]);
        q += k;
    }
    if (blocks_done) *blocks_done = block;
    if (colours_used) *colours_used = q;
    // Blank every block from the failing one on, in both pictures, so that nothing of an
    // earlier record shows through.
    for (int32_t i = block; i < MOVIE_CODE_COUNT; i++) {
        uint8_t *a = block_top_left(pictures, i);
        uint8_t *b = a + MOVIE_PICTURE_BYTES;
        store_pair(a, 0, 0);
        store_pair(a + PICTURE_WIDTH, 0, 0);
        store_pair(b, 0, 0);
        store_pair(b + PICTURE_WIDTH, 0, 0);
    }
    return status;
}
