// Knowing a movie by its content: the files have no header and often end in ".mov", so the
// name says nothing. A record is only claimed when everything in it adds up: the packed stream
// unpacks to exactly 16000 valid codes that use exactly the colour list's length, and every
// palette intensity has 6 bits. Random bytes or another format cannot pass that by chance.
#include "tools/gst/cdmovie.h"

bool cdmovie_record_well_formed(const uint8_t *record, uint8_t *codes, uint8_t *pictures)
{
    const uint8_t *palette = record + MOVIE_PALETTE_OFFSET;
    for (int32_t i = 0; i < MOVIE_PALETTE_BYTES; i++)
        if (palette[i] > 63) return false;
    return movie_decode_record(record, MOVIE_RECORD_SIZE, codes, pictures, nullptr) ==
           MOVIE_FAULT_NONE;
}

int32_t cdmovie_typefind_probability(const uint8_t *record0, const uint8_t *record1)
{
    uint8_t *scratch = static_cast<uint8_t *>(g_try_malloc(MOVIE_CODE_COUNT + MOVIE_PICTURES_BYTES));
    if (!scratch) return 0;
    uint8_t *codes = scratch;
    uint8_t *pictures = scratch + MOVIE_CODE_COUNT;
    int32_t sure = 0;
    if (cdmovie_record_well_formed(record0, codes, pictures)) {
        sure = GST_TYPE_FIND_NEARLY_CERTAIN;
        // A damaged second record still leaves a movie, as the player would play it.
        if (record1)
            sure = cdmovie_record_well_formed(record1, codes, pictures) ? GST_TYPE_FIND_MAXIMUM
                                                                        : GST_TYPE_FIND_LIKELY;
    }
    g_free(scratch);
    return sure;
}

static void cdmovie_typefind(GstTypeFind *find, gpointer caps)
{
    const guint64 length = gst_type_find_get_length(find);
    if (length != 0 && length < static_cast<guint64>(MOVIE_RECORD_SIZE)) return;
    // A whole record, sound included: a stream shorter than that is no movie of any record.
    const guint8 *record0 = gst_type_find_peek(find, 0, MOVIE_RECORD_SIZE);
    if (!record0) return;
    const guint8 *record1 = nullptr;
    if (length == 0 || length >= 2 * static_cast<guint64>(MOVIE_RECORD_SIZE))
        record1 = gst_type_find_peek(find, MOVIE_RECORD_SIZE, MOVIE_RECORD_SIZE);
    const int32_t sure = cdmovie_typefind_probability(record0, record1);
    GST_DEBUG("typefind: %d", sure);
    if (sure > 0) gst_type_find_suggest(find, static_cast<guint>(sure), static_cast<GstCaps *>(caps));
}

gboolean cdmovie_typefind_register(GstPlugin *plugin)
{
    GstCaps *caps = gst_caps_new_empty_simple(CDMOVIE_CAPS);
    const gboolean ok = gst_type_find_register(plugin, CDMOVIE_CAPS, GST_RANK_PRIMARY,
                                               cdmovie_typefind, "mov", caps, caps,
                                               reinterpret_cast<GDestroyNotify>(gst_caps_unref));
    return ok;
}
