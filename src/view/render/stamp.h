#pragma once
// Date-and-time stamp burned into the bottom-right corner of every displayed picture:
// "yy-mm-dd hh:mm:ss" as 12 digits and 4 separators drawn from an 8 x 10 glyph font.
//
// The offsets are precomputed per pane when a stream starts (stamp_build) so that burning the
// stamp into a picture is a plain walk over at most 16 x 80 byte offsets (stamp_apply).
#include <array>
#include <cstdint>

namespace orvel::view {

constexpr int kStampGlyphWidth = 8;
constexpr int kStampGlyphHeight = 10;
constexpr int kStampGlyphCount = 12;  // 0-9, '-', ':'
constexpr int kStampGlyphDash = 10;
constexpr int kStampGlyphColon = 11;
constexpr int kStampListCapacity = 81;
constexpr int kStampPositions = 16;  // 12 digits, then "-", "-", ":", ":"
// The stamp occupies the last 136 pixels (GPU layout) of the last 10 rows.
constexpr int kStampMinWidth = 136;
constexpr int kStampMinHeight = 10;
constexpr int kStampMaxSide = 8192;

// Cell values: 0 empty, 1 stroke, 2 edge. Rows top to bottom, 8 cells each.
using StampGlyph = std::array<std::array<uint8_t, kStampGlyphWidth>, kStampGlyphHeight>;
const std::array<StampGlyph, kStampGlyphCount>& stamp_font();

struct StampOffsetList {
    int32_t count = 0;
    std::array<int32_t, kStampListCapacity> offsets{};
};

// Per-pane stamp state, owned by the pane's pipeline: stamp_build, stamp_update and
// stamp_apply all run there, one job at a time (stamp_build when a stream header is applied
// - the first connection and every reconnect - and when the display path changes).
struct StampState {
    std::array<StampOffsetList, 10> digit_lists{};
    std::array<StampOffsetList, kStampPositions> positioned{};
    uint32_t last_drawn = 0;  // PackedDateTime bits of the digits currently in `positioned`
    std::array<uint8_t, 12> digits{};
    bool date_built = false;
    // Set by stamp_build; false when the picture is too small to hold the stamp.
    bool enabled = false;
    int bytes_per_pixel = 2;
    int32_t picture_bytes = 0;  // size of the picture the offsets were built for
};

// gpu_layout: true for the GPU path (2 bytes per pixel, YUY2), false for the software path
// (4 bytes per pixel, BGRX). A picture narrower than 136 or lower than 10 pixels, or with a side
// above 8192, gets no stamp.
void stamp_build(StampState& stamp, int picture_width, int picture_height, bool gpu_layout);

// Refreshes the digits that changed since the last call. `packed` is a PackedDateTime.
void stamp_update(StampState& stamp, uint32_t packed);

// Burns the stamp: 0xFF into each listed byte (and the next two in the software layout).
void stamp_apply(const StampState& stamp, uint8_t* picture);

// The stamp's digits as text, "yy-mm-dd hh:mm:ss" (zero-terminated), for the paths that draw
// the time over a picture instead of into it. `packed` is a PackedDateTime.
std::array<char, 18> stamp_text(uint32_t packed);

}  // namespace orvel::view
