#pragma once
// The software path's one pass from a decoded YUY2 picture to the BGRX picture the renderer
// presents: colour conversion, the nearest-neighbour shrink to the pane and the stamp, straight
// into the renderer's buffer. Only the source rows that are shown are converted.
#include <cstdint>

#include "view/render/stamp.h"

namespace orvel::pane {

// Converts the width x height YUY2 picture `src` into `dst` (out_width x out_height BGRX,
// filler byte 0xFF). With the output smaller than the picture, output pixel (x, y) shows
// source pixel (x * width / out_width, y * height / out_height), rounded down. `stamp` (built
// for the software layout of this picture size, or null) is burned into the converted source
// rows before they are sampled, so the result is what stamping the whole converted picture and
// then shrinking it gives. `row_scratch` holds width * 4 bytes. Both sizes must lie within the
// picture limit; nothing is written otherwise. Any thread.
void yuy2_to_bgrx_fit(const uint8_t* src, int width, int height, uint8_t* dst, int out_width,
                      int out_height, const view::StampState* stamp, uint8_t* row_scratch);

// Burns the stamp's bytes that fall in source row `row` into that row's BGRX bytes. Any
// thread.
void stamp_apply_row(const view::StampState& stamp, int row, int width, uint8_t* row_bgrx);

}  // namespace orvel::pane
