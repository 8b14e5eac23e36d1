#pragma once
// The pipeline of one remote-playback pane: a recording streamed from the DVR's disk.
//
//   file port socket (network thread) -> frame ring (10 entries) -> remote pacing -> decode
//   -> stamp -> hand-off
//
// The network thread (net::StreamHub) connects to the DVR's file port, sends the 76-byte
// recording request, reads the stream header and cuts the frames into the ring; the stream is
// never reconnected: when the DVR closes it the recording is over. This object's job (on the
// pane workers) shows the frames at their capture-time pace (80 ms each in fast play), plays
// the audio of the heard pane, and once the last queued frame has been shown after the end,
// reports the end exactly once (the owner turns it into the pane-finished message).
//
// The pane also sits on the stream's recorder tap, so a saving of what it plays (the remote
// saver) can be switched on and off while the stream runs: it sees every whole frame exactly
// as it came off the wire.
//
// Threads: the UI thread makes, starts and closes it and switches the saving; the network
// thread calls the StreamListener and StreamRecorder sides; the job runs on one worker at a
// time. Each field says which.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "media/recording_job.h"
#include "net/stream/frame_ring.h"
#include "net/stream/stream_hub.h"
#include "net/stream/stream_recorder.h"
#include "pane/handoff.h"
#include "pane/pacing.h"
#include "pane/picture_stage.h"
#include "pane/pipeline_env.h"
#include "pane/workers.h"
#include "view/channel_slots.h"

namespace orvel::pane {

inline constexpr int kRemoteRingEntries = 10;

class RemotePane final : public PaneJob, public net::StreamListener, public net::StreamRecorder {
public:
    // UI thread. `slot` and `env` must outlive this object. ok() is false when the frame
    // ring could not be had.
    RemotePane(const PipelineEnv& env, view::RemoteFileSlot& slot);
    // Closes first (see close()).
    ~RemotePane() override;
    RemotePane(const RemotePane&) = delete;
    RemotePane& operator=(const RemotePane&) = delete;

    bool ok() const { return ring_.ok(); }

    struct Reports {
        // The DVR ended the stream and every frame it sent has been handled. Runs once, on
        // the UI thread (through the env's UiPost).
        std::function<void()> finished;
        // The recording could not be opened (connect, request or header). UI thread.
        std::function<void()> open_failed;
    };
    // Requests the slot's DVR path from `offset_s` seconds into the recording (mode 2 when
    // `fast_play`) on the slot's address and file port; returns at once. UI thread.
    bool start(int offset_s, bool fast_play, Reports reports);
    // Stops the connection (socket closed, a running saving told the stream ended) and the
    // job (a frame in progress is finished first); afterwards no thread touches this pane or
    // its slot, and its decoders are destroyed. Bounded. UI thread.
    void close();

    // Switches the saving of the stream on (`saving` non-null, fed from the next frame) or
    // off. UI thread.
    void set_saving(std::shared_ptr<media::RecordingJob> saving);
    // The 28-byte header of the stream being played; false before it arrived. UI thread.
    bool stream_header(std::array<uint8_t, 28>& out) const;
    // PackedDateTime of the last picture shown (0: none yet). Any thread.
    uint32_t shown_packed_time() const { return shown_packed_.load(std::memory_order_relaxed); }
    // True from start() until the end was reported (or the open failed). Any thread.
    bool streaming() const { return streaming_.load(std::memory_order_acquire); }
    // Run state 2 again after a hold: the job goes on. UI thread.
    void resume();

    // net::StreamListener (network thread).
    void on_items_queued() override;
    void on_open_failed() override;
    void on_stream_lost(bool reconnecting) override;

    // net::StreamRecorder (network thread): the saving's tap.
    void on_stream_header(const uint8_t* header28) override;
    void on_frame(const uint8_t* frame, std::size_t bytes) override;
    void on_stream_end() override;

    // PaneJob (a worker).
    Next run(Clock::time_point now) override;

private:
    // Job side.
    void apply_header(const uint8_t* header28);
    void show_video(const uint8_t* frame, const net::RingEntryInfo& info);
    void audio_frame(const uint8_t* frame, const net::RingEntryInfo& info);
    PaceContext pace_context() const;

    const PipelineEnv& env_;
    view::RemoteFileSlot& slot_;
    net::FrameRing ring_;  // network thread fills, job empties

    // UI thread.
    net::StreamId stream_ = 0;
    bool attached_ = false;
    Reports reports_;

    // Network thread writes, job reads.
    std::atomic<bool> ended_{false};
    // Set at start, cleared by the job when it reports the end, or by the failed open.
    std::atomic<bool> streaming_{false};
    std::atomic<uint32_t> shown_packed_{0};  // job writes

    // Tap: the network thread and the UI thread, under tap_lock_.
    mutable std::mutex tap_lock_;
    std::shared_ptr<media::RecordingJob> saving_;
    std::array<uint8_t, 28> header_{};
    bool header_known_ = false;

    // Job (one worker at a time).
    PictureStage stage_;
    HandOff handoff_;
    RemotePacer pacer_;
    bool header_seen_ = false;
    bool refused_ = false;
    bool release_due_ = false;
    Clock::time_point release_{};
    bool audio_seen_ = false;
    bool end_reported_ = false;
};

}  // namespace orvel::pane
