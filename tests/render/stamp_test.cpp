#include "view/render/stamp.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace orvel::view {
namespace {

uint32_t packed(int year, int month, int day, int hour, int minute, int second) {
    return static_cast<uint32_t>(year) | static_cast<uint32_t>(month) << 6 |
           static_cast<uint32_t>(day) << 10 | static_cast<uint32_t>(hour) << 15 |
           static_cast<uint32_t>(minute) << 20 | static_cast<uint32_t>(second) << 26;
}

// Pixel (column, row) set by the stamp: the luma byte (GPU layout) or the whole pixel.
std::set<std::pair<int, int>> burned_pixels(const StampState& s, int width, int height) {
    const int bpp = s.bytes_per_pixel;
    std::vector<uint8_t> pic(static_cast<size_t>(width) * height * bpp, 0);
    stamp_apply(s, pic.data());
    std::set<std::pair<int, int>> out;
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            const uint8_t* px = &pic[(static_cast<size_t>(r) * width + c) * bpp];
            if (px[0] == 0xFF) {
                out.insert({c, r});
                if (bpp == 4) {
                    EXPECT_EQ(px[1], 0xFF);
                    EXPECT_EQ(px[2], 0xFF);
                    EXPECT_EQ(px[3], 0) << "filler byte untouched";
                } else {
                    EXPECT_EQ(px[1], 0) << "chroma byte untouched";
                }
            }
        }
    return out;
}

// The stroke cells of a digit glyph, placed with its top-left at (column, row).
std::set<std::pair<int, int>> glyph_cells(int glyph, int column, int row, bool all_cells) {
    std::set<std::pair<int, int>> out;
    const StampGlyph& g = stamp_font()[glyph];
    for (int r = 0; r < kStampGlyphHeight; ++r)
        for (int c = 0; c < kStampGlyphWidth; ++c)
            if (g[r][c] == 1 || (all_cells && g[r][c] != 0)) out.insert({column + c, row + r});
    return out;
}

TEST(Stamp, FontTableShapes) {
    const auto& font = stamp_font();
    // Spot checks against the drawn table: '1' row 2 is "...##...", ':' has edges at row 3 and 6.
    EXPECT_EQ(font[1][2][3], 1);
    EXPECT_EQ(font[1][2][4], 1);
    EXPECT_EQ(font[1][3][3], 2);
    EXPECT_EQ(font[kStampGlyphColon][3][3], 2);
    EXPECT_EQ(font[kStampGlyphColon][6][4], 1);
    for (const auto& g : font) {
        for (int c = 0; c < kStampGlyphWidth; ++c) EXPECT_EQ(g[0][c], 0) << "blank top row";
    }
}

TEST(Stamp, GpuLayoutPlacesDigitsAndSeparators) {
    StampState s;
    stamp_build(s, 704, 576, true);
    ASSERT_TRUE(s.enabled);
    stamp_update(s, packed(9, 3, 7, 10, 59, 59));
    const auto px = burned_pixels(s, 704, 576);
    // Origin: column 568, row 566. Positions in pixels: B = 16 bytes = 8 pixels.
    std::set<std::pair<int, int>> expected;
    const int digits[12] = {0, 9, 0, 3, 0, 7, 1, 0, 5, 9, 5, 9};
    const int byte_offsets[12] = {0, 16, 48, 64, 96, 112, 136, 152, 184, 200, 232, 248};
    for (int i = 0; i < 12; ++i) {
        auto cells = glyph_cells(digits[i], 568 + byte_offsets[i] / 2, 566, false);
        expected.insert(cells.begin(), cells.end());
    }
    const int sep_glyph[4] = {kStampGlyphDash, kStampGlyphDash, kStampGlyphColon, kStampGlyphColon};
    const int sep_bytes[4] = {32, 80, 168, 216};
    for (int i = 0; i < 4; ++i) {
        auto cells = glyph_cells(sep_glyph[i], 568 + sep_bytes[i] / 2, 566, true);
        expected.insert(cells.begin(), cells.end());
    }
    EXPECT_EQ(px, expected);
    EXPECT_EQ(px.begin()->second >= 566, true);
}

TEST(Stamp, SoftwareLayoutShiftsSeparatorsAndWritesWholePixels) {
    StampState s;
    stamp_build(s, 352, 288, false);
    stamp_update(s, packed(26, 12, 8, 0, 0, 0));
    const auto px = burned_pixels(s, 352, 288);
    // B = 32 bytes = 8 pixels; separators sit 8 bytes (2 pixels) further left.
    auto hour_tens = glyph_cells(0, 216 + 232 / 4, 278, false);
    for (const auto& cell : hour_tens) EXPECT_TRUE(px.count(cell)) << cell.first;
    auto first_dash = glyph_cells(kStampGlyphDash, 216 + (64 - 8) / 4, 278, true);
    for (const auto& cell : first_dash) EXPECT_TRUE(px.count(cell)) << cell.first;
}

TEST(Stamp, OnlyChangedFieldsAreRedrawn) {
    StampState s;
    stamp_build(s, 352, 288, true);
    stamp_update(s, packed(9, 3, 7, 10, 59, 59));
    // Empty every digit position's list: a position that is redrawn gets its glyph back.
    auto clear_digits = [&] {
        for (int p = 0; p < 12; ++p) s.positioned[static_cast<size_t>(p)].count = 0;
    };
    auto redrawn = [&](int p) { return s.positioned[static_cast<size_t>(p)].count > 0; };
    clear_digits();
    stamp_update(s, packed(9, 3, 7, 11, 0, 0));  // hour, minute and second change
    for (int p = 0; p < 6; ++p) EXPECT_FALSE(redrawn(p)) << "date position " << p;
    for (int p = 6; p < 12; ++p) EXPECT_TRUE(redrawn(p)) << "time position " << p;
    const uint8_t after[6] = {1, 1, 0, 0, 0, 0};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(s.digits[6 + i], after[i]) << "time digit " << i;

    clear_digits();
    stamp_update(s, packed(9, 3, 7, 11, 0, 1));  // the second only
    for (int p = 0; p < 10; ++p) EXPECT_FALSE(redrawn(p)) << "position " << p;
    EXPECT_TRUE(redrawn(10));
    EXPECT_TRUE(redrawn(11));
    EXPECT_EQ(s.digits[11], 1);
}

TEST(Stamp, DateFollowsMidnight) {
    StampState s;
    stamp_build(s, 352, 288, true);
    stamp_update(s, packed(9, 3, 7, 23, 59, 59));
    stamp_update(s, packed(9, 3, 8, 0, 0, 0));
    EXPECT_EQ(s.digits[4], 0);
    EXPECT_EQ(s.digits[5], 8);
    EXPECT_EQ(s.digits[6], 0);
    EXPECT_EQ(s.digits[7], 0);
}

TEST(Stamp, TooSmallPictureGetsNoStamp) {
    for (auto [w, h] : {std::pair{135, 288}, std::pair{352, 9}, std::pair{0, 0}}) {
        StampState s;
        stamp_build(s, w, h, false);
        EXPECT_FALSE(s.enabled);
        stamp_update(s, packed(9, 3, 7, 1, 2, 3));
        std::vector<uint8_t> pic(static_cast<size_t>(std::max(w * h * 4, 4)), 0);
        stamp_apply(s, pic.data());
        EXPECT_EQ(pic, std::vector<uint8_t>(pic.size(), 0));
    }
    StampState s;
    stamp_build(s, 136, 10, true);
    EXPECT_TRUE(s.enabled) << "the smallest picture that holds the stamp";
    stamp_update(s, packed(9, 3, 7, 1, 2, 3));
    std::vector<uint8_t> pic(136 * 10 * 2, 0);
    stamp_apply(s, pic.data());  // stays inside the buffer (checked under AddressSanitizer)
}

}  // namespace
}  // namespace orvel::view
