#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "../support/temp_dir.h"
#include "platform/ini_file.h"

namespace orvel::platform {
namespace {

TEST(PlatformInt, ParsesLikeThePlatform) {
    EXPECT_EQ(parse_platform_int("9000"), 9000);
    EXPECT_EQ(parse_platform_int("  \t-12abc"), -12);
    EXPECT_EQ(parse_platform_int("+7"), 7);
    EXPECT_EQ(parse_platform_int("abc"), 0);
    EXPECT_EQ(parse_platform_int(""), 0);
    EXPECT_EQ(parse_platform_int("-"), 0);
    EXPECT_EQ(parse_platform_int("12 34"), 12);
    EXPECT_EQ(parse_platform_int("0x10"), 0);
    EXPECT_EQ(parse_platform_int("99999999999999999999"), 2147483647);
    EXPECT_EQ(parse_platform_int("-99999999999999999999"), -2147483647 - 1);
}

TEST(IniText, LookupIsCaseInsensitiveAndTakesTheFirstOccurrence) {
    const char* text =
        "; comment\r\n"
        "[Play]\r\n"
        "  Display = GDI  \r\n"
        "display=second\r\n"
        "[other]\n"
        "x=1\n"
        "[PLAY]\n"
        "late=1\n";
    std::string value;
    ASSERT_TRUE(ini_lookup(text, "PLAY", "DISPLAY", value));
    EXPECT_EQ(value, "GDI");
    // Only the first section of a name is searched.
    EXPECT_FALSE(ini_lookup(text, "play", "late", value));
    EXPECT_FALSE(ini_lookup(text, "missing", "x", value));
    EXPECT_FALSE(ini_lookup(text, "other", "y", value));
    // A key outside any section is not in a section.
    EXPECT_FALSE(ini_lookup("k=v\n", "", "k", value));
}

TEST(IniText, WriteReplacesInsertsAndAppends) {
    std::string text = "[A]\nk1=old\n\n[B]\nz=9\n";
    text = ini_with_value(text, "a", "K1", "new");
    text = ini_with_value(text, "A", "k2", "two");
    text = ini_with_value(text, "C", "c", "three");
    std::string v;
    ASSERT_TRUE(ini_lookup(text, "A", "k1", v));
    EXPECT_EQ(v, "new");
    ASSERT_TRUE(ini_lookup(text, "A", "k2", v));
    EXPECT_EQ(v, "two");
    ASSERT_TRUE(ini_lookup(text, "B", "z", v));
    EXPECT_EQ(v, "9");
    ASSERT_TRUE(ini_lookup(text, "C", "c", v));
    EXPECT_EQ(v, "three");
    // The replaced key keeps its place, the new key follows the section's last entry.
    EXPECT_EQ(text, "[A]\nK1=new\nk2=two\n\n[B]\nz=9\n\n[C]\nc=three\n");
}

TEST(IniFile, MissingFileGivesDefaultsCutToSize) {
    test::TempDir dir;
    IniFile ini(dir.file("none.ini"));
    EXPECT_EQ(ini.get_string("S", "k", "default", 64), "default");
    EXPECT_EQ(ini.get_string("S", "k", "default", 4), "def");
    EXPECT_EQ(ini.get_string("S", "k", "default", 0), "");
    EXPECT_EQ(ini.get_int("S", "k", 42), 42);
    EXPECT_FALSE(std::filesystem::exists(ini.path()));
}

TEST(IniFile, ValuesAreCutToSizeMinusOne) {
    test::TempDir dir;
    IniFile ini(dir.write("a.ini", "[NETWORK]\nip0=192.168.100.200.1234\nport=abc\nn=\n"));
    EXPECT_EQ(ini.get_string("network", "IP0", "", 20), "192.168.100.200.123");
    EXPECT_EQ(ini.get_string("network", "IP0", "", 1), "");
    EXPECT_EQ(ini.get_int("NETWORK", "port", 5), 0);  // present but not a number
    EXPECT_EQ(ini.get_int("NETWORK", "n", 5), 0);     // present and empty
}

TEST(IniFile, WriteCreatesFolderAndPrivateFileAtomically) {
    test::TempDir dir;
    const auto path = dir.path() / "cfg" / "sub" / "orvelcam.ini";
    IniFile ini(path);
    ASSERT_TRUE(ini.write_string("LOCATION", "num", "1"));
    ASSERT_TRUE(ini.write_int("LOCATION", "port10", 9000));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(test::TempDir::read(path), "[LOCATION]\nnum=1\nport10=9000\n");
    // No temporary file is left behind.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(path.parent_path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(IniFile, RewriteMakesAnExistingWorldReadableFilePrivate) {
    test::TempDir dir;
    const auto path = dir.write("o.ini", "[X]\na=1\n");
    ::chmod(path.c_str(), 0644);
    IniFile ini(path);
    ASSERT_TRUE(ini.write_string("X", "b", "2"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(IniFile, UnsafeNamesAreRefusedAndLineBreaksEndValues) {
    test::TempDir dir;
    IniFile ini(dir.file("u.ini"));
    EXPECT_FALSE(ini.write_string("A]", "k", "v"));
    EXPECT_FALSE(ini.write_string("A", "k=x", "v"));
    EXPECT_FALSE(ini.write_string("A", "", "v"));
    EXPECT_FALSE(ini.write_string("A\n[B", "k", "v"));
    EXPECT_FALSE(ini.write_string("A", "[k", "v"));
    // A value holding a line break cannot smuggle a key or section into the file.
    ASSERT_TRUE(ini.write_string("A", "pw", "secret\n[LOCATION]\nnum=99"));
    EXPECT_EQ(ini.get_string("A", "pw", "", 64), "secret");
    EXPECT_EQ(ini.get_int("LOCATION", "num", 0), 0);
}

TEST(IniFile, SeveralKeysLandTogetherOrNotAtAll) {
    test::TempDir dir;
    IniFile ini(dir.file("m.ini"));
    const std::vector<std::pair<std::string, std::string>> good{{"pos0", "A"}, {"num", "1"}};
    ASSERT_TRUE(ini.write_strings("LOCATION", good));
    EXPECT_EQ(test::TempDir::read(ini.path()), "[LOCATION]\npos0=A\nnum=1\n");
    const std::vector<std::pair<std::string, std::string>> bad{{"pos1", "B"}, {"n=um", "2"}};
    EXPECT_FALSE(ini.write_strings("LOCATION", bad));
    EXPECT_EQ(ini.get_string("LOCATION", "pos1", "none", 8), "none");
}

TEST(IniFile, DefaultPathFollowsXdgConfigHome) {
    const char* old_xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old_xdg ? old_xdg : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/xdg-here", 1);
    EXPECT_EQ(IniFile::default_path(), std::filesystem::path("/tmp/xdg-here/orvelcam.ini"));
    ::setenv("XDG_CONFIG_HOME", "", 1);
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        EXPECT_EQ(IniFile::default_path(), std::filesystem::path(home) / ".config/orvelcam.ini");
    }
    if (old_xdg) {
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

TEST(IniFile, ConcurrentWritersLoseNoKey) {
    test::TempDir dir;
    IniFile ini(dir.file("c.ini"));
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&ini, t] {
            for (int i = 0; i < 10; ++i) {
                ini.write_int("T" + std::to_string(t), "k" + std::to_string(i), i);
            }
        });
    }
    for (auto& w : writers) w.join();
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(ini.get_int("T" + std::to_string(t), "k" + std::to_string(i), -1), i);
        }
    }
}

}  // namespace
}  // namespace orvel::platform
