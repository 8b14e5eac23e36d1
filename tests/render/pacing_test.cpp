#include "view/display/pacing.h"

#include <gtest/gtest.h>

namespace orvel::view {
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

}  // namespace
}  // namespace orvel::view
