#include "view/render/stamp.h"

#include <cstdio>
#include <string_view>

namespace orvel::view {
namespace {

// '#' stroke (1), '+' edge (2), '.' empty (0); ten rows of eight cells per glyph.
constexpr std::string_view kGlyphRows[kStampGlyphCount][kStampGlyphHeight] = {
    {"........", "..####..", ".#++++#.", ".#+..+#.", ".#+..+#.", ".#+..+#.", ".#+..+#.",
     ".#++++#.", "..####..", "........"},
    {"........", "....#...", "...##...", "...+#...", "...+#...", "...+#...", "...+#...",
     "...+#...", "...+#...", "........"},
    {"........", "..####..", ".#++++#.", ".+...+#.", "....+#..", "...+#...", "..+#....",
     ".+#++++.", ".######.", "........"},
    {"........", "..####..", ".#+++.#.", "....+.#.", "...+##..", "....+.#.", ".....+#.",
     ".#+++.#.", "..####..", "........"},
    {"........", ".....+#.", "....+##.", "...+#+#.", "..+#.+#.", ".+#+++#.", ".######.",
     ".....+#.", ".....+#.", "........"},
    {"........", ".######.", ".#+++...", ".#+.....", ".#####..", "...++.#.", ".....+#.",
     ".#+++.#.", "..####..", "........"},
    {"........", "..####..", ".#++++#.", ".#+.....", ".#####..", ".#+++.#.", ".#+..+#.",
     ".#++++#.", "..####..", "........"},
    {"........", ".######.", "..++++#.", "....+#..", "...+#...", "...+#...", "..+#....",
     "..+#....", "..#.....", "........"},
    {"........", "..####..", ".#.++.#.", ".#+..+#.", "..####..", ".#+++.#.", ".#...+#.",
     ".#++++#.", "..####..", "........"},
    {"........", "..#####.", ".#++++#.", ".#+..+#.", ".######.", "...+++#.", ".....+#.",
     ".#++++#.", "..####..", "........"},
    {"........", "........", "........", "........", "..####..", "..++++..", "........",
     "........", "........", "........"},
    {"........", "........", "........", "...+#...", "........", "........", "...+#...",
     "........", "........", "........"},
};

std::array<StampGlyph, kStampGlyphCount> make_font() {
    std::array<StampGlyph, kStampGlyphCount> font{};
    for (int g = 0; g < kStampGlyphCount; ++g)
        for (int r = 0; r < kStampGlyphHeight; ++r)
            for (int c = 0; c < kStampGlyphWidth; ++c) {
                const char cell = kGlyphRows[g][r][c];
                font[g][r][c] = cell == '#' ? 1 : cell == '+' ? 2 : 0;
            }
    return font;
}

// Fills `list` with the glyph's cells (strokes only, or every non-empty cell) at `base`.
void glyph_offsets(StampOffsetList& list, int glyph, bool all_cells, int32_t base, int stride,
                   int bytes_per_pixel) {
    const StampGlyph& g = stamp_font()[glyph];
    list.count = 0;
    for (int r = 0; r < kStampGlyphHeight; ++r)
        for (int c = 0; c < kStampGlyphWidth; ++c) {
            const uint8_t cell = g[r][c];
            if (cell == 1 || (all_cells && cell != 0))
                list.offsets[list.count++] = base + r * stride + c * bytes_per_pixel;
        }
}

void place_digit(StampState& s, int position, int value) {
    // Horizontal byte offset of each digit position; B is one glyph cell row in bytes.
    const int b = 8 * s.bytes_per_pixel;
    static constexpr int kCells[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    static constexpr int kGaps[12] = {0, 0, 16, 16, 32, 32, 40, 40, 56, 56, 72, 72};
    const int extra = kCells[position] * b + kGaps[position];
    const StampOffsetList& src = s.digit_lists[value];
    StampOffsetList& dst = s.positioned[position];
    dst.count = src.count;
    for (int i = 0; i < src.count; ++i) dst.offsets[i] = src.offsets[i] + extra;
    s.digits[position] = static_cast<uint8_t>(value);
}

void place_two(StampState& s, int position, int value) {
    place_digit(s, position, (value / 10) % 10);
    place_digit(s, position + 1, value % 10);
}

constexpr uint32_t kDateMask = 0x7FFFu;          // bits 0-14: year, month, day
constexpr uint32_t kHourMask = 0x1Fu << 15;      // bits 15-19
constexpr uint32_t kMinuteMask = 0x3Fu << 20;    // bits 20-25
constexpr uint32_t kSecondMask = 0x3Fu << 26;    // bits 26-31

}  // namespace

const std::array<StampGlyph, kStampGlyphCount>& stamp_font() {
    static const std::array<StampGlyph, kStampGlyphCount> font = make_font();
    return font;
}

void stamp_build(StampState& s, int picture_width, int picture_height, bool gpu_layout) {
    s = StampState{};
    s.bytes_per_pixel = gpu_layout ? 2 : 4;
    // A picture smaller than the stamp would put offsets before the buffer: no stamp at all.
    if (picture_width < kStampMinWidth || picture_height < kStampMinHeight) return;
    // No buffer holds a larger picture; the bound also keeps the offsets inside 32 bits.
    if (picture_width > kStampMaxSide || picture_height > kStampMaxSide) return;
    const int bpp = s.bytes_per_pixel;
    const int stride = bpp * picture_width;
    const int32_t origin = stride * (picture_height - 10) + bpp * (picture_width - 136);
    s.picture_bytes = stride * picture_height;
    s.enabled = true;

    for (int d = 0; d < 10; ++d) glyph_offsets(s.digit_lists[d], d, false, origin, stride, bpp);
    const int b = 8 * bpp;
    const int x = gpu_layout ? 0 : 8;
    glyph_offsets(s.positioned[12], kStampGlyphDash, true, origin + 2 * b - x, stride, bpp);
    glyph_offsets(s.positioned[13], kStampGlyphDash, true, origin + 4 * b + 16 - x, stride, bpp);
    glyph_offsets(s.positioned[14], kStampGlyphColon, true, origin + 8 * b + 40 - x, stride, bpp);
    glyph_offsets(s.positioned[15], kStampGlyphColon, true, origin + 10 * b + 56 - x, stride,
                  bpp);
    for (int p = 6; p < 12; ++p) place_digit(s, p, 0);
}

void stamp_update(StampState& s, uint32_t packed) {
    if (!s.enabled) return;
    // The date is redrawn whenever it differs from the one shown, so a stream that runs past
    // midnight (or a recording seeked to another day) never shows a stale date.
    if (!s.date_built || (packed & kDateMask) != (s.last_drawn & kDateMask)) {
        s.date_built = true;
        place_two(s, 0, static_cast<int>(packed & 0x3F));
        place_two(s, 2, static_cast<int>((packed >> 6) & 0xF));
        place_two(s, 4, static_cast<int>((packed >> 10) & 0x1F));
        s.last_drawn = (s.last_drawn & ~kDateMask) | (packed & kDateMask);
    }
    if ((packed & kHourMask) != (s.last_drawn & kHourMask)) {
        place_two(s, 6, static_cast<int>((packed >> 15) & 0x1F));
        s.last_drawn = (s.last_drawn & ~kHourMask) | (packed & kHourMask);
    }
    if ((packed & kMinuteMask) != (s.last_drawn & kMinuteMask)) {
        place_two(s, 8, static_cast<int>((packed >> 20) & 0x3F));
        s.last_drawn = (s.last_drawn & ~kMinuteMask) | (packed & kMinuteMask);
    }
    if ((packed & kSecondMask) != (s.last_drawn & kSecondMask)) {
        place_two(s, 10, static_cast<int>((packed >> 26) & 0x3F));
        s.last_drawn = (s.last_drawn & ~kSecondMask) | (packed & kSecondMask);
    }
}

void stamp_apply(const StampState& s, uint8_t* picture) {
    if (!s.enabled || picture == nullptr) return;
    const int extra = s.bytes_per_pixel == 4 ? 2 : 0;
    for (const StampOffsetList& list : s.positioned) {
        for (int i = 0; i < list.count; ++i) {
            const int32_t at = list.offsets[i];
            // Offsets were built for this picture size; the check guards a size change that
            // reached the pipeline before the stamp was rebuilt.
            if (at < 0 || at + extra >= s.picture_bytes) continue;
            picture[at] = 0xFF;
            if (extra) {
                picture[at + 1] = 0xFF;
                picture[at + 2] = 0xFF;
            }
        }
    }
}

std::array<char, 18> stamp_text(uint32_t w) {
    std::array<char, 18> text{};
    std::snprintf(text.data(), text.size(), "%02u-%02u-%02u %02u:%02u:%02u", w & 0x3Fu,
                  (w >> 6) & 0xFu, (w >> 10) & 0x1Fu, (w >> 15) & 0x1Fu, (w >> 20) & 0x3Fu,
                  (w >> 26) & 0x3Fu);
    return text;
}

}  // namespace orvel::view
