// The install record read from registry files in Wine's text format.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/posix/paths.h"
#include "platform/posix/registry_file.h"
#include "platform/registry.h"
#include "tests/launcher/sandbox.h"

namespace
{

const char sample[] = "WINE REGISTRY Version 2\n"
                      ";; All keys relative to \\\\Machine\n"
                      "\n#arch=win32\n\n"
                      "[Software\\\\Quillon\\\\Zenthor] 1600000000\n"
                      "\"Path\"=\"C:\\\\PARENT\"\n\n"
                      "[Software\\\\Quillon\\\\Zenthor\\\\Inf] 1600000000\n"
                      "#time=1d6a4b2c3d4e5f6\n"
                      "\"Path\"=\"C:\\\\Spiele\\\\Zenthor \\xfc\\\"q\\\"\"\r\n"
                      "\"uninstall\"=str(2):\"C:\\\\U.EXE -fC:\\\\L.TXT\"\n"
                      "\"Count\"=dword:0000002a\n"
                      "\"Blob\"=hex:01,02,\\\n  03,ff\n"
                      "\"Wide\"=\"\\x4e2d\"\n"
                      "@=\"default\"\n"
                      "\"Path\"=\"C:\\\\LATER\"\n"
                      "\n[Software\\\\Quillon\\\\Zenthor\\\\Inf\\\\Deeper] 1600000000\n"
                      "\"Path\"=\"C:\\\\DEEPER\"\n";

std::string value_text(const std::vector<RegistryValue> &values, const char *name)
{
    for (const RegistryValue &v : values)
        if (v.name == name) return std::string(v.data.begin(), v.data.end());
    return "<none>";
}

TEST(RegistryFile, ValuesOfTheKey)
{
    std::vector<RegistryValue> values;
    ASSERT_TRUE(registry_file_parse(sample, std::strlen(sample), "SOFTWARE\\Quillon\\Zenthor\\Inf",
                                    &values));
    // A later line for a name replaces the earlier; escapes and \x characters are undone into
    // code page 1252, with the terminator.
    EXPECT_EQ(value_text(values, "Path"), std::string("C:\\LATER\0", 9));
    EXPECT_EQ(value_text(values, "uninstall"), std::string("C:\\U.EXE -fC:\\L.TXT\0", 20));
    EXPECT_EQ(value_text(values, "Count"), std::string("\x2a\0\0\0", 4));
    EXPECT_EQ(value_text(values, "Blob"), std::string("\x01\x02\x03\xff", 4));
    EXPECT_EQ(value_text(values, "Wide"), std::string("?\0", 2));
    EXPECT_EQ(value_text(values, ""), std::string("default\0", 8));
    EXPECT_EQ(values.size(), 6u);
}

TEST(RegistryFile, EscapesInStrings)
{
    const char text[] = "[A] 1\n\"P\"=\"C:\\\\Zenthor \\xfc\\\"q\\\"\\n\"\n";
    std::vector<RegistryValue> values;
    ASSERT_TRUE(registry_file_parse(text, std::strlen(text), "a", &values));
    EXPECT_EQ(value_text(values, "P"), std::string("C:\\Zenthor \xfc\"q\"\n\0", 17));
}

TEST(RegistryFile, ThirtyTwoBitKeysOfASixtyFourBitPrefix)
{
    const char text[] =
        "[Software\\\\Wow6432Node\\\\Quillon\\\\Zenthor\\\\Inf] 1\n\"Path\"=\"D:\\\\X\"\n";
    std::vector<RegistryValue> values;
    ASSERT_TRUE(
        registry_file_parse(text, std::strlen(text), "SOFTWARE\\Quillon\\Zenthor\\Inf", &values));
    EXPECT_EQ(value_text(values, "Path"), std::string("D:\\X\0", 5));
    EXPECT_FALSE(registry_file_parse(text, std::strlen(text), "SOFTWARE\\Other", &values));
}

TEST(RegistryFile, DamagedTextIsSkippedNotMisread)
{
    const char *texts[] = {
        "[Software\\\\K] 1\n\"Path\"=\"unterminated\n\"Good\"=\"yes\"\n",
        "[Software\\\\K\n\"Path\"=\"x\"\n",
        "[Software\\\\K] 1\n\"Path\"=hex:zz\n\"Good\"=\"yes\"\n",
        "[Software\\\\K] 1\n\"Path\"=\"\\\n\"Good\"=\"yes\"\n",
    };
    for (const char *text : texts) {
        std::vector<RegistryValue> values;
        registry_file_parse(text, std::strlen(text), "Software\\K", &values);
        EXPECT_EQ(value_text(values, "Path"), "<none>") << text;
    }
}

class RegistryApi : public ::testing::Test
{
  protected:
    Sandbox box;
    void SetUp() override { box = sandbox_make(); }
    void TearDown() override
    {
        unsetenv("RUNNER_REGISTRY");
        sandbox_remove(box);
    }
};

TEST_F(RegistryApi, OpenQueryClose)
{
    write_file(box.registry, sample);
    RegistryKey key = 0;
    ASSERT_EQ(registry_open_key("SOFTWARE\\Quillon\\Zenthor\\Inf", &key), REG_ERROR_SUCCESS);
    char buffer[256];
    uint32_t size = sizeof buffer;
    uint32_t type = 0;
    ASSERT_EQ(registry_query_value(key, "PATH", &type, reinterpret_cast<uint8_t *>(buffer), &size),
              REG_ERROR_SUCCESS);
    EXPECT_EQ(type, REG_TYPE_SZ);
    EXPECT_EQ(size, 9u);
    EXPECT_STREQ(buffer, "C:\\LATER");
    // Too small a buffer: nothing copied, the size needed given back.
    std::memset(buffer, 'z', sizeof buffer);
    size = 4;
    EXPECT_EQ(
        registry_query_value(key, "Path", nullptr, reinterpret_cast<uint8_t *>(buffer), &size),
        REG_ERROR_MORE_DATA);
    EXPECT_EQ(size, 9u);
    EXPECT_EQ(buffer[0], 'z');
    size = sizeof buffer;
    EXPECT_EQ(
        registry_query_value(key, "Language", nullptr, reinterpret_cast<uint8_t *>(buffer), &size),
        REG_ERROR_FILE_NOT_FOUND);
    registry_close_key(key);
    EXPECT_EQ(
        registry_query_value(key, "Path", nullptr, reinterpret_cast<uint8_t *>(buffer), &size),
        REG_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(registry_open_key("SOFTWARE\\Nothing", &key), REG_ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApi, FileIsChosenByEnvironment)
{
    EXPECT_EQ(registry_file_path(), box.registry.string());
    unsetenv("RUNNER_REGISTRY");
    EXPECT_EQ(registry_file_path(), (box.prefix / "system.reg").string());
    write_file(box.prefix / "system.reg", sample);
    RegistryKey key = 0;
    EXPECT_EQ(registry_open_key("Software\\Quillon\\Zenthor", &key), REG_ERROR_SUCCESS);
    registry_close_key(key);
    unsetenv("WINEPREFIX");
    const char *home_env = getenv("HOME");
    std::string home = home_env ? home_env : "";
    EXPECT_EQ(registry_file_path(), home + "/.wine/system.reg");
    // Empty variables count as unset, here and for the drives.
    setenv("WINEPREFIX", "", 1);
    setenv("RUNNER_REGISTRY", "", 1);
    EXPECT_EQ(registry_file_path(), home + "/.wine/system.reg");
    EXPECT_EQ(paths_wine_prefix(), home + "/.wine");
    setenv("RUNNER_REGISTRY", (box.root / "missing.reg").c_str(), 1);
    EXPECT_EQ(registry_open_key("Software\\Quillon\\Zenthor", &key), REG_ERROR_FILE_NOT_FOUND);
}

std::string path_value()
{
    RegistryKey key = 0;
    if (registry_open_key("Software\\Quillon\\Zenthor\\Inf", &key) != REG_ERROR_SUCCESS)
        return "<missing>";
    char buffer[256];
    uint32_t size = sizeof buffer;
    int32_t got =
        registry_query_value(key, "Path", nullptr, reinterpret_cast<uint8_t *>(buffer), &size);
    registry_close_key(key);
    return got == REG_ERROR_SUCCESS ? std::string(buffer) : "<no value>";
}

std::string record(const char *path)
{
    return std::string("WINE REGISTRY Version 2\n\n[Software\\\\Quillon\\\\Zenthor\\\\Inf] 1\n") +
           "\"Path\"=\"" + path + "\"\n";
}

void set_modified(const fs::path &file, time_t seconds)
{
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

TEST_F(RegistryApi, FileIsReadAgainOnlyWhenItsSizeTimeOrInodeChanged)
{
    write_file(box.registry, record("C:\\\\AAAA"));
    set_modified(box.registry, 1000000);
    EXPECT_EQ(path_value(), "C:\\AAAA");

    // Same inode, size and modification time (put back on purpose): the change time, which
    // nobody can set, still shows the rewrite.
    {
        std::fstream same(box.registry, std::ios::in | std::ios::out | std::ios::binary);
        same.seekp(static_cast<std::streamoff>(record("C:\\\\").size() - 2));
        same << "BBBB";
    }
    set_modified(box.registry, 1000000);
    EXPECT_EQ(path_value(), "C:\\BBBB");

    {
        std::fstream same(box.registry, std::ios::in | std::ios::out | std::ios::binary);
        same.seekp(static_cast<std::streamoff>(record("C:\\\\").size() - 2));
        same << "bbbb";
    }
    set_modified(box.registry, 1000001);
    EXPECT_EQ(path_value(), "C:\\bbbb"); // time

    write_file(box.registry, record("C:\\\\CCCCC"));
    set_modified(box.registry, 1000001);
    EXPECT_EQ(path_value(), "C:\\CCCCC"); // size

    write_file(box.root / "new.reg", record("C:\\\\DDDDD"));
    set_modified(box.root / "new.reg", 1000001);
    fs::rename(box.root / "new.reg", box.registry);
    EXPECT_EQ(path_value(), "C:\\DDDDD"); // inode

    fs::remove(box.registry);
    EXPECT_EQ(path_value(), "<missing>");
}

// A file dated in the future (a clock set back, an archive unpacked with its dates) is read
// once, then again only when it changes: the answers stay right and the reads stop.
TEST_F(RegistryApi, AFileFromTheFutureIsNotReadAgainAndAgain)
{
    const time_t future = time(nullptr) + 365 * 24 * 3600;
    write_file(box.registry, record("C:\\\\FUTURE"));
    set_modified(box.registry, future);
    EXPECT_EQ(path_value(), "C:\\FUTURE");
    // Just written, the file may still change within the same tick of the file system's clock:
    // it is looked at again until that moment has certainly passed.
    std::this_thread::sleep_for(std::chrono::milliseconds(2200));
    EXPECT_EQ(path_value(), "C:\\FUTURE");
    uint64_t settled = registry_file_reads();
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(path_value(), "C:\\FUTURE");
    EXPECT_EQ(registry_file_reads(), settled);
    // A rewrite of the same size, dated as before, is still seen.
    write_file(box.registry, record("C:\\\\LATEST"));
    set_modified(box.registry, future);
    EXPECT_EQ(path_value(), "C:\\LATEST");
    EXPECT_EQ(registry_file_reads(), settled + 1);
}

// A key with 120,000 values (each name given twice, the later one kept) is read in one pass:
// comparing every value with every earlier one kept the menu from showing for minutes. The
// alarm ends the test should that come back.
TEST(RegistryFile, AKeyWithAHundredAndTwentyThousandValues)
{
    std::string text = "[Software\\\\Quillon\\\\Zenthor\\\\Inf] 1\n";
    constexpr int COUNT = 120000;
    for (int pass = 0; pass < 2; pass++)
        for (int i = 0; i < COUNT; i++)
            text += "\"Value" + std::to_string(i) + (pass ? "\"=\"b\"\n" : "\"=\"a\"\n");
    text += "\"PATH\"=\"C:\\\\A\"\n\"path\"=\"C:\\\\B\"\n";
    alarm(120);
    std::vector<RegistryValue> values;
    ASSERT_TRUE(
        registry_file_parse(text.data(), text.size(), "Software\\Quillon\\Zenthor\\Inf", &values));
    alarm(0);
    ASSERT_EQ(values.size(), static_cast<size_t>(COUNT) + 1);
    EXPECT_EQ(values[0].name, "Value0");
    EXPECT_EQ(value_text(values, "Value119999"), std::string("b\0", 2));
    // A name keeps its first place, with the last line's spelling and data.
    EXPECT_EQ(values.back().name, "path");
    EXPECT_EQ(value_text(values, "path"), std::string("C:\\B\0", 5));
}

TEST_F(RegistryApi, FifoFolderAndOversizedFileCountAsMissing)
{
    // A FIFO without a writer blocked the menu before its window showed; the alarm ends the
    // test instead of hanging it should that come back.
    ASSERT_EQ(mkfifo(box.registry.c_str(), 0644), 0);
    alarm(20);
    EXPECT_EQ(path_value(), "<missing>");
    alarm(0);
    fs::remove(box.registry);

    fs::create_directory(box.registry);
    EXPECT_EQ(path_value(), "<missing>");
    fs::remove(box.registry);

    // Past the documented 32 MB limit; the record at its start would otherwise be found.
    write_file(box.registry, record("C:\\\\BIG") + std::string((32 << 20) + 1, ';'));
    EXPECT_EQ(path_value(), "<missing>");
    write_file(box.registry, record("C:\\\\SMALL"));
    EXPECT_EQ(path_value(), "C:\\SMALL");
}

} // namespace
