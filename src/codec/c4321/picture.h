#pragma once
// Planar 4:2:0 picture with replicated borders, so that motion-compensated prediction can read
// up to 32 luma (16 chroma) pixels beyond any edge without bounds checks.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvel::codec::c4321 {

inline constexpr int kLumaBorder = 32;
inline constexpr int kChromaBorder = 16;

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
