#pragma once
// Frame pacing of the display threads: how long to wait before showing the next video frame.
// Pure functions of the capture times and queue depths, so the rules are testable without
// threads or clocks.
#include <cstdint>

namespace orvel::view {

// A capture-time step that goes backwards, repeats or jumps by more than this is not trusted.
inline constexpr int32_t kMaxFrameDeltaMs = 400;
inline constexpr int32_t kFallbackDelayMs = 40;
// Fixed delay per frame of a remote recording in fast-play mode.
inline constexpr int32_t kFastPlayDelayMs = 80;

// Delay from the previous to this frame's capture time, with the 40 ms fallback.
int32_t capture_delta_ms(uint32_t capture_ms, uint32_t previous_capture_ms);

// Live pacing: the capture delta shortened when more than five entries wait in the ring
// (by 30 ms above 100 ms, 20 ms at 61-100 ms, 10 ms at 31-60 ms), so a backlog drains
// without dropping frames.
int32_t live_frame_delay_ms(uint32_t capture_ms, uint32_t previous_capture_ms,
                            int32_t queued_entries);

// Remote-recording pacing. With the pane's audio being heard, the wave-out queue depth
// steers the video: a nearly empty audio queue speeds video up, a full one slows it down.
struct RemotePacingInput {
    uint32_t capture_ms = 0;
    uint32_t previous_capture_ms = 0;
    bool fast_play = false;
    bool audio_followed = false;  // audio seen on this pane and it is the audio pane
    int32_t queued_audio_buffers = 0;  // 12 minus free wave-out buffers
    int32_t play_state = 1;            // 1 = normal speed
};
int32_t remote_frame_delay_ms(const RemotePacingInput& in);

}  // namespace orvel::view
