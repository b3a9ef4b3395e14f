// Movie reader: a movie file is a run of fixed-size frame records, each carrying two packed
// 320x200 pictures, a palette and 160 ms of sound. The reader owns one record, one code and one
// picture buffer per movie and hands out addresses into them, one record at a time.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int32_t MOVIE_SOUND_SIZE = 3528;    // 160 ms at 22050 samples a second
constexpr int32_t MOVIE_SOUND_OFFSET = 40269; // sound chunk within a record
constexpr int32_t MOVIE_RECORD_SIZE = MOVIE_SOUND_OFFSET + MOVIE_SOUND_SIZE; // 43797
constexpr int32_t MOVIE_PALETTE_OFFSET = 4;
constexpr int32_t MOVIE_PALETTE_BYTES = 744; // 248 triples, pixel values 1..248
constexpr int32_t MOVIE_COLOUR_LIST_OFFSET = 769;
constexpr int32_t MOVIE_DATA_AREA = MOVIE_SOUND_OFFSET - MOVIE_COLOUR_LIST_OFFSET; // 39500
constexpr int32_t MOVIE_CODE_COUNT = 16000;      // 160 x 100 blocks
constexpr int32_t MOVIE_PICTURE_BYTES = 64000;   // one 320x200 picture
constexpr int32_t MOVIE_PICTURES_BYTES = 128000; // picture A then picture B
constexpr int32_t MOVIE_RECORD_MS = 160;
// The reader's file length is 32-bit: records that end past this many bytes are out of its
// reach (the first 49032 records, 2 h 10 min, are within it).
constexpr int32_t MOVIE_MAX_LENGTH = INT32_MAX;

// What is wrong with a record, first fault found. A damaged record is still handed out: what
// decoded soundly is kept, every pixel from the first bad block on is 0 (black) in both
// pictures, palette and sound are taken as stored. See README, "Damaged records".
enum MovieFault : int32_t {
    MOVIE_FAULT_NONE = 0,
    MOVIE_FAULT_SHORT_READ,    // the file ended inside the record
    MOVIE_FAULT_OVER_AREA,     // colour count + packed length run into the sound chunk
    MOVIE_FAULT_LZ_TRUNCATED,  // an instruction runs past the packed length
    MOVIE_FAULT_LZ_DISTANCE,   // a copy reaches before the start of the output
    MOVIE_FAULT_LZ_OVERFLOW,   // the stream unpacks to more than 16000 codes
    MOVIE_FAULT_FEW_CODES,     // the stream unpacks to fewer than 16000 codes
    MOVIE_FAULT_BAD_CODE,      // a block code outside 1 to 154
    MOVIE_FAULT_COLOURS_SHORT, // the colour list runs out before the last block
    MOVIE_FAULT_COLOURS_LEFT,  // the colour count is larger than the codes use
};

struct MovieReader {
    int32_t record_size;
    uint8_t *record_buffer;
    uint8_t *code_buffer;
    uint8_t *picture_buffer;
    FILE *file;
    int32_t file_length;
    int32_t record_count;
    int32_t records_read;
    int32_t colour_count;
    int32_t packed_length;
    // The current record's first fault and where it was found (block index for picture
    // faults, output byte for unpacking faults, bytes read for a short read).
    MovieFault fault;
    int32_t fault_at;
};

extern MovieReader movie_reader;

// nullptr when the three buffers were obtained, else "no mem error 01".
const char *movie_alloc();
// Opens the file in "rb" and counts its whole records; a file that cannot be opened or
// measured is a movie of 0 records.
void movie_open(const char *name);
// Same on an already open stream, which the reader then owns (closes at movie_close).
void movie_open_stream(FILE *file);
// Reads and decodes the next record and hands out its picture buffer, palette and sound chunk;
// three nulls once every record was read.
void movie_next_frame(uint8_t **picture, uint8_t **palette, uint8_t **sound);
void movie_read_record();
void movie_close();
void movie_free();

// Decodes one record held in memory, of which the first valid_bytes are present (the rest is
// treated as missing): codes gets the 16000 block codes, pictures both pictures. Returns the
// first fault, with its place in *fault_at when that is not null. Allocates nothing.
MovieFault movie_decode_record(const uint8_t *record, int32_t valid_bytes, uint8_t *codes,
                               uint8_t *pictures, int32_t *fault_at);

const char *movie_fault_text(MovieFault fault);
