// The opening of a live stream and its first display steps, as the receiving and display
// threads do them: the 28-byte stream header, the decoders it asks for, then each frame that
// follows decoded into the pane's picture, converted on the software path and stamped.
// The picture is an allocation of exactly the slot's picture bytes, so whatever a header
// makes a decoder or the stamp write past the buffer is an overrun AddressSanitizer reports.
//
// Input: one byte of options (bit 0: GPU layout, else software), the header, then frames in
// the header's record form (standard 12-byte or dual 16-byte headers).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/decoder_table.h"
#include "net/stream/frame_split.h"
#include "net/stream/stream_header.h"
#include "view/display/audio_path.h"
#include "view/render/stamp.h"
#include "view/render/yuy2_convert.h"

namespace {

using namespace orvel;

constexpr std::size_t kMaxInputBytes = 1 << 18;
constexpr int kMaxFrames = 16;

// The parsers under test; retarget here when they move.
net::StreamHeaderFields read_stream_header(const uint8_t* bytes) {
    return net::parse_stream_header(bytes);
}
net::StreamDecoders plan_decoders(const net::StreamHeaderFields& h) {
    return net::decoders_for_header(h);
}
uint32_t frame_payload(const uint8_t* frame, bool dual) {
    return net::frame_payload_bytes(frame, dual);
}

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

struct Pane {
    int sub = -1;   // the standard stream's decoder, or the dual stream's sub decoder
    int main = -1;  // dual stream only
    int width = 0, height = 0, main_width = 0, main_height = 0;
    view::StampState stamp;
    ~Pane() {
        codec::decoder_destroy(sub);
        codec::decoder_destroy(main);
    }
};

// The software path converts in place only when the BGRX picture fits the buffer.
bool bgrx_fits(int width, int height, std::size_t buffer_bytes) {
    return width > 0 && height > 0 &&
           static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4 <= buffer_bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 + net::kStreamHeaderBytes || size > kMaxInputBytes) return 0;
    static const bool initialised = [] {
        codec::decoder_table_init();
        return true;
    }();
    (void)initialised;
    // One allocation of the slot's picture size, reused: a write past it reaches the redzone.
    static std::vector<uint8_t> picture(static_cast<std::size_t>(net::kStreamPictureBufferBytes));

    const bool gpu_layout = (data[0] & 1) != 0;
    const net::StreamHeaderFields header = read_stream_header(data + 1);
    const net::StreamDecoders plan = plan_decoders(header);
    Pane pane;
    if (plan.usable) {
        pane.width = plan.width;
        pane.height = plan.height;
        pane.sub = codec::decoder_create(plan.type, plan.width, plan.height);
        if (plan.dual) {
            pane.main_width = plan.main_width;
            pane.main_height = plan.main_height;
            pane.main = codec::decoder_create(plan.type, plan.main_width, plan.main_height);
        }
    }
    view::stamp_build(pane.stamp, pane.width, pane.height, gpu_layout);

    const bool dual = plan.dual;
    const std::size_t head = dual ? net::kDualFrameHeaderBytes : net::kStdFrameHeaderBytes;
    std::size_t at = 1 + net::kStreamHeaderBytes;
    for (int n = 0; n < kMaxFrames && size - at > head; ++n) {
        const uint8_t* frame = data + at;
        const std::size_t payload_bytes =
            std::min<std::size_t>(frame_payload(frame, dual), size - at - head);
        // An exact copy of the payload, as a ring entry would hold it.
        const std::vector<uint8_t> payload(frame + head, frame + head + payload_bytes);
        const int length = static_cast<int>(payload.size());
        at += head + payload_bytes;
        const int frame_class = dual ? frame[0] & 0x0F : frame[0] & 0x01;
        if (frame_class == 1) {
            view::play_audio_blocks(payload.data(), length, view::kAudioFrameBlocks);
            continue;
        }
        const bool main_picture = dual && frame_class == 0;
        if (dual && frame_class != 0 && frame_class != 2) continue;
        const int handle = main_picture ? pane.main : pane.sub;
        if (handle < 0) continue;
        codec::decoder_decode(handle, length, payload.data(), picture.data());
        const int w = main_picture ? pane.main_width : pane.width;
        const int h = main_picture ? pane.main_height : pane.height;
        if (!gpu_layout && bgrx_fits(w, h, picture.size())) view::yuy2_to_bgrx(picture.data(), w, h);
        if (!main_picture) {
            view::stamp_update(pane.stamp, le32(frame + (dual ? 12 : 8)));
            view::stamp_apply(pane.stamp, picture.data());
        }
    }
    return 0;
}
