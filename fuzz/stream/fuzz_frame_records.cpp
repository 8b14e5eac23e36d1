// Frame-record headers as the two paths read them: the live display path (the length that
// frame_split cuts by, the flags the display thread tests) and the playback path (the .dvr
// record header parser). Both read the same layouts, so they must agree on the length, the
// kind and the key-frame flag of every record; the capture times then go through the pacing
// rules, which must give a delay inside their bounds whatever the times are.
//
// Input: one byte (bit 0: dual form), then records back to back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/stream_format.h"
#include "net/stream/frame_ring.h"
#include "pane/audio_path.h"
#include "pane/pacing.h"

namespace {

using namespace orvel;

constexpr std::size_t kMaxInputBytes = 1 << 16;

// The parsers under test; retarget here when they move.
media::DvrRecordHeader playback_record(const uint8_t* bytes, bool dual) {
    return media::parse_record_header(bytes, dual);
}
uint32_t live_length(const uint8_t* frame, bool dual) {
    return net::frame_payload_bytes(frame, dual);
}

// What the live display thread takes from an entry's first byte.
bool live_is_audio(uint8_t flags, bool dual) { return dual ? (flags & 0x0F) == 1 : (flags & 1) != 0; }
bool live_is_video(uint8_t flags, bool dual) {
    return dual ? (flags & 0x0F) == 0 || (flags & 0x0F) == 2 : (flags & 1) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > kMaxInputBytes) return 0;
    const bool dual = (data[0] & 1) != 0;
    const std::size_t head = dual ? media::kDualRecordHeaderBytes : media::kStdRecordHeaderBytes;
    uint32_t previous_ms = 0;
    std::size_t at = 1;
    int queued = 0;
    while (size - at >= head) {
        // An exact copy of the header, so a read past it is caught.
        const std::vector<uint8_t> bytes(data + at, data + at + head);
        const media::DvrRecordHeader r = playback_record(bytes.data(), dual);
        const uint32_t length = live_length(bytes.data(), dual);
        if (r.header_bytes != head || r.length_bytes != length) __builtin_trap();
        const bool video = r.kind == media::RecordKind::video;
        const bool audio = r.kind == media::RecordKind::audio;
        if (video != live_is_video(bytes[0], dual) || audio != live_is_audio(bytes[0], dual))
            __builtin_trap();
        if (video && r.payload_bytes != length) __builtin_trap();
        if (audio && r.payload_bytes != media::kAudioRecordBytes) __builtin_trap();
        if (!audio && !video && r.payload_bytes != 0) __builtin_trap();
        if (dual && r.key_frame != ((bytes[0] & 0x80) == 0)) __builtin_trap();

        const std::size_t available = size - at - head;
        const std::size_t payload_bytes = std::min<std::size_t>(r.payload_bytes, available);
        const std::vector<uint8_t> payload(data + at + head, data + at + head + payload_bytes);
        if (audio) {
            pane::play_audio_blocks(payload.data(), static_cast<int>(payload.size()), 1);
        } else if (video) {
            queued = (queued + static_cast<int>(bytes[1])) % 13;
            const int32_t delay = pane::live_frame_delay_ms(r.time_ms, previous_ms, queued);
            if (delay <= 0 || delay > pane::kMaxFrameDeltaMs) __builtin_trap();
            pane::RemotePacingInput in;
            in.capture_ms = r.time_ms;
            in.previous_capture_ms = previous_ms;
            in.fast_play = (bytes[1] & 0x80) != 0;
            in.audio_followed = (bytes[1] & 0x40) != 0;
            in.queued_audio_buffers = bytes[1] % 13;
            in.play_state = (bytes[1] >> 4) & 3;
            const int32_t remote = pane::remote_frame_delay_ms(in);
            if (remote <= 0 || remote > pane::kMaxFrameDeltaMs + 20) __builtin_trap();
            previous_ms = r.time_ms;
        }
        at += head + payload_bytes;
    }
    return 0;
}
