#include "platform/drives.h"

#include <gtest/gtest.h>

#include "../support/temp_dir.h"

namespace orvel::platform {
namespace {

TEST(Drives, CIsHomeUnlessMappedOthersOnlyWhenMapped) {
    test::TempDir dir;
    const auto archive = dir.path() / "archive";
    std::filesystem::create_directories(archive);
    IniFile ini(dir.file("orvelcam.ini"));
    DriveMap drives(ini, dir.path() / "home");
    EXPECT_EQ(drives.root('C'), dir.path() / "home");
    EXPECT_EQ(drives.root('c'), dir.path() / "home");
    EXPECT_FALSE(drives.root('D').has_value());
    EXPECT_EQ(drives.drive_type('D'), DriveType::no_root_dir);
    EXPECT_EQ(drives.drive_type('C'), DriveType::no_root_dir);  // home folder missing

    ASSERT_TRUE(ini.write_string("DRIVES", "d", archive.string()));
    EXPECT_EQ(drives.root('D'), archive);
    EXPECT_EQ(drives.drive_type('d'), DriveType::fixed);
    ASSERT_TRUE(ini.write_string("DRIVES", "C", archive.string()));
    EXPECT_EQ(drives.root('C'), archive);
    EXPECT_FALSE(drives.root('1').has_value());
}

TEST(Drives, WindowsPathsResolveUnderTheRoot) {
    test::TempDir dir;
    IniFile ini(dir.file("orvelcam.ini"));
    DriveMap drives(ini, "/home/op");
    EXPECT_EQ(drives.resolve("C:\\dvr_media\\video\\"),
              std::filesystem::path("/home/op/dvr_media/video/"));
    EXPECT_EQ(drives.resolve("c:\\a\\b.dvr"), std::filesystem::path("/home/op/a/b.dvr"));
    EXPECT_EQ(drives.resolve("C:"), std::filesystem::path("/home/op"));
    EXPECT_FALSE(drives.resolve("E:\\x").has_value());
    EXPECT_FALSE(drives.resolve("relative\\x").has_value());
    EXPECT_FALSE(drives.resolve("C:\\..\\..\\etc\\passwd").has_value());
}

TEST(Drives, SpaceComesFromTheRootsFileSystem) {
    test::TempDir dir;
    IniFile ini(dir.file("orvelcam.ini"));
    DriveMap drives(ini, dir.path());
    const auto space = drives.space('C');
    ASSERT_TRUE(space.has_value());
    EXPECT_GT(space->capacity_bytes, 0u);
    EXPECT_LE(space->free_bytes, space->capacity_bytes);
    EXPECT_FALSE(drives.space('H').has_value());
}

}  // namespace
}  // namespace orvel::platform
