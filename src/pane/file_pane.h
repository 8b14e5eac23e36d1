#pragma once
// The pipeline of one pane that plays a local .dvr file:
//
//   file (DvrReader, one read per record header and one per payload) -> local pacing ->
//   decode -> stamp -> hand-off; audio of the heard pane to the wave output
//
// It runs as a job on the pane workers like every other pane: no thread of its own. The UI
// thread changes the play state and speed in the slot, asks for seeks and wakes the job; the
// job reads them at the start of each record. A paused or stepped pane waits idle until it is
// woken. The end of the file (or a truncated last record, as a killed recorder leaves) is told
// to the UI thread once, which closes the pane; a damaged record ends it the same way with
// its own report.
//
// Threads: the UI thread makes, opens, starts and closes it and calls the commands; the job
// runs on one worker at a time. Fields say which.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "media/dvr_file.h"
#include "pane/handoff.h"
#include "pane/pacing.h"
#include "pane/picture_stage.h"
#include "pane/pipeline_env.h"
#include "pane/workers.h"
#include "view/channel_slots.h"

namespace orvel::pane {

// How a file pane's playing ended.
enum class FileEnd {
    end_of_file,  // the last whole record was played (a truncated last record included)
    damaged,      // a record the reader cannot take (longer than the buffer, a read error)
};

class FilePane final : public PaneJob {
public:
    // UI thread. `slot` and `env` must outlive this object.
    FilePane(const PipelineEnv& env, view::LocalFileSlot& slot);
    // Closes first.
    ~FilePane() override;
    FilePane(const FilePane&) = delete;
    FilePane& operator=(const FilePane&) = delete;

    // Opens `path` for reading only (a missing name is never created) and reads its header
    // block; sets up the decoders its codec marker asks for. UI thread, before start().
    media::DvrStatus open(const std::string& path);
    const media::DvrHeader& header() const { return reader_.header(); }
    // Total duration from the header, milliseconds. Any thread once open.
    uint32_t duration_ms() const { return duration_ms_; }

    // Starts playing (the slot's play state and speed as set). `on_end` runs on the UI thread
    // (through the env's UiPost) once, when the file has been played to its end or cannot be
    // read further. UI thread.
    bool start(std::function<void(FileEnd)> on_end);
    // The job never runs again once this returns (a record in progress is finished first);
    // its decoders are destroyed and the file is closed. UI thread.
    void close();

    // Commands. UI thread; each takes effect at the next record.
    void toggle();              // play/pause: playing pauses, anything else plays at 1x
    void set_speed(int speed);  // 2, 3 or 4: play faster
    void step();                // one record, then pause
    // Records up to and including the next picture, then pause (a photo of the pane).
    void step_to_picture();
    // Moves to the index entry of `target_ms` (the first whose time plus 5 s exceeds it). A
    // paused pane shows the picture it landed on. False when the index has no such entry.
    bool seek(uint32_t target_ms);

    // Capture time of the last record read (the slider's position). Any thread.
    uint32_t position_ms() const { return position_ms_.load(std::memory_order_relaxed); }
    int play_state() const { return slot_.play_state.load(); }

    // PaneJob (a worker).
    Next run(Clock::time_point now) override;

private:
    // Job side.
    void apply_seek();
    void video_record(Clock::time_point now);
    void audio_record();
    void finish_record(bool was_video);
    void end(FileEnd how);

    const PipelineEnv& env_;
    view::LocalFileSlot& slot_;
    media::FileDvrSource source_;  // the job reads it; the UI thread only before start
    media::DvrReader reader_{source_};
    uint32_t duration_ms_ = 0;  // fixed after open()

    // UI thread.
    bool attached_ = false;
    std::function<void(FileEnd)> on_end_;

    // UI thread writes, job reads: a seek target (-1 none) and whether a paused pane shows
    // one picture after it.
    std::atomic<int64_t> seek_target_ms_{-1};
    std::atomic<uint32_t> position_ms_{0};      // job writes
    std::atomic<bool> step_to_picture_{false};  // UI sets, job clears: a step ends on video

    // Job (one worker at a time).
    PictureStage stage_;
    HandOff handoff_;
    LocalPacer pacer_;
    std::unique_ptr<uint8_t[]> payload_;  // one record's payload (the reader's bound)
    media::DvrRecordHeader record_;
    bool record_pending_ = false;  // record_ and payload_ hold a record not yet shown
    bool release_due_ = false;     // release_ is the pending record's
    Clock::time_point release_{};
    bool show_after_seek_ = false;  // a paused pane shows the picture a seek landed on
    bool audio_seen_ = false;
    bool ended_ = false;
};

}  // namespace orvel::pane
