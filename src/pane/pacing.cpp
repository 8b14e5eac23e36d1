#include "pane/pacing.h"

#include <algorithm>

namespace orvel::pane {

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

namespace {

// The audio queue's steering of playback at normal speed.
int32_t follow_audio(int32_t delay, int32_t queued_audio_buffers) {
    if (queued_audio_buffers < 5) return delay > 20 ? delay - 20 : delay + delay / 3;
    if (queued_audio_buffers > 9) return delay + 20;
    return delay;
}

}  // namespace

int32_t remote_frame_delay_ms(const RemotePacingInput& in) {
    if (in.fast_play) return kFastPlayDelayMs;
    int32_t delay = capture_delta_ms(in.capture_ms, in.previous_capture_ms);
    if (in.audio_followed && in.play_state == 1)
        delay = follow_audio(delay, in.queued_audio_buffers);
    return delay;
}

int32_t local_frame_delay_ms(const LocalPacingInput& in) {
    const int32_t speed = std::clamp(in.speed, 1, 4);
    const int32_t delta = static_cast<int32_t>(in.capture_ms - in.previous_capture_ms);
    int32_t delay = delta < 0 ? kFallbackDelayMs : delta / speed;
    if (delay > kMaxFrameDeltaMs) delay = kFallbackDelayMs;
    if (in.audio_followed && speed == 1) delay = follow_audio(delay, in.queued_audio_buffers);
    return delay;
}

LocalAction local_action(int32_t play_state) {
    if (play_state == kLocalStopped) return LocalAction::end;
    if (play_state == kLocalPaused) return LocalAction::wait;
    return LocalAction::process;
}

int32_t local_state_after_record(int32_t play_state) {
    return play_state == kLocalStep ? kLocalPaused : play_state;
}

int32_t local_state_after_toggle(int32_t play_state) {
    return play_state == kLocalPlaying ? kLocalPaused : kLocalPlaying;
}

int32_t local_state_after_speed(int32_t play_state) {
    return play_state == kLocalFaster || play_state == kLocalStep ? play_state : kLocalFaster;
}

int local_seek_entry(const uint32_t* entry_times_ms, int count, uint32_t target_ms) {
    for (int i = 0; i < count; ++i)
        if (static_cast<uint64_t>(entry_times_ms[i]) + 5000 > target_ms) return i;
    return -1;
}

Clock::time_point schedule_release(Clock::time_point last_release, int32_t delay_ms,
                                   Clock::time_point now, bool catch_up) {
    auto until = last_release + std::chrono::milliseconds(delay_ms);
    if (until < now - std::chrono::milliseconds(kMaxFrameDeltaMs)) until = now;
    if (catch_up && until > now) {
        const auto drift = std::chrono::milliseconds(std::max<int32_t>(2, delay_ms / 10));
        until = std::max(now, until - drift);
    }
    return until;
}

Clock::time_point LivePacer::release_at(uint32_t capture_ms, const PaceContext& context,
                                        Clock::time_point now) {
    const int32_t delay =
        live_frame_delay_ms(capture_ms, previous_capture_ms_, context.queued_entries);
    previous_capture_ms_ = capture_ms;
    last_release_ = schedule_release(last_release_, delay, now, true);
    return last_release_;
}

void LivePacer::restart() {
    previous_capture_ms_ = 0;
    last_release_ = {};
}

Clock::time_point RemotePacer::release_at(uint32_t capture_ms, const PaceContext& context,
                                          Clock::time_point now) {
    RemotePacingInput in;
    in.capture_ms = capture_ms;
    in.previous_capture_ms = previous_capture_ms_;
    in.fast_play = context.fast_play;
    in.audio_followed = context.audio_followed;
    in.queued_audio_buffers = context.queued_audio_buffers;
    in.play_state = context.play_state;
    previous_capture_ms_ = capture_ms;
    last_release_ = schedule_release(last_release_, remote_frame_delay_ms(in), now, false);
    return last_release_;
}

void RemotePacer::restart() {
    previous_capture_ms_ = 0;
    last_release_ = {};
}

Clock::time_point LocalPacer::release_at(uint32_t capture_ms, const PaceContext& context,
                                         Clock::time_point now) {
    LocalPacingInput in;
    in.capture_ms = capture_ms;
    in.previous_capture_ms = previous_capture_ms_;
    in.speed = context.speed;
    in.audio_followed = context.audio_followed;
    in.queued_audio_buffers = context.queued_audio_buffers;
    previous_capture_ms_ = capture_ms;
    last_release_ = schedule_release(last_release_, local_frame_delay_ms(in), now, false);
    return last_release_;
}

void LocalPacer::restart() {
    previous_capture_ms_ = 0;
    last_release_ = {};
}

}  // namespace orvel::pane
