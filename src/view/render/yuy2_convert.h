#pragma once
// Packed YUY2 (Y0 U Y1 V) to 4-byte BGRX conversion for the software display path.
//
// For each pixel: blue = Y + 1.772 (U - 128), green = Y - 0.34414 (U - 128) - 0.71414 (V - 128),
// red = Y + 1.402 (V - 128), evaluated in single precision in exactly that order, truncated
// toward zero and clamped to 0..255; the fourth byte is 0. The vector routines reach the same
// bytes with exact integer arithmetic (checked for every Y, U, V combination).
#include <cstddef>
#include <cstdint>

namespace orvel::view {

// Converts in place: `picture` holds width * height * 2 bytes of YUY2 and must have room for
// width * height * 4 bytes. Works from the last pixel pair backwards so no source byte is
// overwritten before it is read. Width must be even; an odd width drops the last column.
// Any thread; touches only `picture`.
void yuy2_to_bgrx(uint8_t* picture, int width, int height);

// Converts from `src` (YUY2) to `dst` (BGRX, width * 4 per row); the buffers must not overlap.
void yuy2_to_bgrx_copy(const uint8_t* src, uint8_t* dst, int width, int height);

// Reference routine, one pixel pair at a time, for tests and odd tails.
void yuy2_pair_to_bgrx(const uint8_t in[4], uint8_t out[8]);

// The conversions use 16-pixel AVX2 blocks where the processor has them, else 8-pixel SSE2
// blocks; both give the same bytes. Tests turn AVX2 off to check the SSE2 blocks too. Returns
// whether the processor has AVX2. Any thread (takes effect for conversions started later).
bool yuy2_convert_allow_avx2(bool allowed);

}  // namespace orvel::view
