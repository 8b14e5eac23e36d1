#pragma once
// The software path's one pass from a decoded YUY2 picture to the BGRX picture the renderer
// presents: colour conversion, the nearest-neighbour shrink to the pane and the stamp, straight
// into the renderer's buffer. Only the source rows that are shown are converted.
#include <cstdint>

#include "codec/yuy2_pack.h"
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

// The same pass from a decoder's own planar 4:2:0 picture (`src.width` x `src.height`, an even
// width): each shown row is packed into `yuy2_row` (width * 2 bytes) and then converted as
// above, so the result is byte for byte what packing the whole picture first gives, without
// writing the rows that are not shown or reading any of them twice. Any thread.
void planar_to_bgrx_fit(const codec::PlanarPicture& src, uint8_t* dst, int out_width,
                        int out_height, const view::StampState* stamp, uint8_t* row_scratch,
                        uint8_t* yuy2_row);

// Burns the stamp's bytes that fall in source row `row` into that row's BGRX bytes. Any
// thread.
void stamp_apply_row(const view::StampState& stamp, int row, int width, uint8_t* row_bgrx);

}  // namespace orvel::pane
