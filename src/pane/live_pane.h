#pragma once
// The pipeline of one live camera pane:
//
//   stream socket (network thread) -> frame ring -> pacing -> decode -> stamp -> hand-off
//
// The network thread (net::StreamHub) connects, reads the stream header and cuts the frames
// into the ring; this object's job (on the pane workers) takes them out in order: a stream
// header sets up the decoders, audio of the heard pane goes to the wave output, video is paced
// by capture times (standard streams) or shown as it comes (dual streams, with the switch
// between sub and main stream), decoded, stamped and handed to the renderer.
//
// Threads: the UI thread makes, starts and closes it; the network thread calls the
// StreamListener side; the job runs on one worker at a time. Fields say which.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "net/stream/frame_ring.h"
#include "net/stream/stream_hub.h"
#include "pane/dual_switch.h"
#include "pane/handoff.h"
#include "pane/pacing.h"
#include "pane/picture_stage.h"
#include "pane/pipeline_env.h"
#include "pane/workers.h"
#include "view/channel_slots.h"

namespace orvel::pane {

class LivePane final : public PaneJob, public net::StreamListener {
public:
    // UI thread. `slot` and `env` must outlive this object. ok() is false when the frame
    // ring could not be had.
    LivePane(const PipelineEnv& env, view::LiveSlot& slot);
    // Closes first (see close()).
    ~LivePane() override;
    LivePane(const LivePane&) = delete;
    LivePane& operator=(const LivePane&) = delete;

    bool ok() const { return ring_.ok(); }

    // Starts connecting to the slot's DVR and channel (the stream port in the slot); returns
    // at once. `on_open_failed` runs on the UI thread (through the env's UiPost) when the
    // first connection cannot be made. `recorder` (may be null) sees the stream as it
    // arrives. UI thread.
    bool start(std::function<void()> on_open_failed, net::StreamRecorder* recorder);
    // Stops the connection (socket closed, recorder finished) and the job (a frame in
    // progress is finished first); afterwards no thread touches this pane or its slot, and
    // its decoders are destroyed. Bounded: it waits only for the network thread and for one
    // frame. UI thread.
    void close();

    // net::StreamListener (network thread).
    void on_items_queued() override;
    void on_open_failed() override;

    // PaneJob (a worker).
    Next run(Clock::time_point now) override;

private:
    // Job side.
    void apply_header(const uint8_t* header28);
    void refuse_stream();
    void standard_frame(const uint8_t* frame, const net::RingEntryInfo& info);
    void dual_frame(const uint8_t* frame, const net::RingEntryInfo& info);
    void audio_blocks(const uint8_t* payload, int payload_bytes);

    const PipelineEnv& env_;
    view::LiveSlot& slot_;
    net::FrameRing ring_;  // network thread fills, job empties

    // UI thread.
    net::StreamId stream_ = 0;
    bool attached_ = false;
    std::function<void()> on_open_failed_;

    // Job (one worker at a time).
    PictureStage stage_;
    HandOff handoff_;
    LivePacer pacer_;
    bool header_seen_ = false;  // frames before a header cannot be read
    bool refused_ = false;      // pictures do not match the header: nothing more is shown
    bool release_due_ = false;  // release_ is the head frame's
    Clock::time_point release_{};
    DualSwitchState switch_;  // dual streams: which stream is on screen
    bool audio_seen_ = false;
};

}  // namespace orvel::pane
