#include "view/display/pacing.h"

namespace orvel::view {

int32_t capture_delta_ms(uint32_t capture_ms, uint32_t previous_capture_ms) {
    // Unsigned difference read as signed: a backwards step is negative even across wrap.
    const int32_t delta = static_cast<int32_t>(capture_ms - previous_capture_ms);
    if (delta <= 0 || delta > kMaxFrameDeltaMs) return kFallbackDelayMs;
    return delta;
}

int32_t live_frame_delay_ms(uint32_t capture_ms, uint32_t previous_capture_ms,
                            int32_t queued_entries) {
    int32_t delay = capture_delta_ms(capture_ms, previous_capture_ms);
    if (queued_entries > 5) {
        if (delay > 100)
            delay -= 30;
        else if (delay > 60)
            delay -= 20;
        else if (delay > 30)
            delay -= 10;
    }
    return delay;
}

int32_t remote_frame_delay_ms(const RemotePacingInput& in) {
    if (in.fast_play) return kFastPlayDelayMs;
    int32_t delay = capture_delta_ms(in.capture_ms, in.previous_capture_ms);
    if (in.audio_followed && in.play_state == 1) {
        if (in.queued_audio_buffers < 5)
            delay = delay > 20 ? delay - 20 : delay + delay / 3;
        else if (in.queued_audio_buffers > 9)
            delay += 20;
    }
    return delay;
}

}  // namespace orvel::view
