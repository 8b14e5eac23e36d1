#pragma once
// Recording of the live panes opened with "paly &recode": one RecordWriter (one writer thread
// for every recording pane) and, per pane, the StreamRecorder its stream connection feeds.
//
// The network thread hands each stream header, whole frame and stream end to the pane's
// recorder, which copies it into the recording's bounded queue and returns (media/
// recording_job.h); the writer thread writes hourly .dvr files from there. A reconnect gives a
// new stream header and so a new file; closing the pane finishes the file.
//
// Faults (disk full, no folder, a disk too slow for the stream) are noticed on the writer
// thread and reported on the UI thread, once when they begin and once when they end, so the
// pane can show "REC" with its fault and the operator gets one message per episode.
#include <array>
#include <functional>
#include <memory>

#include "media/record_writer.h"
#include "net/stream/stream_recorder.h"
#include "pane/pipeline_env.h"
#include "view/channel_slots.h"

namespace orvel::pane {

class LiveRecordings final : private media::RecordEventSink {
public:
    // Starts the writer thread. `env` (its events are this object's) and `ui` must outlive
    // this object; `ui` must be able to take posts until the destructor has returned. UI
    // thread.
    LiveRecordings(const media::RecorderEnv& env, UiPost& ui,
                   std::size_t queue_bytes = media::kDefaultRecordQueueBytes);
    // Writes what is queued, finishes every file and ends the writer thread. Every pane's
    // connection must have been closed first. UI thread.
    ~LiveRecordings() override;
    LiveRecordings(const LiveRecordings&) = delete;
    LiveRecordings& operator=(const LiveRecordings&) = delete;

    // Begins recording the slot's channel for its pane (a recording still held for the pane is
    // stopped first) and returns the recorder its connection must feed, valid until finish()
    // for the pane. UI thread.
    net::StreamRecorder* start(const view::LiveSlot& slot);
    // The pane's connection has closed: the file is finished (on the writer thread) and the
    // recorder goes. Nothing happens for a pane that does not record. UI thread.
    void finish(int pane);

    // The pane's recording, or null. UI thread.
    const media::PaneRecording* recording(int pane) const;
    // Waits until the writer has written everything queued (tests, benchmarks). Any thread
    // but the writer.
    bool wait_idle(int timeout_ms) { return writer_->wait_idle(timeout_ms); }

    // UI thread: the pane's recording has a new fault (`fault` not none: an episode begins or
    // its kind changes) or is sound again (none). `label` names the recording in messages.
    std::function<void(int pane, media::RecordFault fault, const std::string& label)> on_fault;

private:
    class Feed;
    // Writer thread.
    void fault_changed(const media::RecordingJob& job, media::RecordFault fault) override;

    UiPost& ui_;
    std::unique_ptr<media::RecordWriter> writer_;
    std::array<std::unique_ptr<Feed>, view::kMaxPanes> feeds_;  // UI thread
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);     // posts check it is still there
};

}  // namespace orvel::pane
