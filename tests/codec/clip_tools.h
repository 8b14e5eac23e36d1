#pragma once
// Test clips: synthetic moving pictures encoded at test time by libavcodec's mpeg4 encoder or
// libxvidcore's encoder, and libavcodec's own decode of them converted to YUY2 as reference.
#include <cstdint>
#include <vector>

namespace orvel::testing {

using Packet = std::vector<uint8_t>;
using Picture = std::vector<uint8_t>;  // packed YUY2, stride width * 2

// Planar 4:2:0 frame `index` of a deterministic moving test pattern.
std::vector<uint8_t> synthetic_frame(int width, int height, int index);

// `frames` pictures, a key frame every `gop` pictures, no B-frames, time base 1/30.
std::vector<Packet> encode_lavc(int width, int height, int frames, int gop);
std::vector<Packet> encode_xvid(int width, int height, int frames, int gop);

// Decodes the packets with libavcodec (fresh decoder) and converts each output picture to
// YUY2 with a plain loop. One entry per packet; empty when that packet gave no picture.
std::vector<Picture> reference_decode(const std::vector<Packet>& packets);

// Offset of the first picture start code (00 00 01 B6) or group start code (00 00 01 B3), or
// the size when there is none: everything before it is sequence and layer header.
std::size_t first_picture_offset(const Packet& packet);

}  // namespace orvel::testing
