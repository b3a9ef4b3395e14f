#include "movie/movie.h"
#include "platform/readfile.h"
#include "tests/support/record_gen.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

std::string temp_path(const char *name)
{
    return testing::TempDir() + "movie_test_" + name;
}

struct Frame {
    uint8_t *picture;
    uint8_t *palette;
    uint8_t *sound;
};

Frame next()
{
    Frame f{};
    movie_next_frame(&f.picture, &f.palette, &f.sound);
    return f;
}

class Reader : public testing::Test
{
  protected:
    void SetUp() override { ASSERT_EQ(movie_alloc(), nullptr); }
    void TearDown() override
    {
        movie_close();
        movie_free();
    }
    int32_t frames_until_end()
    {
        int32_t n = 0;
        while (next().picture && n < 1000)
            n++;
        return n;
    }
};

TEST_F(Reader, RecordCountComesFromTheLengthAtOpening)
{
    const std::string path = temp_path("lengths.mov");
    ASSERT_TRUE(gen_write_file(path.c_str(), Bytes(43796, 0)));
    movie_open(path.c_str());
    EXPECT_EQ(movie_reader.record_count, 0);
    const Frame f = next();
    EXPECT_EQ(f.picture, nullptr);
    EXPECT_EQ(f.palette, nullptr);
    EXPECT_EQ(f.sound, nullptr);
    movie_close();

    Bytes movie = gen_movie(GEN_SHAPES, 3);
    ASSERT_FALSE(movie.empty());
    movie.resize(movie.size() + 100, 0xAB);
    ASSERT_TRUE(gen_write_file(path.c_str(), movie));
    movie_open(path.c_str());
    EXPECT_EQ(movie_reader.file_length, 3 * 43797 + 100);
    EXPECT_EQ(movie_reader.record_count, 3);
    EXPECT_EQ(frames_until_end(), 3);
    EXPECT_EQ(movie_reader.fault, MOVIE_FAULT_NONE) << "the trailing 100 bytes are never read";
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(next().picture, nullptr) << "keeps yielding nulls";
    EXPECT_EQ(movie_reader.records_read, 3);
}

TEST_F(Reader, AFileLongerThanItsReachCountsTheRecordsWithinIt)
{
    // Sparse files: their length alone matters, no byte past the first record is read. A count
    // taken from a length cut to 32 bits would wrap (4 GiB + 1 record reads as 1 record) or go
    // negative; the reader's is every whole record within its first 2^31 - 1 bytes.
    const std::string path = temp_path("sparse.mov");
    const Bytes first = gen_movie(GEN_SHAPES, 1);
    struct Case {
        int64_t bytes;
        int32_t length, records;
    };
    for (const Case &c :
         {Case{49032LL * 43797 - 1, 49032 * 43797 - 1, 49031}, Case{INT32_MAX, INT32_MAX, 49032},
          Case{(int64_t)INT32_MAX + 1, INT32_MAX, 49032}, Case{3LL << 30, INT32_MAX, 49032},
          Case{(4LL << 30) + 43797, INT32_MAX, 49032}, Case{1LL << 40, INT32_MAX, 49032}}) {
        SCOPED_TRACE(c.bytes);
        ASSERT_TRUE(gen_write_file(path.c_str(), first));
        ASSERT_EQ(truncate(path.c_str(), (off_t)c.bytes), 0) << strerror(errno);
        movie_open(path.c_str());
        EXPECT_EQ(movie_reader.file_length, c.length);
        EXPECT_EQ(movie_reader.record_count, c.records);
        const Frame f = next();
        ASSERT_NE(f.picture, nullptr);
        EXPECT_EQ(movie_reader.fault, MOVIE_FAULT_NONE);
        movie_close();
    }
    unlink(path.c_str());
}

TEST_F(Reader, MissingFileIsAnEmptyMovie)
{
    movie_open(temp_path("does-not-exist.mov").c_str());
    EXPECT_EQ(movie_reader.record_count, 0);
    EXPECT_EQ(next().picture, nullptr);
}

TEST_F(Reader, FolderFifoAndDeviceAreEmptyMoviesAndNeverBlock)
{
    // A FIFO without a writer would block an ordinary open for ever; a folder or a device read
    // as a movie would hand out garbage records.
    const std::string dir = temp_path("a-folder.mov");
    const std::string fifo = temp_path("a-fifo.mov");
    ::rmdir(dir.c_str());
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string &name : {dir, fifo, std::string("/dev/zero")}) {
        movie_open(name.c_str());
        EXPECT_EQ(movie_reader.record_count, 0) << name;
        EXPECT_EQ(next().picture, nullptr) << name;
        movie_close();
    }
    errno = 0;
    EXPECT_EQ(readfile_open(dir.c_str()), nullptr);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(readfile_open(fifo.c_str()), nullptr);
    EXPECT_EQ(errno, EINVAL);
    ::rmdir(dir.c_str());
    ::unlink(fifo.c_str());
}

TEST_F(Reader, HandsOutItsOwnBuffersAndTheDecodedRecord)
{
    const Bytes movie = gen_movie(GEN_GRADIENT, 2);
    const std::string path = temp_path("two.mov");
    ASSERT_TRUE(gen_write_file(path.c_str(), movie));
    movie_open(path.c_str());
    Bytes pictures(128000);
    uint8_t palette[744], sound[3528];
    for (int r = 0; r < 2; r++) {
        const Frame f = next();
        ASSERT_NE(f.picture, nullptr);
        EXPECT_EQ(f.picture, movie_reader.picture_buffer);
        EXPECT_EQ(f.palette, movie_reader.record_buffer + 4);
        EXPECT_EQ(f.sound, movie_reader.record_buffer + 40269);
        gen_scene(GEN_GRADIENT, r, pictures.data(), palette, sound);
        EXPECT_EQ(Bytes(f.picture, f.picture + 128000), pictures) << "record " << r;
        EXPECT_EQ(std::memcmp(f.palette, palette, 744), 0);
        EXPECT_EQ(std::memcmp(f.sound, sound, 3528), 0);
        EXPECT_EQ(movie_reader.fault, MOVIE_FAULT_NONE);
    }
}

TEST_F(Reader, ColourCountIsLittleEndian)
{
    Bytes record(43797, 0);
    record[0] = 0x20;
    record[1] = 0x4E;
    // Packed stream at 769 + 20000: one literal run of 1 code (damaged, but it shows where the
    // reader looked for it).
    record[2] = 2;
    record[20769] = 0x00;
    record[20770] = 1;
    std::fill(record.begin() + 769, record.begin() + 20769, 3);
    const std::string path = temp_path("cc.mov");
    ASSERT_TRUE(gen_write_file(path.c_str(), record));
    movie_open(path.c_str());
    ASSERT_NE(next().picture, nullptr);
    EXPECT_EQ(movie_reader.colour_count, 20000);
    EXPECT_EQ(movie_reader.packed_length, 2);
    EXPECT_EQ(movie_reader.code_buffer[0], 1);
    EXPECT_EQ(movie_reader.fault, MOVIE_FAULT_FEW_CODES);
    EXPECT_EQ(movie_reader.picture_buffer[0], 3) << "the one sound block is shown";
    EXPECT_EQ(movie_reader.picture_buffer[2], 0);
}

TEST_F(Reader, FileThatShrankEndsTheMovieAfterTheCutRecord)
{
    const Bytes movie = gen_movie(GEN_FLAT, 3);
    const std::string path = temp_path("shrink.mov");
    ASSERT_TRUE(gen_write_file(path.c_str(), movie));
    movie_open(path.c_str());
    ASSERT_EQ(movie_reader.record_count, 3);
    // Cut the file inside the second record's sound after it was measured.
    ASSERT_TRUE(gen_write_file(path.c_str(), Bytes(movie.begin(), movie.begin() + 43797 + 41000)));
    Frame f = next();
    ASSERT_NE(f.picture, nullptr);
    EXPECT_EQ(movie_reader.fault, MOVIE_FAULT_NONE);
    f = next();
    ASSERT_NE(f.picture, nullptr);
    EXPECT_EQ(movie_reader.fault, MOVIE_FAULT_SHORT_READ);
    EXPECT_EQ(f.sound[41000 - 40269 - 1], movie[43797 + 41000 - 1]);
    EXPECT_EQ(f.sound[41000 - 40269], 0x80) << "unread sound is silence";
    EXPECT_EQ(next().picture, nullptr);
}

// Damaged records built by hand from a sound one: each gives its fault, stays in bounds, and
// blanks from the first bad block on.
struct Damaged : testing::Test {
    Bytes record = Bytes(43797);
    Bytes codes = Bytes(16000);
    Bytes pictures = Bytes(128000, 0x77);
    int32_t at = -1;
    void SetUp() override
    {
        uint8_t palette[744], sound[3528];
        Bytes p(128000);
        gen_scene(GEN_SHAPES, 0, p.data(), palette, sound);
        ASSERT_TRUE(gen_record(p.data(), palette, sound, record.data()));
    }
    int32_t colour_count() const { return record[0] | record[1] << 8; }
    int32_t packed_length() const { return record[2] | record[3] << 8; }
    void set_lengths(int32_t cc, int32_t pl)
    {
        record[0] = static_cast<uint8_t>(cc), record[1] = static_cast<uint8_t>(cc >> 8);
        record[2] = static_cast<uint8_t>(pl), record[3] = static_cast<uint8_t>(pl >> 8);
    }
    MovieFault decode(int32_t valid = 43797)
    {
        return movie_decode_record(record.data(), valid, codes.data(), pictures.data(), &at);
    }
};

TEST_F(Damaged, SoundRecordDecodesWithoutFault)
{
    EXPECT_EQ(decode(), MOVIE_FAULT_NONE);
}

TEST_F(Damaged, LengthsOverTheArea)
{
    set_lengths(colour_count(), 39500 - colour_count() + 1);
    EXPECT_EQ(decode(), MOVIE_FAULT_OVER_AREA);
    EXPECT_EQ(at, 39501);
    set_lengths(65535, 65535);
    EXPECT_EQ(decode(), MOVIE_FAULT_OVER_AREA);
    EXPECT_EQ(pictures[127999], 0);
}

TEST_F(Damaged, ListAndStreamThatFillTheAreaExactlyAreWellFormed)
{
    // 16000 one-colour blocks, literal-packed in 7500 short runs: 16000 + 23500 = 39500 bytes,
    // up to the first byte of the sound.
    const int32_t cc = 16000;
    Bytes stream;
    for (int i = 0; i < 7500; i++) {
        const int run = i < 1000 ? 3 : 2;
        stream.push_back(static_cast<uint8_t>(run - 1));
        stream.insert(stream.end(), run, 1);
    }
    ASSERT_EQ(cc + static_cast<int32_t>(stream.size()), 39500);
    std::fill(record.begin() + 769, record.begin() + 769 + cc, 9);
    std::copy(stream.begin(), stream.end(), record.begin() + 769 + cc);
    set_lengths(cc, static_cast<int32_t>(stream.size()));
    EXPECT_EQ(decode(), MOVIE_FAULT_NONE) << at;
    EXPECT_EQ(pictures[127999], 9);
    set_lengths(cc, static_cast<int32_t>(stream.size()) + 1);
    EXPECT_EQ(decode(), MOVIE_FAULT_OVER_AREA);
}

TEST_F(Damaged, StreamsThatUnpackToTooFewOrTooManyCodes)
{
    const int32_t cc = colour_count();
    const int32_t pl = packed_length();
    // Drop the last instruction's bytes: fewer codes (or a cut instruction).
    set_lengths(cc, pl - 1);
    const MovieFault f = decode();
    EXPECT_TRUE(f == MOVIE_FAULT_LZ_TRUNCATED || f == MOVIE_FAULT_FEW_CODES) << f;
    EXPECT_LT(at, 16000);
    EXPECT_EQ(pictures[127999], 0);

    // Append a literal run of 2: more than 16000 codes.
    uint8_t *end = record.data() + 769 + cc + pl;
    end[0] = 0x01, end[1] = 1, end[2] = 1;
    set_lengths(cc, pl + 3);
    EXPECT_EQ(decode(), MOVIE_FAULT_LZ_OVERFLOW);
    EXPECT_EQ(at, 16000);
}

TEST_F(Damaged, CopyBeforeTheOutputStartAndInstructionPastTheLength)
{
    const int32_t cc = colour_count();
    uint8_t *stream = record.data() + 769 + cc;
    stream[0] = 0x00, stream[1] = 1, stream[2] = 0x40, stream[3] = 0x00; // D = 4 > 1
    set_lengths(cc, 4);
    EXPECT_EQ(decode(), MOVIE_FAULT_LZ_DISTANCE);
    EXPECT_EQ(at, 1);

    stream[0] = 0x1F; // literal run of 32 with 1 byte left
    set_lengths(cc, 2);
    EXPECT_EQ(decode(), MOVIE_FAULT_LZ_TRUNCATED);
    EXPECT_EQ(at, 0);
    for (uint8_t b : pictures)
        ASSERT_EQ(b, 0);
}

TEST_F(Damaged, BadCodesAndAShortColourList)
{
    // Rewrite the record as 16000 one-colour blocks, literal-packed, then poke it.
    const int32_t cc = 16000;
    set_lengths(cc, 0);
    Bytes stream;
    for (int i = 0; i < 16000; i += 8000) {
        stream.push_back(0x20 | ((8000 - 1) & 31));
        stream.push_back((8000 - 1) >> 5);
        stream.insert(stream.end(), 8000, 1);
    }
    std::fill(record.begin() + 769, record.begin() + 769 + cc, 9);
    std::copy(stream.begin(), stream.end(), record.begin() + 769 + cc);
    set_lengths(cc, static_cast<int32_t>(stream.size()));
    ASSERT_EQ(decode(), MOVIE_FAULT_NONE);

    for (uint8_t bad : std::initializer_list<uint8_t>{0, 155, 255}) {
        record[769 + cc + 2 + 500] = bad;
        EXPECT_EQ(decode(), MOVIE_FAULT_BAD_CODE);
        EXPECT_EQ(at, 500);
        EXPECT_EQ(pictures[2 * 320 * 3 + 2 * 20 - 1], 9);
        EXPECT_EQ(pictures[2 * 320 * 3 + 2 * 20], 0);
    }
    record[769 + cc + 2 + 500] = 1;

    // Code 154 near the end needs seven more colours than the list has.
    record[769 + cc + 2 + 8000 + 2 + 7990] = 154;
    EXPECT_EQ(decode(), MOVIE_FAULT_COLOURS_SHORT);
    EXPECT_GE(at, 15990);

    // A list longer than the codes use.
    record[769 + cc + 2 + 8000 + 2 + 7990] = 1;
    set_lengths(cc, static_cast<int32_t>(stream.size()));
    ASSERT_EQ(decode(), MOVIE_FAULT_NONE);
    Bytes longer(record.begin() + 769 + cc, record.begin() + 769 + cc + stream.size());
    std::copy(longer.begin(), longer.end(), record.begin() + 769 + cc + 1);
    record[769 + cc] = 9;
    set_lengths(cc + 1, static_cast<int32_t>(stream.size()));
    EXPECT_EQ(decode(), MOVIE_FAULT_COLOURS_LEFT);
    EXPECT_EQ(at, 16000);
}

TEST_F(Damaged, AnyCutOfARecordStaysInBounds)
{
    for (int32_t valid : {0, 3, 4, 700, 769, 5000, 40268, 40269, 43796}) {
        const MovieFault f = decode(valid);
        EXPECT_NE(f, MOVIE_FAULT_NONE) << valid;
    }
}

TEST(MovieFaultText, EveryFaultHasWords)
{
    for (int f = MOVIE_FAULT_NONE; f <= MOVIE_FAULT_COLOURS_LEFT; f++)
        EXPECT_STRNE(movie_fault_text(static_cast<MovieFault>(f)), "unknown fault");
}

} // namespace
