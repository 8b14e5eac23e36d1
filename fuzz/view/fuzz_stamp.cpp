// The stamp with arbitrary picture sizes, layouts and packed date-times: its offsets must stay
// inside the picture it was built for (an allocation of exactly that size), and after every
// update the digits burned in must be the ones the packed time gives, whatever changed.
//
// Input: width and height (16 bits each), a layout byte, then packed times (32 bits each).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "view/render/stamp.h"

namespace {

using namespace orvel;

constexpr std::size_t kMaxInputBytes = 4096;

// The code under test; retarget here when it moves.
void build(view::StampState& s, int width, int height, bool gpu) {
    view::stamp_build(s, width, height, gpu);
}
void update(view::StampState& s, uint32_t packed) { view::stamp_update(s, packed); }
void apply(const view::StampState& s, uint8_t* picture) { view::stamp_apply(s, picture); }

uint32_t le(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5 || size > kMaxInputBytes) return 0;
    // Up to 1,023 x 1,023, so every size class (too small, odd, large) is reached quickly.
    const int width = static_cast<int>(le(data, 2) & 0x3FF);
    const int height = static_cast<int>(le(data + 2, 2) & 0x3FF);
    const bool gpu = (data[4] & 1) != 0;
    const std::size_t bpp = gpu ? 2 : 4;
    auto stamp = std::make_unique<view::StampState>();
    build(*stamp, width, height, gpu);
    // Exactly the picture's bytes, left uninitialised (zeroing megabytes per input would
    // dominate the run time; the stamp only writes).
    const std::unique_ptr<uint8_t[]> picture(new uint8_t[static_cast<std::size_t>(width) * height * bpp]);
    for (std::size_t at = 5; at + 4 <= size; at += 4) {
        const uint32_t packed = le(data + at, 4);
        update(*stamp, packed);
        apply(*stamp, picture.get());
        if (!stamp->enabled) continue;
        // The digits shown are those of the packed time, two per field.
        const int fields[6] = {static_cast<int>(packed & 0x3F),
                               static_cast<int>((packed >> 6) & 0xF),
                               static_cast<int>((packed >> 10) & 0x1F),
                               static_cast<int>((packed >> 15) & 0x1F),
                               static_cast<int>((packed >> 20) & 0x3F),
                               static_cast<int>((packed >> 26) & 0x3F)};
        for (int f = 0; f < 6; ++f) {
            if (stamp->digits[2 * f] != (fields[f] / 10) % 10 ||
                stamp->digits[2 * f + 1] != fields[f] % 10)
                __builtin_trap();
        }
    }
    return 0;
}
