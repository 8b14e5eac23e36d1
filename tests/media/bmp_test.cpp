// Snapshot files: the BMP layout, both pixel forms, hostile sizes and the automatic name.
#include "media/bmp.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "../support/temp_dir.h"
#include "media/dvr_file.h"
#include "media/wall_clock.h"
#include "platform/drives.h"
#include "platform/ini_file.h"

namespace orvel::media {
namespace {

std::vector<uint8_t> yuy2_picture(int width, int height, const uint8_t (&pair)[4]) {
    std::vector<uint8_t> p(static_cast<std::size_t>(width) * height * 2);
    for (std::size_t i = 0; i < p.size(); i += 4) std::copy(pair, pair + 4, p.begin() + i);
    return p;
}

TEST(Bmp, CifSnapshotHasTheTwentyFourBitLayoutAndGreyStaysGrey) {
    const uint8_t grey[4] = {0x80, 0x80, 0x80, 0x80};
    const auto picture = yuy2_picture(352, 288, grey);
    std::vector<uint8_t> bmp;
    ASSERT_TRUE(bmp_from_yuy2(picture.data(), picture.size(), 352, 288, bmp));
    ASSERT_EQ(bmp.size(), 54u + 304128u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(load_u32(&bmp[2]), 54u + 304128u);
    EXPECT_EQ(load_u32(&bmp[6]), 0u);
    EXPECT_EQ(load_u32(&bmp[10]), 54u);
    EXPECT_EQ(load_u32(&bmp[14]), 40u);
    EXPECT_EQ(load_u32(&bmp[18]), 352u);
    EXPECT_EQ(load_u32(&bmp[22]), 288u);
    EXPECT_EQ(load_u16(&bmp[26]), 1u);
    EXPECT_EQ(load_u16(&bmp[28]), 24u);
    EXPECT_EQ(load_u32(&bmp[30]), 0u);
    EXPECT_EQ(load_u32(&bmp[34]), 304128u);
    for (std::size_t i = 38; i < 54; ++i) EXPECT_EQ(bmp[i], 0) << i;
    EXPECT_TRUE(std::all_of(bmp.begin() + 54, bmp.end(), [](uint8_t b) { return b == 0x80; }));
}

TEST(Bmp, RowsAreStoredBottomFirstAndValuesTruncateThenClamp) {
    // Top row: a saturated red pair; bottom row: Y 255 with U 255 (blue clamps to 255).
    std::vector<uint8_t> picture = {76, 85, 76, 255, 255, 255, 255, 128};
    std::vector<uint8_t> bmp;
    ASSERT_TRUE(bmp_from_yuy2(picture.data(), picture.size(), 2, 2, bmp));
    const uint8_t* bottom = bmp.data() + 54;
    const uint8_t* top = bottom + 6;
    EXPECT_EQ(std::vector<uint8_t>(top, top + 3), (std::vector<uint8_t>{0, 0, 254}));
    EXPECT_EQ(bottom[0], 255);  // 255 + 1.772 * 127 clamps
    EXPECT_EQ(bottom[2], 255);
    EXPECT_EQ(bottom[1], 211);  // 255 - 0.34414 * 127 = 211.3
}

TEST(Bmp, SoftwarePicturesAreWrittenAsThirtyTwoBitsWithRowsInBmpOrder) {
    const std::vector<uint8_t> picture = {1, 2, 3, 0xFF, 4,  5,  6,  0xFF,   // top row
                                          7, 8, 9, 0xFF, 10, 11, 12, 0xFF};  // bottom row
    std::vector<uint8_t> bmp;
    ASSERT_TRUE(bmp_from_bgrx(picture.data(), picture.size(), 2, 2, bmp));
    ASSERT_EQ(bmp.size(), 54u + 16u);
    EXPECT_EQ(load_u16(&bmp[28]), 32u);
    EXPECT_EQ(load_u32(&bmp[34]), 16u);
    EXPECT_EQ(
        std::vector<uint8_t>(bmp.begin() + 54, bmp.end()),
        (std::vector<uint8_t>{7, 8, 9, 0xFF, 10, 11, 12, 0xFF, 1, 2, 3, 0xFF, 4, 5, 6, 0xFF}));
}

TEST(Bmp, UnusableSizesAndShortPicturesAreRefused) {
    const std::vector<uint8_t> picture(352 * 288 * 4, 0);
    std::vector<uint8_t> bmp{1};
    struct Case {
        int width, height;
        std::size_t bytes;
    };
    for (const Case c : {Case{0, 288, picture.size()}, Case{352, -1, picture.size()},
                         Case{-352, 288, picture.size()}, Case{351, 288, picture.size()},
                         Case{9000, 2, picture.size()}, Case{8192, 8192, picture.size()},
                         Case{352, 288, 352 * 288 * 2 - 1}}) {
        EXPECT_FALSE(bmp_from_yuy2(picture.data(), c.bytes, c.width, c.height, bmp))
            << c.width << "x" << c.height;
        EXPECT_TRUE(bmp.empty());
    }
    EXPECT_FALSE(bmp_from_bgrx(picture.data(), 352 * 288 * 4 - 1, 352, 288, bmp));
    EXPECT_FALSE(bmp_from_yuy2(nullptr, 100, 2, 2, bmp));
    EXPECT_EQ(bmp_file_bytes(INT32_MAX, INT32_MAX, 24), 0u);
    EXPECT_EQ(bmp_file_bytes(16, 16, 16), 0u);
}

TEST(Bmp, LiveSnapshotsGoUnderTheMappedDriveC) {
    orvel::test::TempDir dir;
    platform::IniFile ini(dir.file("orvelcam.ini"));
    std::filesystem::create_directories(dir.file("c"));
    ini.write_string("DRIVES", "C", dir.file("c").string());
    platform::DriveMap drives(ini, "/nonexistent-home");
    const std::vector<uint8_t> bytes = {'B', 'M', 1, 2, 3};
    std::string written;
    ASSERT_TRUE(
        snapshot_write_auto(drives, utc_time(utc_ms(2025, 12, 9, 8, 7, 6, 5)), bytes, written));
    EXPECT_EQ(written, (dir.file("c") / "DVR/QEV_image/2025-12-09-08-07-06-005.bmp").string());
    EXPECT_EQ(orvel::test::TempDir::read(written), "BM\x01\x02\x03");

    // A plain file where the folder belongs: refused, not silently lost.
    std::filesystem::remove_all(dir.file("c") / "DVR");
    std::ofstream(dir.file("c") / "DVR") << "x";
    EXPECT_FALSE(snapshot_write_auto(drives, utc_time(0), bytes, written));
    EXPECT_TRUE(written.empty());
}

}  // namespace
}  // namespace orvel::media
