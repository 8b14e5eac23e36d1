#pragma once
// Audio of the pane being heard: G.721 blocks decoded with the one process-wide decoder state
// and queued on the wave output.
#include <cstdint>

namespace orvel::pane {

inline constexpr int kAudioFrameBlocks = 6;   // blocks per standard audio frame (3,072 bytes)
inline constexpr int kAudioBlockBytes = 512;  // G.721 codes of 1024 samples

// Decodes and queues up to `blocks` blocks of `payload` (never past `payload_bytes`).
// Pipeline of the pane being heard (any worker thread). The decoder state is guarded, so a
// change of the heard pane while the old pane's thread is still decoding stays safe.
void play_audio_blocks(const uint8_t* payload, int payload_bytes, int blocks);

}  // namespace orvel::pane
