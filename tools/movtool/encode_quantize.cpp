// Quantizer: colours are first counted at the 6-bit precision the palette has. Up to 248 of
// them are kept as they are. Beyond that, Wu's variance-minimising box splits of the colour cube
// give 248 clusters, which a few weighted k-means rounds over the distinct colours then refine;
// the palette is the clusters' means rounded to 6 bits and each colour takes its nearest entry.
#include "tools/movtool/encode_quantize.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "tools/movtool/encode_arrays.h"

namespace
{

constexpr int32_t PALETTE_MAX = 248;
constexpr int32_t KEYS = 1 << 18; // 6-bit red, green, blue
constexpr int32_t SIDE = 33;      // Wu's tables: 5 bits a component plus a zero plane
constexpr int32_t CELLS = SIDE * SIDE * SIDE;
constexpr int32_t KMEANS_ROUNDS = 3;
// Beyond this many distinct colours (noise, photographs) one round: the rounds gain little
// there and their searches would dominate the record's time.
constexpr int32_t KMEANS_MANY = 16384;

struct Box {
    int32_t r0, r1, g0, g1, b0, b1; // exclusive lower, inclusive upper bounds
    int32_t volume;
};

inline int32_t at(int32_t r, int32_t g, int32_t b)
{
    return (r * SIDE + g) * SIDE + b;
}

} // namespace

struct Quantizer {
    int32_t *count; // KEYS: pixels of each 6-bit colour
    int32_t *sum;   // KEYS x 3: their 8-bit components summed
    int32_t *slot;  // KEYS: the colour's place in the distinct list
    int32_t *keys;  // distinct colours in order of first sight
    float *mean;    // distinct x 3: their mean 8-bit colour
    uint8_t *owner; // distinct: the cluster each belongs to
    int32_t capacity;
    double *wt, *mr, *mg, *mb, *m2; // Wu's cumulative moments
    uint8_t *tag;
    double centre[PALETTE_MAX][3];
    double weight[PALETTE_MAX];
};

Quantizer *encode_quantize_alloc()
{
    Quantizer *q = new (std::nothrow) Quantizer{};
    if (!q) return nullptr;
    q->count = (int32_t *)calloc(KEYS, sizeof(int32_t));
    q->sum = (int32_t *)calloc((size_t)KEYS * 3, sizeof(int32_t));
    q->slot = (int32_t *)malloc(sizeof(int32_t) * KEYS);
    q->capacity = KEYS; // never more distinct colours than keys
    q->keys = (int32_t *)malloc(sizeof(int32_t) * KEYS);
    q->mean = (float *)malloc(sizeof(float) * 3 * KEYS);
    q->owner = (uint8_t *)malloc(KEYS);
    q->wt = (double *)malloc(sizeof(double) * CELLS * 5);
    q->tag = (uint8_t *)malloc(CELLS);
    if (!encode_all_allocated(q->count, q->sum, q->slot, q->keys, q->mean, q->owner, q->wt,
                              q->tag)) {
        encode_quantize_free(q);
        return nullptr;
    }
    q->mr = q->wt + CELLS;
    q->mg = q->mr + CELLS;
    q->mb = q->mg + CELLS;
    q->m2 = q->mb + CELLS;
    return q;
}

void encode_quantize_free(Quantizer *q)
{
    if (!q) return;
    encode_free_all(q->count, q->sum, q->slot, q->keys, q->mean, q->owner, q->wt, q->tag);
    delete q;
}

static double box_sum(const Box &c, const double *m)
{
    return m[at(c.r1, c.g1, c.b1)] - m[at(c.r1, c.g1, c.b0)] - m[at(c.r1, c.g0, c.b1)] +
           m[at(c.r1, c.g0, c.b0)] - m[at(c.r0, c.g1, c.b1)] + m[at(c.r0, c.g1, c.b0)] +
           m[at(c.r0, c.g0, c.b1)] - m[at(c.r0, c.g0, c.b0)];
}

// The part of box_sum that does not depend on the cut position along one axis.
static double box_bottom(const Box &c, int32_t axis, const double *m)
{
    switch (axis) {
    case 0:
        return -m[at(c.r0, c.g1, c.b1)] + m[at(c.r0, c.g1, c.b0)] + m[at(c.r0, c.g0, c.b1)] -
               m[at(c.r0, c.g0, c.b0)];
    case 1:
        return -m[at(c.r1, c.g0, c.b1)] + m[at(c.r1, c.g0, c.b0)] + m[at(c.r0, c.g0, c.b1)] -
               m[at(c.r0, c.g0, c.b0)];
    default:
        return -m[at(c.r1, c.g1, c.b0)] + m[at(c.r1, c.g0, c.b0)] + m[at(c.r0, c.g1, c.b0)] -
               m[at(c.r0, c.g0, c.b0)];
    }
}

static double box_top(const Box &c, int32_t axis, int32_t pos, const double *m)
{
    switch (axis) {
    case 0:
        return m[at(pos, c.g1, c.b1)] - m[at(pos, c.g1, c.b0)] - m[at(pos, c.g0, c.b1)] +
               m[at(pos, c.g0, c.b0)];
    case 1:
        return m[at(c.r1, pos, c.b1)] - m[at(c.r1, pos, c.b0)] - m[at(c.r0, pos, c.b1)] +
               m[at(c.r0, pos, c.b0)];
    default:
        return m[at(c.r1, c.g1, pos)] - m[at(c.r1, c.g0, pos)] - m[at(c.r0, c.g1, pos)] +
               m[at(c.r0, c.g0, pos)];
    }
}

static double box_variance(const Quantizer *q, const Box &c)
{
    double r = box_sum(c, q->mr), g = box_sum(c, q->mg), b = box_sum(c, q->mb);
    double w = box_sum(c, q->wt);
    if (w <= 0) return 0;
    return box_sum(c, q->m2) - (r * r + g * g + b * b) / w;
}

static double maximize(const Quantizer *q, const Box &c, int32_t axis, int32_t first, int32_t last,
                       int32_t *cut, double wr, double wg, double wb, double ww)
{
    double br = box_bottom(c, axis, q->mr), bg = box_bottom(c, axis, q->mg);
    double bb = box_bottom(c, axis, q->mb), bw = box_bottom(c, axis, q->wt);
    double best = 0;
    *cut = -1;
    for (int32_t i = first; i < last; i++) {
        double hr = br + box_top(c, axis, i, q->mr), hg = bg + box_top(c, axis, i, q->mg);
        double hb = bb + box_top(c, axis, i, q->mb), hw = bw + box_top(c, axis, i, q->wt);
        if (hw <= 0) continue;
        double t = (hr * hr + hg * hg + hb * hb) / hw;
        double rr = wr - hr, rg = wg - hg, rb = wb - hb, rw = ww - hw;
        if (rw <= 0) continue;
        t += (rr * rr + rg * rg + rb * rb) / rw;
        if (t > best) {
            best = t;
            *cut = i;
        }
    }
    return best;
}

static bool cut_box(const Quantizer *q, Box *a, Box *b)
{
    double wr = box_sum(*a, q->mr), wg = box_sum(*a, q->mg), wb = box_sum(*a, q->mb);
    double ww = box_sum(*a, q->wt);
    int32_t cut[3];
    double best[3];
    best[0] = maximize(q, *a, 0, a->r0 + 1, a->r1, &cut[0], wr, wg, wb, ww);
    best[1] = maximize(q, *a, 1, a->g0 + 1, a->g1, &cut[1], wr, wg, wb, ww);
    best[2] = maximize(q, *a, 2, a->b0 + 1, a->b1, &cut[2], wr, wg, wb, ww);
    int32_t axis = 0;
    if (best[1] > best[axis]) axis = 1;
    if (best[2] > best[axis]) axis = 2;
    if (cut[axis] < 0) return false;
    *b = *a;
    if (axis == 0)
        a->r1 = b->r0 = cut[axis];
    else if (axis == 1)
        a->g1 = b->g0 = cut[axis];
    else
        a->b1 = b->b0 = cut[axis];
    a->volume = (a->r1 - a->r0) * (a->g1 - a->g0) * (a->b1 - a->b0);
    b->volume = (b->r1 - b->r0) * (b->g1 - b->g0) * (b->b1 - b->b0);
    return true;
}

// Wu's splits over the distinct colours at 5 bits a component; each distinct colour's owner
// becomes its box. Returns the number of boxes.
static int32_t wu_clusters(Quantizer *q, int32_t distinct, int32_t max_colours)
{
    memset(q->wt, 0, sizeof(double) * CELLS * 5);
    for (int32_t i = 0; i < distinct; i++) {
        int32_t key = q->keys[i];
        int32_t cell = at((key >> 13) + 1, (key >> 7 & 31) + 1, (key >> 1 & 31) + 1);
        double w = q->count[key];
        const float *m = q->mean + i * 3;
        q->wt[cell] += w;
        q->mr[cell] += w * m[0];
        q->mg[cell] += w * m[1];
        q->mb[cell] += w * m[2];
        q->m2[cell] += w * (m[0] * m[0] + m[1] * m[1] + m[2] * m[2]);
    }
    double *tables[5] = {q->wt, q->mr, q->mg, q->mb, q->m2};
    for (double *m : tables) {
        for (int32_t r = 1; r < SIDE; r++)
            for (int32_t g = 1; g < SIDE; g++)
                for (int32_t b = 1; b < SIDE; b++)
                    m[at(r, g, b)] += m[at(r, g, b - 1)];
        for (int32_t r = 1; r < SIDE; r++)
            for (int32_t g = 1; g < SIDE; g++)
                for (int32_t b = 1; b < SIDE; b++)
                    m[at(r, g, b)] += m[at(r, g - 1, b)];
        for (int32_t r = 1; r < SIDE; r++)
            for (int32_t g = 1; g < SIDE; g++)
                for (int32_t b = 1; b < SIDE; b++)
                    m[at(r, g, b)] += m[at(r - 1, g, b)];
    }
    Box boxes[PALETTE_MAX];
    double variance[PALETTE_MAX];
    boxes[0] = Box{0, SIDE - 1, 0, SIDE - 1, 0, SIDE - 1, 0};
    int32_t count = 1;
    int32_t next = 0;
    while (count < max_colours) {
        if (cut_box(q, &boxes[next], &boxes[count])) {
            variance[next] = boxes[next].volume > 1 ? box_variance(q, boxes[next]) : 0;
            variance[count] = boxes[count].volume > 1 ? box_variance(q, boxes[count]) : 0;
            count++;
        } else {
            variance[next] = 0;
        }
        next = 0;
        for (int32_t i = 1; i < count; i++)
            if (variance[i] > variance[next]) next = i;
        if (variance[next] <= 0) break;
    }
    for (int32_t k = 0; k < count; k++) {
        const Box &c = boxes[k];
        for (int32_t r = c.r0 + 1; r <= c.r1; r++)
            for (int32_t g = c.g0 + 1; g <= c.g1; g++)
                for (int32_t b = c.b0 + 1; b <= c.b1; b++)
                    q->tag[at(r, g, b)] = (uint8_t)k;
    }
    for (int32_t i = 0; i < distinct; i++) {
        int32_t key = q->keys[i];
        q->owner[i] = q->tag[at((key >> 13) + 1, (key >> 7 & 31) + 1, (key >> 1 & 31) + 1)];
    }
    return count;
}

static void update_centres(Quantizer *q, int32_t distinct, int32_t clusters)
{
    double acc[PALETTE_MAX][3] = {};
    double w[PALETTE_MAX] = {};
    for (int32_t i = 0; i < distinct; i++) {
        double c = q->count[q->keys[i]];
        int32_t k = q->owner[i];
        w[k] += c;
        acc[k][0] += c * q->mean[i * 3];
        acc[k][1] += c * q->mean[i * 3 + 1];
        acc[k][2] += c * q->mean[i * 3 + 2];
    }
    for (int32_t k = 0; k < clusters; k++) {
        q->weight[k] = w[k];
        if (w[k] > 0)
            for (int32_t a = 0; a < 3; a++)
                q->centre[k][a] = acc[k][a] / w[k];
    }
}

static inline double distance2(const double *c, const float *m)
{
    double dr = c[0] - m[0], dg = c[1] - m[1], db = c[2] - m[2];
    return dr * dr + dg * dg + db * db;
}

// Moves each distinct colour to its nearest centre. A colour closer to its own centre than
// half the distance from that centre to any other cannot have a nearer one; the others search
// the centres in order of their projection on the grey axis, outwards from their own
// projection, until the projections alone are further apart than the best so far.
static void assign_nearest(Quantizer *q, int32_t distinct, int32_t clusters)
{
    if (clusters < 2) {
        memset(q->owner, 0, (size_t)distinct);
        return;
    }
    double guard[PALETTE_MAX];
    double proj[PALETTE_MAX];
    int32_t order[PALETTE_MAX];
    const double axis = 1.0 / std::sqrt(3.0);
    for (int32_t k = 0; k < clusters; k++) {
        double best = 1e30;
        for (int32_t j = 0; j < clusters; j++) {
            if (j == k) continue;
            double dr = q->centre[k][0] - q->centre[j][0], dg = q->centre[k][1] - q->centre[j][1];
            double db = q->centre[k][2] - q->centre[j][2];
            double d = dr * dr + dg * dg + db * db;
            if (d < best) best = d;
        }
        guard[k] = best / 4;
        order[k] = k;
    }
    std::sort(order, order + clusters, [q](int32_t a, int32_t b) {
        return q->centre[a][0] + q->centre[a][1] + q->centre[a][2] <
               q->centre[b][0] + q->centre[b][1] + q->centre[b][2];
    });
    for (int32_t k = 0; k < clusters; k++) {
        const double *c = q->centre[order[k]];
        proj[k] = (c[0] + c[1] + c[2]) * axis;
    }
    for (int32_t i = 0; i < distinct; i++) {
        const float *m = q->mean + i * 3;
        int32_t own = q->owner[i];
        double d = distance2(q->centre[own], m);
        if (d <= guard[own]) continue;
        double p = (m[0] + m[1] + m[2]) * axis;
        int32_t hi = (int32_t)(std::lower_bound(proj, proj + clusters, p) - proj);
        int32_t lo = hi - 1;
        while (lo >= 0 || hi < clusters) {
            if (hi < clusters) {
                double gap = proj[hi] - p;
                if (gap * gap >= d) {
                    hi = clusters;
                } else {
                    double dk = distance2(q->centre[order[hi]], m);
                    if (dk < d) {
                        d = dk;
                        own = order[hi];
                    }
                    hi++;
                }
            }
            if (lo >= 0) {
                double gap = p - proj[lo];
                if (gap * gap >= d) {
                    lo = -1;
                } else {
                    double dk = distance2(q->centre[order[lo]], m);
                    if (dk < d) {
                        d = dk;
                        own = order[lo];
                    }
                    lo--;
                }
            }
        }
        q->owner[i] = (uint8_t)own;
    }
}

static int32_t colour_key(const uint8_t *c)
{
    static const struct Reduce {
        uint8_t to6[256];
        Reduce()
        {
            for (int32_t v = 0; v < 256; v++)
                to6[v] = (uint8_t)encode_reduce8(v);
        }
    } reduce;
    return reduce.to6[c[0]] << 12 | reduce.to6[c[1]] << 6 | reduce.to6[c[2]];
}

int32_t encode_quantize(Quantizer *q, const uint8_t *rgb, int32_t pixel_count, uint8_t *palette,
                        uint8_t *indices, int32_t max_colours)
{
    if (max_colours < 1 || max_colours > PALETTE_MAX) max_colours = PALETTE_MAX;
    int32_t distinct = 0;
    for (int32_t p = 0; p < pixel_count; p++) {
        const uint8_t *c = rgb + p * 3;
        int32_t key = colour_key(c);
        if (q->count[key]++ == 0) {
            q->slot[key] = distinct;
            q->keys[distinct++] = key;
        }
        q->sum[key * 3] += c[0];
        q->sum[key * 3 + 1] += c[1];
        q->sum[key * 3 + 2] += c[2];
    }
    int32_t size;
    if (distinct <= max_colours) {
        for (int32_t i = 0; i < distinct; i++) {
            int32_t key = q->keys[i];
            palette[i * 3] = (uint8_t)(key >> 12);
            palette[i * 3 + 1] = (uint8_t)(key >> 6 & 63);
            palette[i * 3 + 2] = (uint8_t)(key & 63);
            q->owner[i] = (uint8_t)i;
        }
        size = distinct;
    } else {
        for (int32_t i = 0; i < distinct; i++) {
            int32_t key = q->keys[i];
            double n = q->count[key];
            for (int32_t a = 0; a < 3; a++)
                q->mean[i * 3 + a] = (float)(q->sum[key * 3 + a] / n);
        }
        size = wu_clusters(q, distinct, max_colours);
        update_centres(q, distinct, size);
        int32_t rounds = distinct > KMEANS_MANY ? 1 : KMEANS_ROUNDS;
        for (int32_t round = 0; round < rounds; round++) {
            assign_nearest(q, distinct, size);
            update_centres(q, distinct, size);
        }
        // The palette holds 6-bit components: the last assignment is against the colours as
        // they will be shown.
        for (int32_t k = 0; k < size; k++)
            for (int32_t a = 0; a < 3; a++) {
                int32_t v = encode_reduce8((int32_t)std::lround(q->centre[k][a]));
                palette[k * 3 + a] = (uint8_t)v;
                q->centre[k][a] = encode_expand6(v);
            }
        assign_nearest(q, distinct, size);
    }
    for (int32_t p = 0; p < pixel_count; p++) {
        const uint8_t *c = rgb + p * 3;
        int32_t key = colour_key(c);
        indices[p] = q->owner[q->slot[key]];
    }
    for (int32_t i = 0; i < distinct; i++) {
        int32_t key = q->keys[i];
        q->count[key] = 0;
        q->sum[key * 3] = q->sum[key * 3 + 1] = q->sum[key * 3 + 2] = 0;
    }
    return size;
}
