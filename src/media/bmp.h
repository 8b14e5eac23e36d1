#pragma once
// Snapshot pictures as uncompressed BMP files: a 14-byte file header, a 40-byte information
// header and the rows bottom row first, without padding. 24-bit pixels (blue, green, red)
// come from a YUY2 picture (the GPU display path); 32-bit pixels are the BGRX pictures of the
// software display path, stored as they are with their rows put in BMP order.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvel::platform {
class DriveMap;
}

namespace orvel::media {

struct LocalTime;

inline constexpr std::size_t kBmpHeaderBytes = 54;
// Largest picture side and area a snapshot accepts (a decoder's picture is far smaller).
inline constexpr int kBmpMaxSide = 8192;
inline constexpr int64_t kBmpMaxPixels = 4096 * 4096;

// Size of the whole file for a picture, or 0 when the size or depth is not usable (sides
// of 0 or less or above kBmpMaxSide, more than kBmpMaxPixels, depth other than 24 or 32).
std::size_t bmp_file_bytes(int width, int height, int bits_per_pixel);

// The 54 header bytes.
void bmp_write_headers(uint8_t* out, int width, int height, int bits_per_pixel);

// YUY2 (Y0 U Y1 V, top row first) to 24-bit blue-green-red rows, bottom row first:
//   blue = Y + 1.772 (U - 128), green = Y - 0.34414 (U - 128) - 0.71414 (V - 128),
//   red = Y + 1.402 (V - 128), each truncated toward zero and clamped to 0..255.
// `width` is even; `output` holds width * 3 * height bytes.
void yuy2_to_bgr24(int width, int height, uint8_t* output, const uint8_t* picture);

// A 24-bit BMP file of a YUY2 picture of `picture_bytes` bytes. False (and `out` empty) when
// the size is not usable, the width is odd, or the picture holds fewer than width * 2 *
// height bytes.
bool bmp_from_yuy2(const uint8_t* picture, std::size_t picture_bytes, int width, int height,
                   std::vector<uint8_t>& out);
// A 32-bit BMP file of a BGRX picture (4 bytes a pixel, top row first).
bool bmp_from_bgrx(const uint8_t* picture, std::size_t picture_bytes, int width, int height,
                   std::vector<uint8_t>& out);

// Creates or replaces `path` with `bytes`. False with errno set on failure.
bool write_whole_file(const std::string& path, const std::vector<uint8_t>& bytes);

// Writes a live snapshot under its automatic name (C:\DVR\QEV_image\<local time>.bmp through
// the drive mapping), creating the folders. The path written goes to `written`. False (with
// errno) when the drive is not mapped or a folder or the file cannot be made.
bool snapshot_write_auto(const platform::DriveMap& drives, const LocalTime& now,
                         const std::vector<uint8_t>& bmp, std::string& written);

}  // namespace orvel::media
