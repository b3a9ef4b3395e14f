// Knowing a movie by its content: the files have no header and often end in ".mov", so the
// name says nothing. A record is only claimed when everything in it adds up: the packed stream
// unpacks to exactly 16000 valid codes that use exactly the colour list's length, and every
// palette intensity has 6 bits. Random bytes or another format cannot pass that by chance.
#include "tools/gst/cdmovie.h"

#include <initializer_list>

bool cdmovie_record_well_formed(const uint8_t *record, uint8_t *codes, uint8_t *pictures)
{
    const uint8_t *palette = record + MOVIE_PALETTE_OFFSET;
    for (int32_t i = 0; i < MOVIE_PALETTE_BYTES; i++)
        if (palette[i] > 63) return false;
    return movie_decode_record(record, MOVIE_RECORD_SIZE, codes, pictures, nullptr) ==
           MOVIE_FAULT_NONE;
}

// What the start of a record can show before the rest of it has arrived: a colour list of at
// least one colour a block that leaves room for a packed stream, and 6-bit intensities in all
// 744 palette bytes, which random bytes and the other formats' headers do not have.
static bool cdmovie_header_plausible(const uint8_t *record)
{
    const int32_t colour_count = record[0] | record[1] << 8;
    const int32_t packed_length = record[2] | record[3] << 8;
    if (colour_count < MOVIE_CODE_COUNT || packed_length < 1 ||
        colour_count + packed_length > MOVIE_DATA_AREA)
        return false;
    const uint8_t *palette = record + MOVIE_PALETTE_OFFSET;
    for (int32_t i = 0; i < MOVIE_PALETTE_BYTES; i++)
        if (palette[i] > 63) return false;
    return true;
}

int32_t cdmovie_typefind_probability(const uint8_t *start, size_t size)
{
    const size_t record = MOVIE_RECORD_SIZE;
    constexpr size_t header = MOVIE_PALETTE_OFFSET + MOVIE_PALETTE_BYTES;
    if (size < header || !cdmovie_header_plausible(start)) return 0;
    // A stream that only pushes may show the typefinder no more than a few kilobytes.
    if (size < record) return GST_TYPE_FIND_LIKELY;
    uint8_t *scratch =
        static_cast<uint8_t *>(g_try_malloc(MOVIE_CODE_COUNT + MOVIE_PICTURES_BYTES));
    if (!scratch) return 0;
    uint8_t *codes = scratch;
    uint8_t *pictures = scratch + MOVIE_CODE_COUNT;
    int32_t sure = 0;
    if (cdmovie_record_well_formed(start, codes, pictures)) {
        sure = GST_TYPE_FIND_NEARLY_CERTAIN;
        // A damaged second record still leaves a movie, as the player would play it.
        if (size >= 2 * record)
            sure = cdmovie_record_well_formed(start + record, codes, pictures)
                       ? GST_TYPE_FIND_MAXIMUM
                       : GST_TYPE_FIND_LIKELY;
    }
    g_free(scratch);
    return sure;
}

static void cdmovie_typefind(GstTypeFind *find, gpointer caps)
{
    const guint64 length = gst_type_find_get_length(find);
    const guint64 record = MOVIE_RECORD_SIZE;
    // A stream known to be shorter than a record is no movie of any record.
    if (length != 0 && length < record) return;
    // As much of the first two records as is at hand.
    for (const guint64 want :
         {2 * record, record, guint64{4096}, guint64{MOVIE_PALETTE_OFFSET + MOVIE_PALETTE_BYTES}}) {
        if (length != 0 && want > length) continue;
        const guint8 *data = gst_type_find_peek(find, 0, static_cast<guint>(want));
        if (!data) continue;
        const int32_t sure = cdmovie_typefind_probability(data, want);
        GST_DEBUG("%" G_GUINT64_FORMAT " bytes: %d", want, sure);
        if (sure > 0)
            gst_type_find_suggest(find, static_cast<guint>(sure), static_cast<GstCaps *>(caps));
        return;
    }
}

gboolean cdmovie_typefind_register(GstPlugin *plugin)
{
    GstCaps *caps = gst_caps_new_empty_simple(CDMOVIE_CAPS);
    const gboolean ok =
        gst_type_find_register(plugin, CDMOVIE_CAPS, GST_RANK_PRIMARY, cdmovie_typefind, "mov",
                               caps, caps, reinterpret_cast<GDestroyNotify>(gst_caps_unref));
    return ok;
}
