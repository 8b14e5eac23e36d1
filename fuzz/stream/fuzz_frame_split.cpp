// Feeds arbitrary stream bytes, in chunks whose sizes the input chooses, through the frame
// splitter of the receiving thread; every queued entry must hold one whole frame at offset 0.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>

#include "net/stream/frame_split.h"

namespace {

struct Ring {
    std::array<std::array<uint8_t, 4096>, 12> ring{};
    int32_t ring_write = 0;
    int32_t ring_fill = 0;
    std::atomic<int32_t> ring_count{0};
    std::atomic<uint8_t> receiving{0};  // a full ring returns at once instead of waiting
};

struct CheckingSink : orvel::net::FrameSink {
    bool dual = false;
    void on_frame(const uint8_t* frame, int bytes) override {
        const int header = dual ? 16 : 12;
        if (bytes < header || bytes > 4096) __builtin_trap();
        if (static_cast<int64_t>(orvel::net::frame_payload_bytes(frame, dual)) + header != bytes)
            __builtin_trap();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 1 << 16) return 0;
    auto r = std::make_unique<Ring>();
    CheckingSink sink;
    sink.dual = (data[0] & 1) != 0;
    size_t at = 1;
    while (at < size) {
        // The next byte picks the chunk length, as a receive of any size would deliver.
        const size_t want = 1 + static_cast<size_t>(data[at++]) * 17u;
        const size_t room = 4096 - static_cast<size_t>(r->ring_fill);
        const size_t n = std::min({want, size - at, room});
        if (n == 0) break;
        std::memcpy(r->ring[static_cast<size_t>(r->ring_write)].data() + r->ring_fill, data + at, n);
        at += n;
        const auto result = orvel::net::frame_split(*r, static_cast<int>(n), sink.dual, &sink);
        if (result == orvel::net::SplitResult::kOversized) break;
        if (r->ring_fill < 0 || r->ring_fill > 4096) __builtin_trap();
        r->ring_count = 0;  // the display thread consumed everything
    }
    return 0;
}
