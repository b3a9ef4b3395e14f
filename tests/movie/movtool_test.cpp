// movtool info and dump, run as a user would run them.
#include "movie/movie.h"
#include "tests/support/cli.h"
#include "tests/support/record_gen.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

CliRun movtool(const std::string &args)
{
    return cli_run(std::string(MOVTOOL_PATH) + " " + args);
}

std::string temp(const char *name)
{
    return testing::TempDir() + "movtool_test_" + name;
}

TEST(Movtool, InfoListsRecordsAndTheirFaults)
{
    Bytes movie = gen_movie(GEN_SHAPES, 3);
    ASSERT_FALSE(movie.empty());
    movie[MOVIE_RECORD_SIZE + 0] = 0xFF; // record 1: colour count far too large
    movie[MOVIE_RECORD_SIZE + 1] = 0xFF;
    movie.resize(movie.size() + 10);
    const std::string path = temp("info.mov");
    ASSERT_TRUE(gen_write_file(path.c_str(), movie));
    const CliRun r = movtool("info " + path);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("records: 3"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("duration: 0.480 s"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("trailing bytes ignored: 10"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1   65535"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("damaged: colour count plus packed length exceed 39500 bytes"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("well formed: 2 of 3"), std::string::npos) << r.out;
}

TEST(Movtool, AFileLongerThanTheReachOfAMovieIsReportedWhole)
{
    // 3 GiB, sparse: 73548 whole records, of which the first 49032 lie within the 2^31 - 1
    // bytes a movie's length can say.
    const std::string path = temp("huge.mov");
    ASSERT_TRUE(gen_write_file(path.c_str(), gen_movie(GEN_SHAPES, 2)));
    ASSERT_EQ(truncate(path.c_str(), 3LL << 30), 0);
    // The head of the listing is enough: reading 2 GiB of holes tells nothing more.
    const CliRun info = movtool("info " + path + " | head -n 10");
    EXPECT_NE(info.out.find("bytes: 3221225472\nrecords: 73548\nduration: 11767.680 s\n"),
              std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("out of reach: records 49032 to 73547 lie past byte 2147483647"),
              std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("      0 "), std::string::npos) << info.out;
    const CliRun screen = movtool("screen " + path + " 60000 A 565 320x200 " + temp("huge.raw"));
    EXPECT_EQ(screen.status, 1) << screen.out;
    EXPECT_NE(screen.out.find("record 60000 lies past byte 2147483647"), std::string::npos)
        << screen.out;
    unlink(path.c_str());
}

TEST(Movtool, DumpIsWhatTheDecoderHandsOut)
{
    Bytes movie = gen_movie(GEN_NOISE, 2);
    movie[MOVIE_RECORD_SIZE + 769 + 5] ^= 0xFF; // damage the second record's colour list only
    const std::string path = temp("dump.mov");
    const std::string out = temp("dump.raw");
    ASSERT_TRUE(gen_write_file(path.c_str(), movie));
    const CliRun r = movtool("dump " + path + " " + out);
    EXPECT_EQ(r.status, 0) << r.out;
    const Bytes dump = cli_read_file(out);
    ASSERT_EQ(dump.size(), 2u * (128000 + 744 + 3528));
    Bytes pictures(128000);
    uint8_t palette[744], sound[3528];
    gen_scene(GEN_NOISE, 0, pictures.data(), palette, sound);
    EXPECT_TRUE(std::equal(pictures.begin(), pictures.end(), dump.begin()));
    EXPECT_TRUE(std::equal(palette, palette + 744, dump.begin() + 128000));
    EXPECT_TRUE(std::equal(sound, sound + 3528, dump.begin() + 128744));
    // The damaged record is still dumped, as decoded.
    Bytes codes(16000), second(128000);
    movie_decode_record(movie.data() + MOVIE_RECORD_SIZE, MOVIE_RECORD_SIZE, codes.data(),
                        second.data(), nullptr);
    EXPECT_TRUE(std::equal(second.begin(), second.end(), dump.begin() + 132272));
}

TEST(Movtool, InfoOnAWholeNumberOfRecordsNamesNoTrailingBytes)
{
    const std::string path = temp("whole.mov");
    ASSERT_TRUE(gen_write_file(path.c_str(), gen_movie(GEN_SHAPES, 2)));
    const CliRun r = movtool("info " + path);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("records: 2"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("trailing"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("well formed: 2 of 2"), std::string::npos) << r.out;
}

TEST(Movtool, DumpThatCannotWriteLeavesNothingBehind)
{
    // A file size limit makes the writes fail part-way (the signal it raises is ignored, as a
    // full disk would simply refuse them): no dump, no temporary file, an error.
    const std::string dir = temp("full");
    ASSERT_EQ(cli_run("rm -rf '" + dir + "' && mkdir '" + dir + "'").status, 0);
    ASSERT_TRUE(gen_write_file((dir + "/in.mov").c_str(), gen_movie(GEN_SHAPES, 3)));
    const CliRun r = cli_run("cd '" + dir + "' && trap '' XFSZ && ulimit -f 200 && " +
                             std::string(MOVTOOL_PATH) + " dump in.mov out.raw");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("out.raw"), std::string::npos) << r.out;
    EXPECT_EQ(cli_run("ls -A '" + dir + "'").out, "in.mov\n");
}

TEST(Movtool, BadArgumentsAndUnreadableFiles)
{
    EXPECT_EQ(movtool("").status, 2);
    EXPECT_EQ(movtool("frobnicate").status, 2);
    EXPECT_EQ(movtool("info").status, 2);
    EXPECT_EQ(movtool("dump only-one-arg").status, 2);
    EXPECT_EQ(movtool("--help").status, 0);
    EXPECT_EQ(movtool("--version").status, 0);
    // Every command explains itself, rather than taking --help for a file name.
    for (const char *command : {"info", "dump", "encode", "screen", "export"}) {
        const CliRun help = movtool(std::string(command) + " --help");
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_NE(help.out.find(std::string("movtool ") + command), std::string::npos) << command;
    }

    const CliRun missing = movtool("info " + temp("nope.mov"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("nope.mov: No such file or directory"), std::string::npos);

    const std::string out = temp("never.raw");
    std::remove(out.c_str());
    EXPECT_EQ(movtool("dump " + temp("nope.mov") + " " + out).status, 1);
    EXPECT_TRUE(cli_read_file(out).empty());
    EXPECT_EQ(movtool("dump " + temp("nope.mov") + " /nonexistent-dir/x.raw").status, 1);
}

} // namespace
