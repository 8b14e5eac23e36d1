#include "pane/audio_path.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "codec/audio_output.h"
#include "codec/g721.h"

namespace orvel::pane {
namespace {

// One decoder state for the whole process: it starts at zero and is never reset, so audio
// continues smoothly when the heard pane changes.
std::mutex g_audio_lock;
codec::AudioDecoderState g_audio_state;

}  // namespace

void play_audio_blocks(const uint8_t* payload, int payload_bytes, int blocks) {
    if (payload == nullptr || payload_bytes <= 0) return;
    const int whole = std::min(blocks, payload_bytes / kAudioBlockBytes);
    std::lock_guard lock(g_audio_lock);
    for (int i = 0; i < whole; ++i) {
        std::memcpy(g_audio_state.input, payload + i * kAudioBlockBytes, kAudioBlockBytes);
        codec::audio_decode_block(g_audio_state);
        codec::audio_queue_block(g_audio_state.output);
    }
}

}  // namespace orvel::pane
