#pragma once
// Packing of planar 4:2:0 pictures into packed YUY2 (Y0 U Y1 V), the display format of every
// decoder. Each chroma row serves two output rows.
#include <cstddef>
#include <cstdint>

namespace orvel::codec {

struct PlanarPicture {
    const uint8_t* y = nullptr;
    const uint8_t* u = nullptr;
    const uint8_t* v = nullptr;
    int y_stride = 0;
    int u_stride = 0;
    int v_stride = 0;
    int width = 0;
    int height = 0;
};

// Writes `width` x `height` pixels of `picture` (both at most the picture's own size) into
// `output` at `output_stride` bytes per row. An odd last column gets Y and U only, so the row
// never spans more than width * 2 bytes. Any thread; touches only its arguments.
void pack_yuy2(const PlanarPicture& picture, int width, int height, uint8_t* output,
               std::ptrdiff_t output_stride);

// The same conversion, one pixel pair at a time; kept as the reference for tests and benches.
void pack_yuy2_scalar(const PlanarPicture& picture, int width, int height, uint8_t* output,
                      std::ptrdiff_t output_stride);

}  // namespace orvel::codec
