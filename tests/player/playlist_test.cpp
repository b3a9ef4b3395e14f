// Turning the command line into the playlist.
#include "platform/cmdline.h"
#include "platform/headless/headless.h"
#include "player/player.h"
#include "tests/player/movies.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

class Playlist : public testing::Test
{
  protected:
    void SetUp() override
    {
        std::string dir = testing::TempDir() + "playlistXXXXXX";
        ASSERT_NE(mkdtemp(&dir[0]), nullptr);
        folder = dir;
        ASSERT_EQ(getcwd(old, sizeof old), old);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        for (const char *name : {"x.mov", "y.mov", "z.mov", "w.mov", "v.mov", "tv.mov"})
            touch(name);
    }
    void TearDown() override { EXPECT_EQ(chdir(old), 0); }
    static void touch(const char *name)
    {
        FILE *f = fopen(name, "w");
        ASSERT_NE(f, nullptr);
        fclose(f);
    }
    std::vector<std::string> list(const char *line)
    {
        playlist_build(line);
        return std::vector<std::string>(playlist, playlist + playlist_length);
    }
    std::vector<std::string> args(const std::vector<std::string> &names)
    {
        std::vector<const char *> v;
        v.reserve(names.size());
        for (const std::string &n : names)
            v.push_back(n.c_str());
        playlist_build_args((int32_t)v.size(), v.data());
        return std::vector<std::string>(playlist, playlist + playlist_length);
    }
    std::string folder;
    char old[4096];
};

using V = std::vector<std::string>;

TEST_F(Playlist, NamesAreSplitAtBlanksAndTheOnesThatOpenKept)
{
    EXPECT_EQ(list(""), V{"tv.mov"});
    EXPECT_EQ(list("x.mov y.mov"), (V{"x.mov", "y.mov"}));
    EXPECT_EQ(list("x.mov  y.mov"), (V{"x.mov", "y.mov"}));
    EXPECT_EQ(list(" x.mov "), V{"x.mov"});
    EXPECT_EQ(list("no.mov gone.mov y.mov"), V{"y.mov"});
    EXPECT_EQ(list("no.mov"), V{});
    EXPECT_EQ(list("x.mov\ty.mov"), V{}); // a tab belongs to the name
}

TEST_F(Playlist, ALeadingQuoteCutsAtTheLastQuote)
{
    EXPECT_EQ(list("\"x.mov\" y.mov"), V{"x.mov"});
    EXPECT_EQ(list("\"x.mov"), V{"tv.mov"});
    EXPECT_EQ(list("\""), V{"tv.mov"});
    EXPECT_EQ(list("\"x.mov y.mov\" z.mov"), (V{"x.mov", "y.mov"}));
}

TEST_F(Playlist, AtMostFourNamesAndTheLineIsCutToItsBuffer)
{
    EXPECT_EQ(list("x.mov y.mov z.mov w.mov v.mov x.mov"), (V{"x.mov", "y.mov", "z.mov", "w.mov"}));
    // Unopenable names do not take places of the list.
    EXPECT_EQ(list("a b c d x.mov e y.mov"), (V{"x.mov", "y.mov"}));
    std::string blanks = "x.mov" + std::string(2000, ' ') + "y.mov";
    EXPECT_EQ(list(blanks.c_str()), V{"x.mov"});
    std::string many;
    for (int32_t i = 0; i < 400; i++)
        many += "x.mov ";
    EXPECT_EQ(list(many.c_str()).size(), 4u);
    std::string huge(5000, 'q');
    EXPECT_EQ(list(huge.c_str()), V{});
}

TEST_F(Playlist, EachArgumentIsOneNameBlanksAndQuotesIncluded)
{
    touch("My Trailer.mov");
    touch("\"q.mov\"");
    touch("My");
    EXPECT_EQ(args({}), V{"tv.mov"});
    EXPECT_EQ(args({"My Trailer.mov"}), V{"My Trailer.mov"});
    EXPECT_EQ(args({"\"q.mov\"", "x.mov"}), (V{"\"q.mov\"", "x.mov"}));
    EXPECT_EQ(args({"", "no.mov", " x.mov", "y.mov"}), V{"y.mov"});
    EXPECT_EQ(args({"x.mov", "y.mov", "z.mov", "no.mov", "w.mov", "v.mov"}),
              (V{"x.mov", "y.mov", "z.mov", "w.mov"}));
    // The one-string form still splits what it is given.
    EXPECT_EQ(list("My Trailer.mov"), V{"My"});
}

TEST_F(Playlist, AnArgumentLongerThanTheBufferIsRefusedNotCut)
{
    HeadlessConfig c = headless_defaults();
    c.quiet_boxes = 1;
    headless_reset(&c);
    // A file whose name is the first 1023 bytes of the argument: a cut would play it.
    std::string prefix;
    while (prefix.size() < 1000) {
        prefix += std::string(99, 'd') + "/";
        ASSERT_EQ(mkdir(prefix.c_str(), 0755), 0);
    }
    prefix += std::string(COMMAND_LINE_BYTES - 1 - prefix.size(), 'f');
    ASSERT_EQ(prefix.size(), 1023u);
    touch(prefix.c_str());
    EXPECT_EQ(args({prefix}), V{prefix}); // 1023 bytes and the zero: it fits
    EXPECT_EQ(args({prefix + "x", "x.mov"}), V{"x.mov"});
    std::vector<HeadlessBox> boxes = headless_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Achtung");
    EXPECT_EQ(boxes[0].text.find("Movie name too long for the command line (1024 bytes, 1023 "
                                 "left), skipped: dddd"),
              0u)
        << boxes[0].text;
    // Names share the buffer: one that no longer fits behind the others is refused too.
    EXPECT_EQ(args({"x.mov", prefix, "y.mov"}), (V{"x.mov", "y.mov"}));
    EXPECT_EQ(headless_boxes().size(), 2u);
    headless_reset(nullptr);
}

} // namespace
