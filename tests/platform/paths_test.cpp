// Windows paths on the host's file system, and the file services built on them.
#include <gtest/gtest.h>

#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include "platform/cp1252.h"
#include "platform/files.h"
#include "platform/posix/paths.h"
#include "tests/launcher/sandbox.h"

namespace
{

// Every name a search for pattern yields, in its order; none when it finds nothing.
std::vector<std::string> find_all(const char *pattern)
{
    char name[256];
    std::vector<std::string> names;
    FilesFind find = files_find_first(pattern, name, sizeof name);
    if (find == 0) return names;
    do
        names.push_back(name);
    while (files_find_next(find, name, sizeof name));
    files_find_close(find);
    return names;
}

class Paths : public ::testing::Test
{
  protected:
    Sandbox box;
    void SetUp() override
    {
        box = sandbox_make();
        write_file(box.cd / "Trailer" / "filmo.exe", "x");
        write_file(box.drive_c / "Demo" / "Save" / "game.sav", "x");
        write_file(box.cd / "\xC3\x9C"
                            "ber.txt",
                   "x"); // "Über.txt" in UTF-8
        ASSERT_TRUE(paths_configure(box.cd.c_str(), 'e'));
    }
    void TearDown() override { sandbox_remove(box); }
    std::string map(const char *path)
    {
        std::string host;
        return paths_map(path, &host) ? host : std::string("<none>");
    }
};

TEST_F(Paths, DriveLettersBackslashesAndCase)
{
    std::string cd = fs::canonical(box.cd).string();
    EXPECT_EQ(map("E:\\"), cd);
    EXPECT_EQ(map("e:\\TRAILER\\FILMO.EXE"), cd + "/Trailer/filmo.exe");
    EXPECT_EQ(map("E:/trailer/filmo.exe"), cd + "/Trailer/filmo.exe");
    EXPECT_EQ(map("C:\\DEMO\\SAVE\\GAME.SAV"),
              box.prefix.string() + "/dosdevices/c:/Demo/Save/game.sav");
    // What does not exist keeps its spelling, so it can be made.
    EXPECT_EQ(map("C:\\DEMO\\drivers\\dig.ini"),
              box.prefix.string() + "/dosdevices/c:/Demo/drivers/dig.ini");
    // Code page 1252 names meet their UTF-8 spelling on disk, without regard to case.
    EXPECT_EQ(map("E:\\\xFC"
                  "BER.TXT"),
              cd + "/\xC3\x9C"
                   "ber.txt");
    EXPECT_EQ(map("/usr/bin"), "/usr/bin");
}

TEST_F(Paths, AbsoluteAgainstTheCurrentDirectory)
{
    std::string out;
    EXPECT_EQ(paths_current(), "E:\\");
    ASSERT_TRUE(paths_absolute("Trailer\\trailer.mov", &out));
    EXPECT_EQ(out, "E:\\Trailer\\trailer.mov");
    ASSERT_TRUE(files_set_current_directory("c:\\demo"));
    EXPECT_EQ(paths_current(), "C:\\demo");
    ASSERT_TRUE(paths_absolute("..\\..\\..\\x", &out));
    EXPECT_EQ(out, "C:\\x"); // never above the root
    ASSERT_TRUE(paths_absolute(".\\save\\.\\a", &out));
    EXPECT_EQ(out, "C:\\demo\\save\\a");
    ASSERT_TRUE(paths_absolute("\\top", &out));
    EXPECT_EQ(out, "C:\\top");
    ASSERT_TRUE(paths_absolute("C:rel", &out));
    EXPECT_EQ(out, "C:\\demo\\rel");
    ASSERT_TRUE(paths_absolute("E:rel", &out));
    EXPECT_EQ(out, "E:\\rel");
    EXPECT_FALSE(paths_absolute("\\\\server\\share", &out));
    EXPECT_FALSE(paths_absolute("", &out));
    EXPECT_FALSE(paths_absolute("a\nb", &out));
    EXPECT_FALSE(paths_absolute(std::string(2000, 'a').c_str(), &out));
    ASSERT_TRUE(files_set_current_directory("save"));
    EXPECT_EQ(paths_current(), "C:\\demo\\save");
    char buffer[64];
    ASSERT_TRUE(files_get_current_directory(buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "C:\\demo\\save");
    EXPECT_FALSE(files_get_current_directory(buffer, 5));
    ASSERT_TRUE(files_set_current_directory(".."));
    EXPECT_EQ(fs::current_path(), fs::canonical(box.drive_c / "Demo"));
    EXPECT_FALSE(files_set_current_directory("nowhere"));
    EXPECT_FALSE(files_set_current_directory("save\\game.sav"));
    EXPECT_EQ(paths_current(), "C:\\demo");
}

TEST(PathsMatch, WindowsWildcards)
{
    EXPECT_TRUE(paths_match("*.lst", "a.lst"));
    EXPECT_TRUE(paths_match("*.lst", "B.LST"));
    EXPECT_FALSE(paths_match("*.lst", "a.lsta"));
    EXPECT_FALSE(paths_match("*.lst", "a.lst.txt"));
    EXPECT_FALSE(paths_match("*.lst", "lst"));
    EXPECT_TRUE(paths_match("*.*", "noext"));
    EXPECT_TRUE(paths_match("*.*", "."));
    EXPECT_TRUE(paths_match("*.*", "a.b.c"));
    EXPECT_TRUE(paths_match("?.pif", "c.pif"));
    EXPECT_FALSE(paths_match("?.pif", "cc.pif"));
    EXPECT_TRUE(paths_match("\xDC*", "\xFC"
                                     "ber"));
    // Stars that must give back what they took.
    EXPECT_TRUE(paths_match("a*b*c", "aXbYbZc"));
    EXPECT_TRUE(paths_match("*a", "baa"));
    EXPECT_TRUE(paths_match("a**", "a"));
    EXPECT_FALSE(paths_match("a*?", "a"));
    EXPECT_FALSE(paths_match("*x", "xa"));
}

TEST(PathsFold, TwoBytesAreOneLetterExactlyWhenTheirCharactersAreOneInLowerCase)
{
    // The C library's case mapping of the code page's characters is the reference; the
    // letters of the upper half (\xC0 to \xDE, \x8A, \x8C, \x8E, \x9F) included, and the
    // signs among them (\xD7, \xF7) and the letters without a partner (\xDF, \xB5) apart.
    locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    ASSERT_NE(utf8, nullptr);
    auto lower = [&](int b) -> wint_t {
        uint32_t u = cp1252_to_unicode(static_cast<unsigned char>(b));
        // The five unassigned bytes are five different names.
        return u == 0xFFFD ? 0x110000 + b : towlower_l(static_cast<wint_t>(u), utf8);
    };
    int pairs = 0;
    for (int a = 0; a < 256; a++)
        for (int b = a + 1; b < 256; b++) {
            bool one = lower(a) == lower(b);
            pairs += one;
            EXPECT_EQ(paths_equal_folded(std::string(1, static_cast<char>(a)),
                                         std::string(1, static_cast<char>(b))),
                      one)
                << std::hex << a << " " << b;
        }
    EXPECT_EQ(pairs, 26 + 30 + 4);
    freelocale(utf8);
}

TEST(PathsMatch, ManyStarsAgainstALongNameEndInTime)
{
    // Matched by plain recursion this takes longer than the test may run.
    const std::string name(200, 'o');
    EXPECT_FALSE(paths_match("*?*?**?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?x", name.c_str()));
    EXPECT_TRUE(paths_match("*?*?**?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?o", name.c_str()));
}

TEST_F(Paths, FilesBehaveAsTheOriginalsDid)
{
    fs::path demo = box.drive_c / "Demo";
    ASSERT_TRUE(files_set_current_directory("C:\\DEMO"));
    EXPECT_TRUE(files_exists("save\\GAME.SAV"));
    EXPECT_FALSE(files_exists("save")); // a folder is not a file
    EXPECT_FALSE(files_exists("missing"));

    write_file(demo / "ro.cfg", "x");
    chmod((demo / "ro.cfg").c_str(), 0444);
    EXPECT_FALSE(files_delete("ro.cfg"));
    EXPECT_TRUE(fs::exists(demo / "ro.cfg"));
    EXPECT_FALSE(files_delete("save"));
    EXPECT_TRUE(fs::exists(demo / "Save"));

    write_file(box.outside / "t.txt", "keep");
    fs::create_symlink(box.outside / "t.txt", demo / "l.txt");
    fs::create_directory_symlink(box.outside, demo / "ldir");
    EXPECT_TRUE(files_is_link("L.TXT"));
    EXPECT_FALSE(files_is_link("save"));
    EXPECT_TRUE(files_delete("l.txt"));
    EXPECT_FALSE(fs::is_symlink(demo / "l.txt"));
    EXPECT_EQ(read_file(box.outside / "t.txt"), "keep");
    EXPECT_FALSE(files_delete("ldir"));
    EXPECT_TRUE(fs::is_symlink(demo / "ldir"));

    write_file(demo / "full.ini", "data");
    EXPECT_TRUE(files_create_empty("full.ini"));
    EXPECT_EQ(read_file(demo / "full.ini"), "data");
    EXPECT_TRUE(files_create_empty("new.ini"));
    EXPECT_EQ(fs::file_size(demo / "new.ini"), 0u);
    EXPECT_FALSE(files_create_empty("nofolder\\x.ini"));

    const std::vector<std::string> expected = {".",    "..",      "Save",  "full.ini",
                                               "ldir", "new.ini", "ro.cfg"};
    EXPECT_EQ(find_all("*.*"), expected);
    char name[256];
    EXPECT_EQ(files_find_first("*.none", name, sizeof name), 0u);
    EXPECT_EQ(files_find_first("nofolder\\*.*", name, sizeof name), 0u);
    FilesFind find = files_find_first("save\\*.SAV", name, sizeof name);
    ASSERT_NE(find, 0u);
    EXPECT_STREQ(name, "game.sav");
    EXPECT_FALSE(files_find_next(find, name, sizeof name));
    files_find_close(find);

    // A name that does not fit the caller's buffer with its terminator is passed over.
    write_file(demo / "abcdefg", "");
    write_file(demo / "abcdefgh", "");
    char small[9];
    small[8] = 'x';
    std::vector<std::string> fits;
    find = files_find_first("abc*", small, 8);
    ASSERT_NE(find, 0u);
    do
        fits.push_back(small);
    while (files_find_next(find, small, 8));
    files_find_close(find);
    EXPECT_EQ(fits, std::vector<std::string>{"abcdefg"});
    EXPECT_EQ(small[8], 'x');
}

TEST_F(Paths, ReadingAWholeFile)
{
    write_file(box.cd / "data.bin", std::string("a\0b\r\n", 5));
    FilesFile file = files_open_read("E:\\DATA.BIN");
    ASSERT_NE(file, 0u);
    EXPECT_EQ(files_size(file), 5);
    char buffer[8] = {};
    EXPECT_EQ(files_read(file, buffer, sizeof buffer), 5u);
    EXPECT_EQ(std::string(buffer, 5), std::string("a\0b\r\n", 5));
    files_close(file);
    EXPECT_EQ(files_open_read("E:\\Trailer"), 0u);
}

TEST_F(Paths, NamesNoWindowsFileSystemHoldsAreInvisible)
{
    fs::path demo = box.drive_c / "Demo";
    const char *odd[] = {"a\\b.txt", "c:d.txt", "e*.txt", "f?.txt",    "g\".txt",
                         "h<.txt",   "i>.txt",  "j|.txt", "k\x01.txt", "\xff.txt"};
    for (const char *name : odd)
        write_file(demo / name, "odd");
    write_file(demo / "plain.txt", "plain");
    ASSERT_TRUE(files_set_current_directory("C:\\Demo"));
    EXPECT_EQ(find_all("*.txt"), std::vector<std::string>{"plain.txt"});
    // Nor can they be opened, deleted or asked about under any spelling.
    for (const char *path : {"c:d.txt", "C:\\Demo\\c:d.txt", "e*.txt", "j|.txt", "a\\b.txt"}) {
        EXPECT_FALSE(files_exists(path)) << path;
        EXPECT_FALSE(files_delete(path)) << path;
    }
    for (const char *name : odd)
        EXPECT_TRUE(fs::exists(demo / name)) << name;
}

TEST_F(Paths, SeveralSpellingsOfOneNameAlwaysGiveTheSameFile)
{
    fs::path demo = box.drive_c / "Demo";
    write_file(demo / "b.LST", "1");
    write_file(demo / "B.lst", "2");
    write_file(demo / "B.LST", "3");
    ASSERT_TRUE(files_set_current_directory("C:\\Demo"));
    EXPECT_TRUE(files_delete("b.lst")); // the lowest spelling in byte order
    EXPECT_FALSE(fs::exists(demo / "B.LST"));
    std::string host;
    ASSERT_TRUE(paths_map("C:\\DEMO\\b.lst", &host));
    EXPECT_EQ(fs::path(host).filename(), "B.lst");
}

TEST_F(Paths, CurrentDirectoryIsOneFolderForUsAndTheHost)
{
    fs::path demo = box.drive_c / "Demo";
    write_file(box.outside / "x.txt", "x");
    ASSERT_TRUE(files_set_current_directory("C:\\Demo"));
    // A host path names no Windows folder: refused, and nothing moves.
    EXPECT_FALSE(files_set_current_directory(box.outside.c_str()));
    EXPECT_EQ(paths_current(), "C:\\Demo");
    EXPECT_EQ(fs::current_path(), fs::canonical(demo));
    // A drive the prefix does not map is no folder to change into (Z: is still read as the
    // host's root).
    EXPECT_FALSE(files_set_current_directory("Q:\\"));
    EXPECT_FALSE(files_set_current_directory("Z:\\"));
    EXPECT_EQ(paths_current(), "C:\\Demo");
    // A relative change never follows a link, however it is spelled.
    fs::create_directory_symlink(box.outside, demo / "away");
    EXPECT_FALSE(files_set_current_directory("away"));
    EXPECT_FALSE(files_set_current_directory("AWAY\\."));
    EXPECT_EQ(fs::current_path(), fs::canonical(demo));
    // The folder stays ours once entered, even when it is moved away under us: what follows
    // is resolved in it, not in whatever now has its name.
    ASSERT_TRUE(files_set_current_directory("Save"));
    fs::rename(demo / "Save", demo / "Moved");
    fs::create_directory(demo / "Save");
    write_file(demo / "Save" / "other.sav", "x");
    EXPECT_TRUE(files_delete("GAME.SAV"));
    EXPECT_FALSE(fs::exists(demo / "Moved" / "game.sav"));
    EXPECT_TRUE(fs::exists(demo / "Save" / "other.sav"));
}

TEST_F(Paths, DeletesNeverGoThroughALinkedFolder)
{
    fs::path demo = box.drive_c / "Demo";
    write_file(box.outside / "dig.ini", "outside");
    fs::create_directory_symlink(box.outside, demo / "drivers");
    ASSERT_TRUE(files_set_current_directory("C:\\Demo"));
    EXPECT_FALSE(files_delete("drivers\\dig.ini"));
    EXPECT_FALSE(files_delete("C:\\Demo\\drivers\\dig.ini"));
    EXPECT_EQ(files_find_first("drivers\\*.*", nullptr, 0), 0u);
    EXPECT_TRUE(fs::exists(box.outside / "dig.ini"));
    // Reading may follow it: only changes are kept below the folder.
    EXPECT_TRUE(files_exists("drivers\\dig.ini"));
}

TEST_F(Paths, FifoOrDeviceIsNoFileToRead)
{
    ASSERT_EQ(mkfifo((box.cd / "pipe.bmp").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", box.cd / "zero.txt");
    alarm(20); // a blocking open ends the test program rather than hanging it
    EXPECT_EQ(files_open_read("E:\\pipe.bmp"), 0u);
    EXPECT_FALSE(files_exists("E:\\zero.txt"));
    alarm(0);
}

} // namespace
