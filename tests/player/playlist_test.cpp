// Turning the command line into the playlist.
#include "player/player.h"
#include "tests/player/movies.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

class Playlist : public testing::Test
{
  protected:
    void SetUp() override
    {
        char dir[] = "/tmp/playlistXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        folder = dir;
        ASSERT_EQ(getcwd(old, sizeof old), old);
        ASSERT_EQ(chdir(dir), 0);
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

} // namespace
