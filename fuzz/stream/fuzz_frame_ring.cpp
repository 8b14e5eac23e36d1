// Feeds arbitrary stream bytes, in chunks whose sizes the input chooses, through the frame
// ring's cutting as the network thread does, with the consumer freeing entries when the input
// says so; every queued entry must hold one whole frame at offset 0, and nothing may be
// written outside the ring.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "net/stream/frame_ring.h"
#include "net/stream/stream_recorder.h"

namespace {

constexpr std::size_t kEntry = 4096;

struct CheckingRecorder : orvel::net::StreamRecorder {
    bool dual = false;
    void on_stream_header(const uint8_t*) override {}
    void on_frame(const uint8_t* frame, std::size_t bytes) override {
        const std::size_t header = dual ? 16 : 12;
        if (bytes < header || bytes > kEntry) __builtin_trap();
        if (orvel::net::frame_payload_bytes(frame, dual) + header != bytes) __builtin_trap();
    }
    void on_stream_end() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 1 << 16) return 0;
    orvel::net::FrameRing ring(4, kEntry);
    CheckingRecorder recorder;
    recorder.dual = (data[0] & 1) != 0;
    size_t at = 1;
    while (at < size) {
        const uint8_t control = data[at++];
        // Odd control bytes let the consumer take one entry first.
        if (control & 1) {
            orvel::net::RingEntryInfo info;
            const uint8_t* front = ring.front(&info);
            if (front != nullptr) {
                if (orvel::net::frame_payload_bytes(front, recorder.dual) +
                        static_cast<uint32_t>(recorder.dual ? 16 : 12) !=
                    info.bytes)
                    __builtin_trap();
                if (ring.pop() &&
                    ring.resume(recorder.dual, &recorder) == orvel::net::SplitResult::kOversized)
                    break;
            }
        }
        const std::span<uint8_t> area = ring.receive_area();
        const size_t want = 1 + static_cast<size_t>(control >> 1) * 33u;
        const size_t n = std::min({want, size - at, area.size()});
        if (n == 0) continue;
        std::memcpy(area.data(), data + at, n);
        at += n;
        if (ring.commit_received(n, recorder.dual, &recorder) ==
            orvel::net::SplitResult::kOversized)
            break;
        if (ring.queued() < 0 || ring.queued() > ring.capacity()) __builtin_trap();
    }
    return 0;
}
