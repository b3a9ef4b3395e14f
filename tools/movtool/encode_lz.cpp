// Optimal-parse LZ packer. The streams are small (16000 codes a record), so every position gets
// a cost-to-reach and the cheapest chain of literal runs and copies is read back from the end;
// candidate copies come from hash chains over 4-byte prefixes.
#include "tools/movtool/encode_lz.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "tools/movtool/encode_arrays.h"

namespace
{

constexpr int32_t HASH_BITS = 14;
constexpr int32_t HASH_SIZE = 1 << HASH_BITS;
constexpr int32_t MIN_COPY = 4;
constexpr int32_t MAX_COPY = 8195;     // 31 + 32 * 255 + 4
constexpr int32_t MAX_SHORT_COPY = 35; // without the length extension
constexpr int32_t MAX_LITERAL = 8192;  // 31 + 32 * 255 + 1
constexpr int32_t MAX_SHORT_LITERAL = 32;
constexpr int32_t MAX_OFFSET = 65535;
// A copy this long is taken as it is: the positions it covers are not searched again, which
// keeps long runs of equal codes linear in time at a small loss of compression. The chain
// walk is bounded too; the fast setting serves for estimates.
constexpr int32_t NICE_COPY[2] = {32, 64};
constexpr int32_t MAX_CHAIN_STEPS[2] = {4, 16};
constexpr int32_t UNREACHED = 0x7fffffff;

} // namespace

struct LzPacker {
    int32_t max_input;
    int32_t *head;        // HASH_SIZE
    int32_t *chain;       // max_input: previous position with the same hash
    int32_t *cost;        // max_input + 1: fewest packed bytes that produce the first i bytes
    int32_t *from;        // max_input + 1: where the last instruction reaching i starts
    int32_t *dist;        // max_input + 1: its copy distance, 0 for a literal run
    int32_t *queue;       // max_input + 1: candidate starts of long literal runs
    int32_t *short_queue; // max_input + 1: candidate starts of short literal runs
};

LzPacker *encode_lz_alloc(int32_t max_input)
{
    LzPacker *p = new (std::nothrow) LzPacker{};
    if (!p) return nullptr;
    p->max_input = max_input;
    size_t n = (size_t)max_input + 1;
    p->head = (int32_t *)malloc(sizeof(int32_t) * HASH_SIZE);
    p->chain = (int32_t *)malloc(sizeof(int32_t) * n);
    p->cost = (int32_t *)malloc(sizeof(int32_t) * n);
    p->from = (int32_t *)malloc(sizeof(int32_t) * n);
    p->dist = (int32_t *)malloc(sizeof(int32_t) * n);
    p->queue = (int32_t *)malloc(sizeof(int32_t) * n);
    p->short_queue = (int32_t *)malloc(sizeof(int32_t) * n);
    if (!encode_all_allocated(p->head, p->chain, p->cost, p->from, p->dist, p->queue,
                              p->short_queue)) {
        encode_lz_free(p);
        return nullptr;
    }
    return p;
}

void encode_lz_free(LzPacker *p)
{
    if (!p) return;
    encode_free_all(p->head, p->chain, p->cost, p->from, p->dist, p->queue, p->short_queue);
    delete p;
}

int32_t encode_lz_bound(int32_t length)
{
    return length + 2 * ((length + MAX_LITERAL - 1) / MAX_LITERAL);
}

static inline uint32_t lz_hash(const uint8_t *p)
{
    uint32_t v = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
    return (v * 2654435761u) >> (32 - HASH_BITS);
}

// Bytes of a copy of length l from distance d; the offset stored is d - l, so a longer copy from
// the same place can have the shorter offset.
static inline int32_t copy_cost(int32_t l, int32_t d)
{
    int32_t o = d - l;
    if (l <= MAX_SHORT_COPY) return o <= 255 ? 2 : 3;
    return o <= 255 ? 3 : 4;
}

static void relax(LzPacker *p, int32_t to, int32_t cost, int32_t from, int32_t dist)
{
    if (cost < p->cost[to]) {
        p->cost[to] = cost;
        p->from[to] = from;
        p->dist[to] = dist;
    }
}

// Adds start j to a monotonic queue of run starts whose values cost[j] - j increase.
static void queue_push(const LzPacker *p, int32_t *queue, int32_t head, int32_t *tail, int32_t j)
{
    while (*tail > head && p->cost[queue[*tail - 1]] - queue[*tail - 1] >= p->cost[j] - j)
        (*tail)--;
    queue[(*tail)++] = j;
}

static void find_costs(LzPacker *p, const uint8_t *s, int32_t n, int32_t effort)
{
    const int32_t nice = NICE_COPY[effort], max_steps = MAX_CHAIN_STEPS[effort];
    for (int32_t i = 0; i < HASH_SIZE; i++)
        p->head[i] = -1;
    for (int32_t i = 0; i <= n; i++)
        p->cost[i] = UNREACHED;
    p->cost[0] = 0;
    // Literal runs cost their length plus one header byte up to 32, two beyond, so the best
    // run ending at i starts where cost[j] - j is least: two sliding-window minimum queues.
    int32_t q_head = 0, q_tail = 0, s_head = 0, s_tail = 0;
    int32_t searched_until = 0, run_start = 0;
    for (int32_t i = 0; i <= n; i++) {
        int32_t j = i - (MAX_SHORT_LITERAL + 1);
        if (j >= 0 && p->cost[j] != UNREACHED) queue_push(p, p->queue, q_head, &q_tail, j);
        while (q_tail > q_head && p->queue[q_head] < i - MAX_LITERAL)
            q_head++;
        if (q_tail > q_head) {
            int32_t k = p->queue[q_head];
            relax(p, i, p->cost[k] + (i - k) + 2, k, 0);
        }
        while (s_tail > s_head && p->short_queue[s_head] < i - MAX_SHORT_LITERAL)
            s_head++;
        if (s_tail > s_head) {
            int32_t k = p->short_queue[s_head];
            relax(p, i, p->cost[k] + (i - k) + 1, k, 0);
        }
        if (i == n) break;
        // cost[i] is final here: every way into i starts before it.
        queue_push(p, p->short_queue, s_head, &s_tail, i);
        int32_t base = p->cost[i];

        if (i + MIN_COPY > n) continue;
        uint32_t h = lz_hash(s + i);
        if (i > 0 && s[i] != s[i - 1]) run_start = i;
        if (i >= searched_until) {
            int32_t best = MIN_COPY - 1;
            int32_t steps = 0;
            // The chain, nearest first, then the start of the run of equal bytes that i is
            // in: copies cannot overlap, so a long run is best copied from its far end, and
            // the chain seldom reaches that far.
            int32_t next = p->head[h];
            bool run_tried = false;
            for (;;) {
                int32_t c;
                if (next >= 0 && steps < max_steps) {
                    c = next;
                    next = p->chain[next];
                    steps++;
                } else if (!run_tried && i - run_start >= MIN_COPY) {
                    c = run_start;
                    run_tried = true;
                } else {
                    break;
                }
                int32_t d = i - c;
                // No overlap: the copied bytes must end at or before the output's end.
                int32_t limit = d;
                if (limit > n - i) limit = n - i;
                if (limit > MAX_COPY) limit = MAX_COPY;
                if (limit <= best) continue;
                if (s[c + best] != s[i + best]) continue;
                int32_t m = 0;
                while (m < limit && s[c + m] == s[i + m])
                    m++;
                if (m <= best) continue;
                // Closer sources are never dearer for the same length, so each length is
                // relaxed only from the nearest source that reaches it.
                for (int32_t l = best + 1; l <= m; l++)
                    if (d - l <= MAX_OFFSET) relax(p, i + l, base + copy_cost(l, d), i, d);
                best = m;
                if (m >= nice) next = -1; // long enough; only the run's start may reach further
            }
            if (best >= nice) searched_until = i + best;
        }
        p->chain[i] = p->head[h];
        p->head[h] = i;
    }
}

int32_t encode_lz_pack(LzPacker *p, const uint8_t *source, int32_t length, uint8_t *dest,
                       int32_t dest_capacity, LzEffort effort)
{
    if (length < 0 || length > p->max_input) return -1;
    if (length == 0) return 0;
    find_costs(p, source, length, effort == LZ_FAST ? 0 : 1);
    if (p->cost[length] > dest_capacity) return -1;
    // Walk back from the end, turning the chain around in place through the queue buffer.
    int32_t count = 0;
    for (int32_t i = length; i > 0; i = p->from[i])
        p->queue[count++] = i;
    int32_t out = 0;
    int32_t at = 0;
    for (int32_t k = count - 1; k >= 0; k--) {
        int32_t end = p->queue[k];
        int32_t l = end - at;
        int32_t d = p->dist[end];
        if (d == 0) {
            if (l <= MAX_SHORT_LITERAL) {
                dest[out++] = (uint8_t)(l - 1);
            } else {
                dest[out++] = (uint8_t)(0x20 | ((l - 1) & 31));
                dest[out++] = (uint8_t)((l - 1) >> 5);
            }
            memcpy(dest + out, source + at, (size_t)l);
            out += l;
        } else {
            int32_t o = d - l;
            if (l <= MAX_SHORT_COPY && o <= 255) {
                dest[out++] = (uint8_t)(0x40 | (l - 4));
                dest[out++] = (uint8_t)o;
            } else if (l <= MAX_SHORT_COPY) {
                dest[out++] = (uint8_t)(0x80 | (l - 4));
                dest[out++] = (uint8_t)(o & 255);
                dest[out++] = (uint8_t)(o >> 8);
            } else if (o <= 255) {
                dest[out++] = (uint8_t)(0x60 | ((l - 4) & 31));
                dest[out++] = (uint8_t)((l - 4) >> 5);
                dest[out++] = (uint8_t)o;
            } else {
                dest[out++] = (uint8_t)(0xA0 | ((l - 4) & 31));
                dest[out++] = (uint8_t)((l - 4) >> 5);
                dest[out++] = (uint8_t)(o & 255);
                dest[out++] = (uint8_t)(o >> 8);
            }
        }
        at = end;
    }
    return out;
}
