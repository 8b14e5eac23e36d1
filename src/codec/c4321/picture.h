#pragma once
// Planar 4:2:0 picture with replicated borders, so that motion-compensated prediction can read
// beyond any edge without bounds checks.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvel::codec::c4321 {

// Border allocated around each plane (32 keeps luma rows on whole cache lines) and the part of
// it that is replicated: vector components lie in -32..31 half pixels, so a 16 x 16 block reads
// at most 16 pixels beyond an edge (15 whole pixels and a half-pixel neighbour), a chroma block
// (vector -16..15 half pixels) at most 8.
inline constexpr int kLumaBorder = 32;
inline constexpr int kChromaBorder = 16;
inline constexpr int kLumaReach = 16;
inline constexpr int kChromaReach = 8;

struct Plane {
    uint8_t* origin = nullptr;  // pixel (0, 0)
    int width = 0;
    int height = 0;
    int stride = 0;
    uint8_t* row(int y) const { return origin + static_cast<ptrdiff_t>(y) * stride; }
};

class Picture {
public:
    // Allocates planes for a coded size (multiples of 16; 0 allowed). Returns false when memory
    // cannot be had.
    bool allocate(int width, int height);
    // Sets every pixel, borders included (luma and both chroma values).
    void fill(uint8_t luma, uint8_t chroma);
    // Replicates the outermost pixels of every plane into its border.
    void extend_edges();
    // The same in two steps: left and right borders of luma rows [first, first + count) and of
    // the matching chroma rows, then (after every row) the top and bottom borders.
    void extend_sides(int first_luma_row, int luma_rows);
    void extend_top_bottom();

    Plane y;
    Plane u;
    Plane v;

private:
    std::vector<uint8_t> storage_;
};

}  // namespace orvel::codec::c4321
