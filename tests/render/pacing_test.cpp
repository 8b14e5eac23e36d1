#include "pane/pacing.h"

#include <gtest/gtest.h>

namespace orvel::pane {
namespace {

TEST(Pacing, UntrustedCaptureStepsFallBackTo40ms) {
    EXPECT_EQ(capture_delta_ms(1000, 960), 40);
    EXPECT_EQ(capture_delta_ms(1000, 1000), 40) << "repeat";
    EXPECT_EQ(capture_delta_ms(1000, 1100), 40) << "backwards";
    EXPECT_EQ(capture_delta_ms(1401, 1000), 40) << "jump over 400 ms";
    EXPECT_EQ(capture_delta_ms(1400, 1000), 400);
    EXPECT_EQ(capture_delta_ms(5, 0xFFFFFFF0u), 21) << "millisecond counter wraps";
}

TEST(Pacing, LiveBacklogCatchUp) {
    // Six queued entries shorten the wait; five do not.
    EXPECT_EQ(live_frame_delay_ms(1040, 1000, 6), 30);
    EXPECT_EQ(live_frame_delay_ms(1120, 1000, 6), 90);
    EXPECT_EQ(live_frame_delay_ms(1080, 1000, 6), 60);
    EXPECT_EQ(live_frame_delay_ms(1030, 1000, 6), 30) << "30 ms and less stay";
    EXPECT_EQ(live_frame_delay_ms(1040, 1000, 5), 40);
    EXPECT_EQ(live_frame_delay_ms(1000, 1000, 12), 30) << "fallback 40 ms is shortened too";
}

TEST(Pacing, RemoteFollowsTheAudioQueue) {
    RemotePacingInput in{.capture_ms = 1040, .previous_capture_ms = 1000};
    EXPECT_EQ(remote_frame_delay_ms(in), 40);
    in.audio_followed = true;
    in.queued_audio_buffers = 2;
    EXPECT_EQ(remote_frame_delay_ms(in), 20) << "audio running dry: video hurries";
    in.capture_ms = 1015;
    EXPECT_EQ(remote_frame_delay_ms(in), 20) << "15 ms + 15 / 3";
    in.capture_ms = 1040;
    in.queued_audio_buffers = 10;
    EXPECT_EQ(remote_frame_delay_ms(in), 60) << "audio backing up: video waits";
    in.queued_audio_buffers = 7;
    EXPECT_EQ(remote_frame_delay_ms(in), 40);
    in.queued_audio_buffers = 10;
    in.play_state = 2;
    EXPECT_EQ(remote_frame_delay_ms(in), 40) << "only at normal speed";
    in.fast_play = true;
    EXPECT_EQ(remote_frame_delay_ms(in), 80);
}

TEST(Pacing, LocalDividesBySpeed) {
    LocalPacingInput in{.capture_ms = 1080, .previous_capture_ms = 1000, .speed = 2};
    EXPECT_EQ(local_frame_delay_ms(in), 40) << "80 ms apart at 2x";
    in.capture_ms = 2000;
    EXPECT_EQ(local_frame_delay_ms(in), 40) << "500 exceeds 400";
    in.capture_ms = 1000;
    EXPECT_EQ(local_frame_delay_ms(in), 0) << "equal times are not a step back";
    in.capture_ms = 999;
    EXPECT_EQ(local_frame_delay_ms(in), 40) << "backwards";
    in = {.capture_ms = 1015,
          .previous_capture_ms = 1000,
          .speed = 1,
          .audio_followed = true,
          .queued_audio_buffers = 2};
    EXPECT_EQ(local_frame_delay_ms(in), 20) << "15 + 15 / 3";
    in.queued_audio_buffers = 11;
    EXPECT_EQ(local_frame_delay_ms(in), 35);
    in.speed = 3;
    EXPECT_EQ(local_frame_delay_ms(in), 5) << "the audio only steers at speed 1";
}

TEST(Pacing, LocalPlayStates) {
    EXPECT_EQ(local_action(kLocalStopped), LocalAction::end);
    EXPECT_EQ(local_action(kLocalPaused), LocalAction::wait);
    EXPECT_EQ(local_action(kLocalStep), LocalAction::process);
    EXPECT_EQ(local_state_after_record(kLocalStep), kLocalPaused) << "one record per step";
    EXPECT_EQ(local_state_after_record(kLocalFaster), kLocalFaster);
    EXPECT_EQ(local_state_after_toggle(kLocalPlaying), kLocalPaused);
    EXPECT_EQ(local_state_after_toggle(kLocalFaster), kLocalPlaying) << "3x resumes at 1x";
    EXPECT_EQ(local_state_after_speed(kLocalStopped), kLocalFaster);
    EXPECT_EQ(local_state_after_speed(kLocalPaused), kLocalFaster);
    EXPECT_EQ(local_state_after_speed(kLocalStep), kLocalStep);
    const uint32_t index[] = {0, 4000, 9000, 20000};
    EXPECT_EQ(local_seek_entry(index, 4, 0), 0) << "seeking to 0 lands on the first entry";
    EXPECT_EQ(local_seek_entry(index, 4, 8999), 1);
    EXPECT_EQ(local_seek_entry(index, 4, 14000), 3);
    EXPECT_EQ(local_seek_entry(index, 4, 25000), -1) << "no entry: the position stays";
}

TEST(Pacing, ReleasesFollowThePreviousReleaseNotTheDecodeTime) {
    const Clock::time_point t0 = Clock::now();
    using std::chrono::milliseconds;
    // On time: 40 ms after the previous release even when the frame is handled late.
    EXPECT_EQ(schedule_release(t0, 40, t0 + milliseconds(10), false), t0 + milliseconds(40));
    EXPECT_EQ(schedule_release(t0, 40, t0 + milliseconds(60), false), t0 + milliseconds(40))
        << "a late frame is due at once";
    EXPECT_EQ(schedule_release(t0, 40, t0 + milliseconds(1000), false), t0 + milliseconds(1000))
        << "far behind: starts afresh";
    EXPECT_EQ(schedule_release(t0, 40, t0 + milliseconds(10), true), t0 + milliseconds(36))
        << "a live pane behind its arrivals catches up by a tenth of the delay";
    EXPECT_EQ(schedule_release(t0, 10, t0 + milliseconds(1), true), t0 + milliseconds(8))
        << "at least 2 ms";
    EXPECT_EQ(schedule_release(t0, 40, t0 + milliseconds(39), true), t0 + milliseconds(39))
        << "never before now";
    LivePacer pacer;
    PaceContext six;
    six.queued_entries = 6;
    const Clock::time_point first = pacer.release_at(1000, six, t0);
    EXPECT_EQ(pacer.release_at(1120, six, first), first + milliseconds(81))
        << "120 ms less 30, less the tenth a live pane catches up by";
}

}  // namespace
}  // namespace orvel::pane
