// Block coding. Each 2x2x2 block first takes the exact partition with the fewest boxes. When the
// record does not fit, boxes are merged greedily, cheapest added squared error per colour saved
// first, with the merged box taking the palette colour nearest its pixels' mean; the code stream
// is repacked and merging goes on until colour list and packed codes fit together.
#include "tools/movtool/encode_blocks.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "movie/movie.h"
#include "movie/picture.h"
#include "tools/movtool/encode_arrays.h"

namespace
{

constexpr int32_t BLOCKS = MOVIE_CODE_COUNT;
constexpr int32_t NEAR_UNKNOWN = 0xFF;
constexpr int32_t BUCKETS = 1 + 31 * 8;
constexpr uint8_t COLLAPSE = 0xFF; // merge index meaning "the whole block becomes one box"
// Merge indices HALVES to HALVES + 2: the block becomes the two halves of code 2, 3 or 4.
constexpr uint8_t HALVES = 0xFC;

struct Merge {
    uint8_t mask; // the cells of the merged box
    uint8_t code; // the code after the merge
};

// One merge as made, so that the budget search can take merges back and make them again.
struct MergeStep {
    int32_t block;
    uint8_t old_code, new_code, mask, colour;
    uint8_t mask2, colour2; // a second box, when the block is cut in halves anew
    uint8_t old_colours[8];
};

// The search aims this far below the limit, since its estimates of the packed length come from
// the fast packer, and stops when it is within the tolerance of that aim.
constexpr int32_t AIM_MARGIN = 48;
constexpr int32_t AIM_TOLERANCE = 96;
constexpr int32_t MAX_PROBES = 8;
// What the best packer makes of what the fast one packs to, typically.
constexpr double FAST_TO_BEST = 0.95;

struct Candidate {
    int32_t key; // added squared error per colour saved
    int32_t block;
    uint16_t version;
    uint8_t merge;
    uint8_t colour;
    uint8_t colour2; // the second half's colour, for HALVES
};

bool tables_ready;
bool is_box[256];
uint8_t box_masks[BLOCK_CODE_MAX + 1][8];
uint32_t same_box_pairs[BLOCK_CODE_MAX + 1]; // bit per cell pair that shares a box
Merge merges[BLOCK_CODE_MAX + 1][28];
uint8_t merge_counts[BLOCK_CODE_MAX + 1];

inline int32_t pair_bit(int32_t i, int32_t j)
{
    // Pairs i < j numbered row by row: (0,1)..(0,7) are 0..6, (1,2).. are 7.., 28 in all.
    return i * 7 - i * (i - 1) / 2 + (j - i - 1);
}

int32_t code_of_partition(const uint8_t *masks, int32_t count)
{
    // Boxes are numbered in the order of their lowest cell.
    int32_t box_of[8] = {};
    for (int32_t b = 0; b < count; b++)
        for (int32_t cell = 0; cell < 8; cell++)
            if (masks[b] >> cell & 1) box_of[cell] = b;
    int32_t number[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int32_t next = 0;
    uint8_t digits[8];
    for (int32_t cell = 0; cell < 8; cell++) {
        if (number[box_of[cell]] < 0) number[box_of[cell]] = next++;
        digits[cell] = (uint8_t)number[box_of[cell]];
    }
    for (int32_t code = 1; code <= BLOCK_CODE_MAX; code++)
        if (!memcmp(block_patterns[code], digits, 8)) return code;
    return 0;
}

void tables_init()
{
    if (tables_ready) return;
    for (int32_t x = 0; x < 3; x++)
        for (int32_t y = 0; y < 3; y++)
            for (int32_t t = 0; t < 3; t++) {
                uint32_t mask = 0;
                for (int32_t cell = 0; cell < 8; cell++) {
                    int32_t dx = cell & 1, dy = cell >> 1 & 1, pt = cell >> 2;
                    if ((x == 2 || dx == x) && (y == 2 || dy == y) && (t == 2 || pt == t))
                        mask |= 1u << cell;
                }
                is_box[mask] = true;
            }
    for (int32_t code = 1; code <= BLOCK_CODE_MAX; code++) {
        int32_t k = block_colour_counts[code];
        memset(box_masks[code], 0, 8);
        for (int32_t cell = 0; cell < 8; cell++)
            box_masks[code][block_patterns[code][cell]] |= (uint8_t)(1u << cell);
        uint32_t pairs = 0;
        for (int32_t i = 0; i < 8; i++)
            for (int32_t j = i + 1; j < 8; j++)
                if (block_patterns[code][i] == block_patterns[code][j])
                    pairs |= 1u << pair_bit(i, j);
        same_box_pairs[code] = pairs;
        int32_t n = 0;
        for (int32_t a = 0; a < k; a++)
            for (int32_t b = a + 1; b < k; b++) {
                uint8_t u = box_masks[code][a] | box_masks[code][b];
                if (!is_box[u]) continue;
                uint8_t rest[8];
                int32_t count = 0;
                for (int32_t c = 0; c < k; c++)
                    if (c != a && c != b) rest[count++] = box_masks[code][c];
                rest[count++] = u;
                int32_t to = code_of_partition(rest, count);
                if (to) merges[code][n++] = Merge{u, (uint8_t)to};
            }
        merge_counts[code] = (uint8_t)n;
    }
    tables_ready = true;
}

} // namespace

struct BlockCoder {
    uint8_t *colour;    // BLOCKS x 8: the palette index each cell shows now
    uint8_t *code;      // BLOCKS
    uint16_t *version;  // BLOCKS: bumped at each merge so older candidates are skipped
    int32_t *pixel;     // BLOCKS x 8: offset of each cell's pixel in a picture pair
    Candidate *pool;    // candidates made so far
    int32_t *pool_next; // next candidate in the same bucket, -1 at the end
    int32_t pool_used;
    int32_t pool_capacity;
    int32_t bucket[BUCKETS]; // first candidate of each bucket, -1 when empty
    int32_t lowest;          // no bucket below this one holds a candidate
    uint8_t *nearest;        // 2^18: palette index nearest each 6-bit colour, NEAR_UNKNOWN when not
                             // yet looked up
    uint8_t *packed;         // scratch for packing
    MergeStep *steps;        // merges made, in order
    int32_t steps_made;      // merges in the log; the queue matches the blocks after all of them
    int32_t steps_applied;   // merges in force now, a prefix of the log
    uint8_t *cell_rgb;       // BLOCKS x 8 x 3: each cell's source colour, block by block
    int32_t *cell_err;       // BLOCKS x 8: each cell's squared error as it shows now
    const BlockPictures *in;
    uint8_t order[ENCODE_PALETTE_MAX];     // palette entries by component sum
    int32_t order_sum[ENCODE_PALETTE_MAX]; // their sums
};

BlockCoder *encode_blocks_alloc()
{
    tables_init();
    BlockCoder *c = new (std::nothrow) BlockCoder{};
    if (!c) return nullptr;
    c->colour = (uint8_t *)malloc((size_t)BLOCKS * 8);
    c->code = (uint8_t *)malloc(BLOCKS);
    c->version = (uint16_t *)malloc(sizeof(uint16_t) * BLOCKS);
    c->pixel = (int32_t *)malloc(sizeof(int32_t) * BLOCKS * 8);
    // One candidate a block at most is live; each merge takes one out before it adds one.
    // One candidate a block to start with, and at most one more after each merge.
    c->pool_capacity = BLOCKS * 8;
    c->pool = (Candidate *)malloc(sizeof(Candidate) * (size_t)c->pool_capacity);
    c->pool_next = (int32_t *)malloc(sizeof(int32_t) * (size_t)c->pool_capacity);
    c->nearest = (uint8_t *)malloc(1 << 18);
    c->packed = (uint8_t *)malloc((size_t)encode_lz_bound(BLOCKS));
    // Every merge takes at least one colour from a block of at most eight.
    c->steps = (MergeStep *)malloc(sizeof(MergeStep) * BLOCKS * 7);
    c->cell_rgb = (uint8_t *)malloc((size_t)BLOCKS * 8 * 3);
    c->cell_err = (int32_t *)malloc(sizeof(int32_t) * BLOCKS * 8);
    if (!encode_all_allocated(c->colour, c->code, c->version, c->pixel, c->pool, c->pool_next,
                              c->nearest, c->packed, c->steps, c->cell_rgb, c->cell_err)) {
        encode_blocks_free(c);
        return nullptr;
    }
    for (int32_t b = 0; b < BLOCKS; b++) {
        int32_t bx = b % 160, by = b / 160;
        for (int32_t cell = 0; cell < 8; cell++) {
            int32_t dx = cell & 1, dy = cell >> 1 & 1, t = cell >> 2;
            c->pixel[b * 8 + cell] = t * MOVIE_PICTURE_BYTES + (2 * by + dy) * 320 + 2 * bx + dx;
        }
    }
    return c;
}

void encode_blocks_free(BlockCoder *c)
{
    if (!c) return;
    encode_free_all(c->colour, c->code, c->version, c->pixel, c->pool, c->pool_next, c->nearest,
                    c->packed, c->steps, c->cell_rgb, c->cell_err);
    delete c;
}

int32_t encode_blocks_boxes(int32_t code, uint8_t masks[8])
{
    tables_init();
    if (code < 1 || code > BLOCK_CODE_MAX) return 0;
    memcpy(masks, box_masks[code], 8);
    return block_colour_counts[code];
}

int32_t encode_blocks_exact_code(const uint8_t cells[8])
{
    tables_init();
    uint32_t equal = 0;
    for (int32_t i = 0; i < 8; i++)
        for (int32_t j = i + 1; j < 8; j++)
            if (cells[i] == cells[j]) equal |= 1u << pair_bit(i, j);
    // Codes are in order of box count, so the first that asks only for equal pairs is fewest.
    for (int32_t code = 1; code <= BLOCK_CODE_MAX; code++)
        if (!(same_box_pairs[code] & ~equal)) return code;
    return BLOCK_CODE_MAX; // unreachable: code 154 asks for nothing
}

int32_t encode_blocks_exact_colours(BlockCoder *c, const uint8_t *indices)
{
    int32_t colours = 0;
    for (int32_t b = 0; b < BLOCKS; b++) {
        uint8_t cells[8];
        for (int32_t cell = 0; cell < 8; cell++)
            cells[cell] = indices[c->pixel[b * 8 + cell]];
        colours += block_colour_counts[encode_blocks_exact_code(cells)];
    }
    return colours;
}

// Sorts the palette by the sum of its components, for nearest_colour's search.
static void nearest_prepare(BlockCoder *c, const BlockPictures *in)
{
    memset(c->nearest, NEAR_UNKNOWN, 1 << 18);
    for (int32_t i = 0; i < in->palette_size; i++)
        c->order[i] = (uint8_t)i;
    const uint8_t *pal = in->palette;
    std::sort(c->order, c->order + in->palette_size, [pal](uint8_t a, uint8_t b) {
        return pal[a * 3] + pal[a * 3 + 1] + pal[a * 3 + 2] <
               pal[b * 3] + pal[b * 3 + 1] + pal[b * 3 + 2];
    });
    for (int32_t i = 0; i < in->palette_size; i++) {
        const uint8_t *p = pal + c->order[i] * 3;
        c->order_sum[i] = p[0] + p[1] + p[2];
    }
}

// The palette entry nearest a colour, remembered per 6-bit colour. The search runs outwards
// from the colour's component sum in the sorted palette: entries whose sums differ by s are
// at least s / sqrt(3) away, which ends it early.
static int32_t nearest_colour(BlockCoder *c, const BlockPictures *in, int32_t r, int32_t g,
                              int32_t b)
{
    int32_t key = ((r * 63 + 127) / 255) << 12 | ((g * 63 + 127) / 255) << 6 | (b * 63 + 127) / 255;
    if (c->nearest[key] != NEAR_UNKNOWN) return c->nearest[key];
    int32_t n = in->palette_size, sum = r + g + b;
    int32_t hi = (int32_t)(std::lower_bound(c->order_sum, c->order_sum + n, sum) - c->order_sum);
    int32_t lo = hi - 1;
    int32_t best = c->order[hi < n ? hi : n - 1], best_d = 0x7fffffff;
    auto consider = [&](int32_t at) {
        const uint8_t *p = in->palette + c->order[at] * 3;
        int32_t dr = p[0] - r, dg = p[1] - g, db = p[2] - b;
        int32_t d = dr * dr + dg * dg + db * db;
        if (d < best_d) {
            best_d = d;
            best = c->order[at];
        }
    };
    while (lo >= 0 || hi < n) {
        if (hi < n) {
            int32_t gap = c->order_sum[hi] - sum;
            if ((int64_t)gap * gap >= 3 * (int64_t)best_d)
                hi = n;
            else
                consider(hi++);
        }
        if (lo >= 0) {
            int32_t gap = sum - c->order_sum[lo];
            if ((int64_t)gap * gap >= 3 * (int64_t)best_d)
                lo = -1;
            else
                consider(lo--);
        }
    }
    c->nearest[key] = (uint8_t)best;
    return best;
}

static inline int32_t cell_error(const BlockCoder *c, const BlockPictures *in, int32_t cell,
                                 int32_t colour)
{
    const uint8_t *s = c->cell_rgb + cell * 3;
    const uint8_t *p = in->palette + colour * 3;
    int32_t dr = s[0] - p[0], dg = s[1] - p[1], db = s[2] - p[2];
    return dr * dr + dg * dg + db * db;
}

// The error a merge of the cells in mask adds, and the colour it would take: the palette
// colour nearest the cells' mean, which keeps the squared error of the merged box least.
static int32_t merge_cost(BlockCoder *c, const BlockPictures *in, int32_t block, uint8_t mask,
                          uint8_t *colour)
{
    int32_t n = 0, sr = 0, sg = 0, sb = 0, s2 = 0, before = 0;
    for (uint32_t m = mask; m; m &= m - 1) {
        int32_t cell = block * 8 + __builtin_ctz(m);
        const uint8_t *s = c->cell_rgb + cell * 3;
        sr += s[0];
        sg += s[1];
        sb += s[2];
        s2 += s[0] * s[0] + s[1] * s[1] + s[2] * s[2];
        n++;
        before += c->cell_err[cell];
    }
    if (n == 0) return 0;
    int32_t best = nearest_colour(c, in, (sr + n / 2) / n, (sg + n / 2) / n, (sb + n / 2) / n);
    const uint8_t *p = in->palette + best * 3;
    int32_t after = s2 - 2 * (p[0] * sr + p[1] * sg + p[2] * sb) +
                    n * (p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    *colour = (uint8_t)best;
    return after - before;
}

static bool best_candidate(BlockCoder *c, const BlockPictures *in, int32_t block, Candidate *out)
{
    int32_t code = c->code[block];
    int32_t k = block_colour_counts[code];
    if (k <= 1) return false;
    bool found = false;
    for (int32_t m = 0; m < merge_counts[code]; m++) {
        uint8_t colour;
        int32_t cost = merge_cost(c, in, block, merges[code][m].mask, &colour);
        if (!found || cost < out->key) {
            *out = Candidate{cost, block, c->version[block], (uint8_t)m, colour, 0};
            found = true;
        }
    }
    if (k >= 4) {
        // Two halves, re-cut: not a coarsening of the boxes, but any partition is valid.
        for (int32_t h = 0; h < 3; h++) {
            uint8_t first, second;
            int32_t cost = merge_cost(c, in, block, box_masks[2 + h][0], &first) +
                           merge_cost(c, in, block, box_masks[2 + h][1], &second);
            cost /= k - 2;
            if (!found || cost < out->key) {
                *out =
                    Candidate{cost, block, c->version[block], (uint8_t)(HALVES + h), first, second};
                found = true;
            }
        }
    }
    if (!found || k >= 3) {
        // One colour for the whole block, priced per colour it saves: cheaper than merging
        // pair by pair where no pair is much alike, and the only way when no two boxes of the
        // partition make a box together.
        uint8_t colour;
        int32_t cost = merge_cost(c, in, block, 0xFF, &colour) / (k - 1);
        if (!found || cost < out->key)
            *out = Candidate{cost, block, c->version[block], COLLAPSE, colour, 0};
        found = true;
    }
    return found;
}

// The queue of candidates: buckets eight to an octave of added error, so that taking the
// cheapest is constant time; within a bucket (errors within 9 % of each other) the order is
// last in, first out.
static int32_t bucket_of(int32_t key)
{
    if (key <= 0) return 0;
    int32_t octave = 31 - __builtin_clz((uint32_t)key);
    int32_t eighth = octave >= 3 ? key >> (octave - 3) & 7 : key << (3 - octave) & 7;
    return 1 + octave * 8 + eighth;
}

static void queue_push(BlockCoder *c, const Candidate &candidate)
{
    if (c->pool_used >= c->pool_capacity) return; // cannot happen: see pool_capacity
    int32_t at = c->pool_used++;
    int32_t b = bucket_of(candidate.key);
    c->pool[at] = candidate;
    c->pool_next[at] = c->bucket[b];
    c->bucket[b] = at;
    if (b < c->lowest) c->lowest = b;
}

static bool queue_pop(BlockCoder *c, Candidate *out)
{
    while (c->lowest < BUCKETS && c->bucket[c->lowest] < 0)
        c->lowest++;
    if (c->lowest >= BUCKETS) return false;
    int32_t at = c->bucket[c->lowest];
    c->bucket[c->lowest] = c->pool_next[at];
    *out = c->pool[at];
    return true;
}

static int32_t write_colours(BlockCoder *c, uint8_t *list)
{
    int32_t n = 0;
    for (int32_t b = 0; b < BLOCKS; b++) {
        int32_t code = c->code[b];
        int32_t k = block_colour_counts[code];
        for (int32_t box = 0; box < k; box++)
            list[n++] = (uint8_t)(c->colour[b * 8 + __builtin_ctz(box_masks[code][box])] + 1);
    }
    return n;
}

// Merges keep each cell's error up to date, since later merge costs start from it.
static void redo_step(BlockCoder *c, const MergeStep &m)
{
    for (int32_t cell = m.block * 8; cell < m.block * 8 + 8; cell++) {
        int32_t bit = 1 << (cell & 7);
        if (m.mask & bit)
            c->colour[cell] = m.colour;
        else if (m.mask2 & bit)
            c->colour[cell] = m.colour2;
        else
            continue;
        c->cell_err[cell] = cell_error(c, c->in, cell, c->colour[cell]);
    }
    c->code[m.block] = m.new_code;
}

static void undo_step(BlockCoder *c, const MergeStep &m)
{
    memcpy(c->colour + m.block * 8, m.old_colours, 8);
    for (int32_t cell = m.block * 8; cell < m.block * 8 + 8; cell++)
        c->cell_err[cell] = cell_error(c, c->in, cell, c->colour[cell]);
    c->code[m.block] = m.old_code;
}

static int32_t step_saving(const MergeStep &m)
{
    return block_colour_counts[m.old_code] - block_colour_counts[m.new_code];
}

// Takes at least `colours` more colours out by merging (fewer when nothing is left to merge);
// returns the number taken.
static int32_t merge_forward(BlockCoder *c, const BlockPictures *in, int32_t colours)
{
    int32_t taken = 0;
    while (taken < colours && c->steps_applied < c->steps_made) {
        const MergeStep &m = c->steps[c->steps_applied++];
        redo_step(c, m);
        taken += step_saving(m);
    }
    Candidate top;
    while (taken < colours && queue_pop(c, &top)) {
        int32_t b = top.block;
        if (top.version != c->version[b]) continue;
        int32_t code = c->code[b];
        MergeStep &m = c->steps[c->steps_made++];
        m.block = b;
        m.old_code = (uint8_t)code;
        m.colour = top.colour;
        m.mask2 = 0;
        if (top.merge == COLLAPSE) {
            m.mask = 0xFF;
            m.new_code = 1;
        } else if (top.merge >= HALVES) {
            int32_t half = 2 + top.merge - HALVES;
            m.mask = box_masks[half][0];
            m.mask2 = box_masks[half][1];
            m.colour2 = top.colour2;
            m.new_code = (uint8_t)half;
        } else {
            m.mask = merges[code][top.merge].mask;
            m.new_code = merges[code][top.merge].code;
        }
        memcpy(m.old_colours, c->colour + b * 8, 8);
        redo_step(c, m);
        c->steps_applied = c->steps_made;
        taken += step_saving(m);
        c->version[b]++;
        Candidate next;
        if (best_candidate(c, in, b, &next)) queue_push(c, next);
    }
    return taken;
}

// Gives back at most `colours` colours by taking the latest merges back; returns the number.
static int32_t merge_back(BlockCoder *c, int32_t colours)
{
    int32_t given = 0;
    while (c->steps_applied > 0) {
        const MergeStep &m = c->steps[c->steps_applied - 1];
        if (given + step_saving(m) > colours) break;
        undo_step(c, m);
        c->steps_applied--;
        given += step_saving(m);
    }
    return given;
}

// Phase 1: every block coded exactly, with the fewest boxes its cells allow. Returns the colours
// that takes.
static int32_t code_exactly(BlockCoder *c, const BlockPictures *in)
{
    int32_t colours = 0;
    for (int32_t b = 0; b < BLOCKS; b++) {
        uint8_t *cells = c->colour + b * 8;
        const int32_t *px = c->pixel + b * 8;
        for (int32_t cell = 0; cell < 8; cell++) {
            cells[cell] = in->indices[px[cell]];
            memcpy(c->cell_rgb + (b * 8 + cell) * 3, in->source + px[cell] * 3, 3);
        }
        c->code[b] = (uint8_t)encode_blocks_exact_code(cells);
        c->version[b] = 0;
        colours += block_colour_counts[c->code[b]];
    }
    return colours;
}

// The merge queue over the exact coding: each cell's error and each block's best merge.
static void merges_start(BlockCoder *c, const BlockPictures *in)
{
    c->in = in;
    for (int32_t cell = 0; cell < BLOCKS * 8; cell++)
        c->cell_err[cell] = cell_error(c, in, cell, c->colour[cell]);
    nearest_prepare(c, in);
    c->pool_used = 0;
    c->lowest = BUCKETS;
    for (int32_t b = 0; b < BUCKETS; b++)
        c->bucket[b] = -1;
    for (int32_t b = 0; b < BLOCKS; b++) {
        Candidate first;
        if (best_candidate(c, in, b, &first)) queue_push(c, first);
    }
}

// Where the search for the fewest merges stands: colours in the list, packed length (estimated
// or exact), and the packed bytes one colour less saves, learnt as it goes.
struct MergeFit {
    int32_t colours;
    int32_t packed;
    double slope;
};

// Phase 2: merges towards the aim on estimates from the fast packer, scaled to the best one.
// best_packed: the exact length of the exact coding, or -1 when it was not worth packing.
static void fit_on_estimates(BlockCoder *c, LzPacker *packer, const BlockPictures *in,
                             int32_t data_limit, int32_t best_packed, MergeFit *fit)
{
    const int32_t bound = encode_lz_bound(BLOCKS);
    int32_t fast = encode_lz_pack(packer, c->code, BLOCKS, c->packed, bound, LZ_FAST);
    double scale = best_packed >= 0 && fast > 0 ? (double)best_packed / fast : FAST_TO_BEST;
    fit->packed = (int32_t)(fast * scale);
    fit->slope = 0.25;
    int32_t aim = data_limit - AIM_MARGIN;
    double estimate = fit->packed;
    for (int32_t probe = 0; probe < MAX_PROBES; probe++) {
        double over = fit->colours + estimate - aim;
        int32_t moved;
        if (over > 0)
            moved = merge_forward(c, in, (int32_t)(over / (1 + fit->slope)) + 1);
        else if (-over > AIM_TOLERANCE && c->steps_applied > 0)
            moved = -merge_back(c, (int32_t)(-over / (1 + fit->slope)));
        else
            break;
        if (moved == 0) break;
        fit->colours -= moved;
        double next = scale * encode_lz_pack(packer, c->code, BLOCKS, c->packed, bound, LZ_FAST);
        if (moved > 32 || moved < -32) {
            double slope = (estimate - next) / moved;
            fit->slope = slope < 0 ? 0 : slope > 1 ? 1 : slope;
        }
        estimate = next;
    }
}

// Phase 3: the estimate may be off, so the exact packed length decides, with a last correction
// each way, and merging more until it fits. false when even merging everything does not fit.
static bool fit_exactly(BlockCoder *c, LzPacker *packer, const BlockPictures *in,
                        int32_t data_limit, MergeFit *fit)
{
    const int32_t bound = encode_lz_bound(BLOCKS);
    fit->packed = encode_lz_pack(packer, c->code, BLOCKS, c->packed, bound, LZ_BEST);
    for (int32_t round = 0; round < 2; round++) {
        int32_t slack = data_limit - fit->colours - fit->packed;
        int32_t moved;
        if (slack < 0)
            moved = merge_forward(c, in, (int32_t)(-slack / (1 + fit->slope)) + 1);
        else if (slack > AIM_TOLERANCE)
            moved = -merge_back(c, (int32_t)(slack / (1 + fit->slope) * 0.9));
        else
            break;
        if (moved == 0) break;
        fit->colours -= moved;
        fit->packed = encode_lz_pack(packer, c->code, BLOCKS, c->packed, bound, LZ_BEST);
    }
    while (fit->colours + fit->packed > data_limit) {
        int32_t moved = merge_forward(c, in, fit->colours + fit->packed - data_limit);
        if (moved == 0) return false;
        fit->colours -= moved;
        fit->packed = encode_lz_pack(packer, c->code, BLOCKS, c->packed, bound, LZ_BEST);
    }
    return true;
}

bool encode_blocks_code(BlockCoder *c, LzPacker *packer, const BlockPictures *in,
                        int32_t data_limit, BlockOutput *out)
{
    MergeFit fit{code_exactly(c, in), -1, 0};
    // Packing is the dearest step: when the colours alone overflow, only estimates are needed.
    if (fit.colours < data_limit)
        fit.packed =
            encode_lz_pack(packer, c->code, BLOCKS, c->packed, encode_lz_bound(BLOCKS), LZ_BEST);
    out->lossless = fit.packed >= 0 && fit.colours + fit.packed <= data_limit;
    c->steps_made = c->steps_applied = 0;
    if (!out->lossless) {
        merges_start(c, in);
        fit_on_estimates(c, packer, in, data_limit, fit.packed, &fit);
        if (!fit_exactly(c, packer, in, data_limit, &fit)) return false;
    }
    out->merges = c->steps_applied;
    memcpy(out->codes, c->code, BLOCKS);
    out->colour_count = write_colours(c, out->data);
    out->packed_length = fit.packed;
    memcpy(out->data + out->colour_count, c->packed, (size_t)fit.packed);
    return true;
}
