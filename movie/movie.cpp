// Movie reader: one record buffer, one code buffer and one picture buffer per movie; records
// are read strictly in file order, one read call each.
#include "movie/movie.h"
#include "platform/readfile.h"

#include "movie/lz.h"
#include "movie/picture.h"

#include <cstdlib>
#include <cstring>

MovieReader movie_reader;

const char *movie_alloc()
{
    MovieReader &r = movie_reader;
    r.record_size = MOVIE_RECORD_SIZE;
    r.record_buffer = static_cast<uint8_t *>(std::malloc(static_cast<size_t>(r.record_size)));
    r.code_buffer = static_cast<uint8_t *>(std::malloc(MOVIE_CODE_COUNT));
    r.picture_buffer = static_cast<uint8_t *>(std::malloc(MOVIE_PICTURES_BYTES));
    r.fault = MOVIE_FAULT_NONE;
    r.fault_at = 0;
    if (!r.record_buffer || !r.code_buffer || !r.picture_buffer) return "no mem error 01";
    return nullptr;
}

void movie_open_stream(FILE *file)
{
    MovieReader &r = movie_reader;
    r.record_count = 0;
    r.file = file;
    r.file_length = 0;
    if (file) {
        // The length is measured once, in 64 bits whatever the platform; the count it gives
        // bounds every later read. Held at the reader's 32-bit length, it reaches the whole
        // records within the file's first MOVIE_MAX_LENGTH bytes, never a wrapped count.
        int64_t length = readfile_size(file);
        if (length > MOVIE_MAX_LENGTH) length = MOVIE_MAX_LENGTH;
        r.file_length = static_cast<int32_t>(length);
        if (length > 0 && r.record_size > 0)
            r.record_count = static_cast<int32_t>(length / r.record_size);
    }
    r.records_read = 0;
}

void movie_open(const char *name)
{
    movie_open_stream(name ? readfile_open(name) : nullptr);
}

MovieFault movie_decode_record(const uint8_t *record, int32_t valid_bytes, uint8_t *codes,
                               uint8_t *pictures, int32_t *fault_at)
{
    MovieFault fault = MOVIE_FAULT_NONE;
    int32_t where = 0;
    if (valid_bytes < MOVIE_RECORD_SIZE) {
        fault = MOVIE_FAULT_SHORT_READ;
        where = valid_bytes < 0 ? 0 : valid_bytes;
    }
    // What of the colour list and packed stream lies inside both the record's data area and
    // the bytes actually present.
    int32_t area_end = MOVIE_SOUND_OFFSET;
    if (valid_bytes < area_end) area_end = valid_bytes;
    int32_t area = area_end - MOVIE_COLOUR_LIST_OFFSET;
    if (area < 0) area = 0;

    int32_t colour_count = 0;
    int32_t packed_length = 0;
    if (valid_bytes >= 4) {
        colour_count = record[0] | record[1] << 8;
        packed_length = record[2] | record[3] << 8;
    }
    if (colour_count + packed_length > MOVIE_DATA_AREA && fault == MOVIE_FAULT_NONE) {
        fault = MOVIE_FAULT_OVER_AREA;
        where = colour_count + packed_length;
    }
    const int32_t colours_present = colour_count < area ? colour_count : area;
    int32_t packed_present = area - colours_present;
    if (packed_length < packed_present) packed_present = packed_length;

    int32_t code_count = 0;
    const LzStatus lz =
        lz_unpack(codes, MOVIE_CODE_COUNT, record + MOVIE_COLOUR_LIST_OFFSET + colours_present,
                  packed_present, &code_count);
    if (fault == MOVIE_FAULT_NONE) {
        static constexpr MovieFault from_lz[] = {MOVIE_FAULT_NONE, MOVIE_FAULT_LZ_TRUNCATED,
                                                 MOVIE_FAULT_LZ_DISTANCE, MOVIE_FAULT_LZ_OVERFLOW};
        fault = from_lz[lz];
        where = code_count;
    }

    int32_t blocks = 0;
    int32_t used = 0;
    const PictureStatus ps = picture_decode(record + MOVIE_COLOUR_LIST_OFFSET, colours_present,
                                            pictures, codes, code_count, &blocks, &used);
    if (fault == MOVIE_FAULT_NONE && ps != PICTURE_OK) {
        static constexpr MovieFault from_picture[] = {MOVIE_FAULT_NONE, MOVIE_FAULT_BAD_CODE,
                                                      MOVIE_FAULT_COLOURS_SHORT,
                                                      MOVIE_FAULT_FEW_CODES};
        fault = from_picture[ps];
        where = blocks;
    }
    if (fault == MOVIE_FAULT_NONE && used != colour_count) {
        fault = MOVIE_FAULT_COLOURS_LEFT;
        where = used;
    }
    if (fault_at) *fault_at = where;
    return fault;
}

void movie_read_record()
{
    MovieReader &r = movie_reader;
    size_t got = 0;
    if (r.file) got = std::fread(r.record_buffer, 1, static_cast<size_t>(r.record_size), r.file);
    r.records_read++;
    const int32_t valid = static_cast<int32_t>(got);
    if (valid < r.record_size) {
        // The file shrank (or failed) since it was measured. What was not read must not show
        // the previous record: black palette, silent sound. The movie ends after this record.
        uint8_t *b = r.record_buffer;
        for (int32_t i = valid; i < MOVIE_SOUND_OFFSET; i++)
            b[i] = 0;
        for (int32_t i = valid > MOVIE_SOUND_OFFSET ? valid : MOVIE_SOUND_OFFSET; i < r.record_size;
             i++)
            b[i] = 0x80;
        r.record_count = r.records_read;
    }
    r.colour_count = r.record_buffer[0] | r.record_buffer[1] << 8;
    r.packed_length = r.record_buffer[2] | r.record_buffer[3] << 8;
    r.fault =
        movie_decode_record(r.record_buffer, valid, r.code_buffer, r.picture_buffer, &r.fault_at);
}

void movie_next_frame(uint8_t **picture, uint8_t **palette, uint8_t **sound)
{
    MovieReader &r = movie_reader;
    const bool ready = r.record_buffer && r.code_buffer && r.picture_buffer;
    if (!ready || r.records_read >= r.record_count) {
        *picture = nullptr;
        *palette = nullptr;
        *sound = nullptr;
        return;
    }
    movie_read_record();
    *picture = r.picture_buffer;
    *palette = r.record_buffer + MOVIE_PALETTE_OFFSET;
    *sound = r.record_buffer + MOVIE_SOUND_OFFSET;
}

void movie_close()
{
    MovieReader &r = movie_reader;
    if (r.file) std::fclose(r.file);
    r.file = nullptr;
}

void movie_free()
{
    MovieReader &r = movie_reader;
    std::free(r.record_buffer);
    std::free(r.code_buffer);
    std::free(r.picture_buffer);
    r.record_buffer = nullptr;
    r.code_buffer = nullptr;
    r.picture_buffer = nullptr;
}

const char *movie_fault_text(MovieFault fault)
{
    switch (fault) {
    case MOVIE_FAULT_NONE:
        return "well formed";
    case MOVIE_FAULT_SHORT_READ:
        return "the file ends inside the record";
    case MOVIE_FAULT_OVER_AREA:
        return "colour count plus packed length exceed 39500 bytes";
    case MOVIE_FAULT_LZ_TRUNCATED:
        return "an instruction of the packed stream runs past its packed length";
    case MOVIE_FAULT_LZ_DISTANCE:
        return "a copy in the packed stream reaches before the start of its output";
    case MOVIE_FAULT_LZ_OVERFLOW:
        return "the packed stream unpacks to more than 16000 codes";
    case MOVIE_FAULT_FEW_CODES:
        return "the packed stream unpacks to fewer than 16000 codes";
    case MOVIE_FAULT_BAD_CODE:
        return "a block code outside 1 to 154";
    case MOVIE_FAULT_COLOURS_SHORT:
        return "the colour list runs out before the last block";
    case MOVIE_FAULT_COLOURS_LEFT:
        return "the colour count is larger than the block codes use";
    }
    return "unknown fault";
}
