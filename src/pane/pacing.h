#pragma once
// Frame pacing: when each video frame of a pane is shown. The rules are pure functions of
// capture times, queue depths and play states (testable without threads or clocks); the
// Pacer classes keep the little state each pane kind needs and turn a delay into a release
// time on the presentation clock.
//
//   live      capture-time deltas, shortened while more than five frames wait
//   dual      none: main and sub frames are shown as they arrive
//   remote    capture-time deltas, steered by the heard pane's audio queue; 80 ms in fast play
//   local     deltas divided by the speed, the same audio steering at speed 1; pause and step
#include <chrono>
#include <cstdint>

namespace orvel::pane {

using Clock = std::chrono::steady_clock;

// A capture-time step that goes backwards, repeats or jumps by more than this is not trusted.
inline constexpr int32_t kMaxFrameDeltaMs = 400;
inline constexpr int32_t kFallbackDelayMs = 40;
// A frame due this close to now is shown at once: waking the presentation clock for less
// costs more than the few milliseconds of jitter it would remove.
inline constexpr int32_t kReleaseToleranceMs = 4;
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
    bool audio_followed = false;       // audio seen on this pane and it is the audio pane
    int32_t queued_audio_buffers = 0;  // 12 minus free wave-out buffers
    int32_t play_state = 1;            // 1 = normal speed
};
int32_t remote_frame_delay_ms(const RemotePacingInput& in);

// Local-file pacing: the capture delta divided by the speed (1 to 4); a capture time earlier
// than the previous one, or a divided delay above 400 ms, gives 40 ms (equal times give 0).
// At speed 1 the heard pane's audio queue steers it as for remote recordings.
struct LocalPacingInput {
    uint32_t capture_ms = 0;
    uint32_t previous_capture_ms = 0;
    int32_t speed = 1;
    bool audio_followed = false;
    int32_t queued_audio_buffers = 0;
};
int32_t local_frame_delay_ms(const LocalPacingInput& in);

// Play states of a local file, and what its pipeline does with the next record.
enum LocalPlayState : int32_t {
    kLocalStopped = 0,
    kLocalPaused = 1,
    kLocalPlaying = 2,
    kLocalFaster = 3,
    kLocalStep = 4,
};
enum class LocalAction {
    end,      // stopped: the pipeline ends (the pane blanks in the software path)
    wait,     // paused: nothing is read until the state changes
    process,  // read and show the next record
};
LocalAction local_action(int32_t play_state);
// The play state after one record was processed: a single step pauses again.
int32_t local_state_after_record(int32_t play_state);
// Play/pause: playing pauses; anything else plays at speed 1.
int32_t local_state_after_toggle(int32_t play_state);
// A speed command: stopped, paused and playing go faster; faster and step stay.
int32_t local_state_after_speed(int32_t play_state);
// Seek: the first index entry whose time plus 5,000 ms exceeds the target; -1 when none does
// (the file position then stays).
int local_seek_entry(const uint32_t* entry_times_ms, int count, uint32_t target_ms);

// Release time of a paced frame `delay_ms` after the previous release, measured from that
// release rather than from now, so the time spent decoding and drawing does not add up into a
// growing backlog. A pane more than one maximal step behind starts afresh from now. With
// `catch_up` (live streams), a frame that would still be held is released a tenth of its delay
// (at least 2 ms) earlier: a live pane whose schedule lags behind its arrivals - after a burst,
// a slow start - plays 10% fast until its frames are shown as they come, without a jerk.
// Recordings and files keep their exact rate.
Clock::time_point schedule_release(Clock::time_point last_release, int32_t delay_ms,
                                   Clock::time_point now, bool catch_up);

// What a pane tells its pacer about the frame at the head of its queue.
struct PaceContext {
    int32_t queued_entries = 1;        // frames waiting, this one included
    bool audio_followed = false;       // audio seen on this pane and it is the pane heard
    int32_t queued_audio_buffers = 0;  // wave-out buffers queued (12 minus free ones)
    bool fast_play = false;            // remote: fast mode
    int32_t play_state = 1;            // remote: 1 = normal speed; local: its play state
    int32_t speed = 1;                 // local: divisor
};

// One pane's pacing. Called by the pane's pipeline only (one job at a time).
class Pacer {
public:
    virtual ~Pacer() = default;
    // Release time of the video frame captured at `capture_ms`.
    virtual Clock::time_point release_at(uint32_t capture_ms, const PaceContext& context,
                                         Clock::time_point now) = 0;
    // A new stream begins (first header, reconnect, seek).
    virtual void restart() = 0;
};

class LivePacer final : public Pacer {
public:
    Clock::time_point release_at(uint32_t capture_ms, const PaceContext& context,
                                 Clock::time_point now) override;
    void restart() override;

private:
    uint32_t previous_capture_ms_ = 0;
    Clock::time_point last_release_{};
};

class UnpacedPacer final : public Pacer {
public:
    Clock::time_point release_at(uint32_t, const PaceContext&, Clock::time_point now) override {
        return now;
    }
    void restart() override {}
};

class RemotePacer final : public Pacer {
public:
    Clock::time_point release_at(uint32_t capture_ms, const PaceContext& context,
                                 Clock::time_point now) override;
    void restart() override;

private:
    uint32_t previous_capture_ms_ = 0;
    Clock::time_point last_release_{};
};

class LocalPacer final : public Pacer {
public:
    Clock::time_point release_at(uint32_t capture_ms, const PaceContext& context,
                                 Clock::time_point now) override;
    void restart() override;
    // A seek sets the previous time to the index entry's time.
    void seek_to(uint32_t time_ms) { previous_capture_ms_ = time_ms; }

private:
    uint32_t previous_capture_ms_ = 0;
    Clock::time_point last_release_{};
};

}  // namespace orvel::pane
