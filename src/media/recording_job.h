#pragma once
// What every local recording shares, live (pane_recording.h) or a saved remote copy
// (remote_saving.h): the bounded queue between a pane's network side and the one writer
// thread, the .dvr writer, file creation and finishing, times, and faults.
//
// Three parties use a job:
// - the UI thread starts and stops it through the RecordWriter (record_writer.h) and reads
//   its status;
// - the pane's network side, which gets the job from the UI through the pane's own
//   synchronisation (a lock or an atomic shared pointer), hands it each new stream header,
//   each whole received frame and the end of each stream. These calls copy into the job's bounded
//   queue and return; when the queue is full (the disk is slower than the stream) the frame is
//   counted as lost and the pane shows a fault, and video is dropped up to the next key frame so a
//   file never holds pictures that cannot be decoded;
// - the one writer thread of the RecordWriter, shared by every job, writes the queued items.
//   When files begin and end is the subclass's choice (its hooks below).
//
// Files are written with plain write calls (a killed process leaves every whole record it
// wrote), begun with the closed mark clear, and finished by rewriting the header block with
// the closed mark, duration and index; the file and its folder are synced when a file begins
// and when it is finished, and the open file every kFileSyncIntervalMs of wall time while
// records are written (so a power failure loses at most that much). Failures (no drive, no
// permission, disk full) are logged and shown once per episode; the subclass decides when to try
// again.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "media/dvr_writer.h"
#include "media/record_queue.h"
#include "media/wall_clock.h"

namespace orvel::platform {
class IniFile;
class DriveMap;
}  // namespace orvel::platform

namespace orvel::media {

// Longest wall time between syncs of a file that is being written.
inline constexpr int64_t kFileSyncIntervalMs = 5'000;

enum class RecordFault : uint8_t {
    none,
    queue_overflow,  // the disk did not keep up: frames were lost
    cannot_create,   // no drive, folder or file could be made
    write_failed,    // a write failed (disk full, I/O error)
};
const char* record_fault_text(RecordFault fault);

// What the UI shows for a recording pane ("REC", with a fault mark when `fault` is set).
struct RecordingStatus {
    RecordFault fault = RecordFault::none;  // latest fault; cleared when a file begins cleanly
    uint32_t fault_reports = 0;     // grows by one when a fault episode begins (show a message)
    uint64_t frames_lost = 0;       // frames the queue could not take
    uint64_t frames_unwritten = 0;  // frames dropped because no file could be written
    uint64_t files_begun = 0;
    uint64_t file_syncs = 0;  // syncs of the open file between its beginning and its end
    bool finished = false;    // stopped (or ended), and everything queued has been written
};

struct WriterCore;
class RecordingJob;

// Told when a job's fault changes: a new fault (an episode begins, or its kind changes) and
// the end of a fault (a file began cleanly). Writer thread; must return at once (post the
// news to the UI thread).
class RecordEventSink {
public:
    virtual ~RecordEventSink() = default;
    virtual void fault_changed(const RecordingJob& job, RecordFault fault) = 0;
};

// Where and when: configuration (recording disk), drive mapping and clock. Must outlive the
// RecordWriter.
struct RecorderEnv {
    const platform::IniFile* ini = nullptr;
    const platform::DriveMap* drives = nullptr;
    const WallClock* clock = nullptr;
    RecordEventSink* events = nullptr;  // may be null
};

class RecordingJob {
public:
    virtual ~RecordingJob();
    RecordingJob(const RecordingJob&) = delete;
    RecordingJob& operator=(const RecordingJob&) = delete;

    // --- network side of the pane: one call at a time; each returns after one copy ---
    // A stream (re)started with this 28-byte header.
    void stream_header(const uint8_t* header);
    // One whole frame exactly as received: record header then payload, `frame_bytes` in all.
    void frame(const uint8_t* frame, std::size_t frame_bytes);
    // The stream ended: the connection was lost, or the DVR closed a recording's stream.
    void stream_ended();

    // --- any thread ---
    RecordingStatus status() const;
    // Path of the file being written, empty when none is open.
    std::string current_file() const;
    int pane() const { return pane_; }
    const std::string& address() const { return address_; }

    // --- the writer thread (RecordWriter) ---
    // Writes queued items, at most about `budget_bytes` of them. True when items remain.
    bool drain(std::size_t budget_bytes);
    // After a stop request: true once the queue is empty and the file finished.
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // UI thread (through RecordWriter::stop) or the writer thread: no more items are taken;
    // the writer writes what is queued and finishes.
    void request_stop();
    bool stop_requested() const { return stop_requested_.load(std::memory_order_acquire); }

protected:
    // `log_label` names the job in log lines ("recording 10.0.0.5 channel 3 (pane 2)").
    RecordingJob(std::shared_ptr<WriterCore> core, const RecorderEnv& env, int pane,
                 std::string address, std::size_t queue_bytes, std::string log_label);

    // --- hooks, writer thread ---
    // A stream header arrived (stored in header() already).
    virtual void on_header(int64_t wall_ms) = 0;
    // A video key frame is about to be written: the moment to begin or change files.
    virtual void on_video_key(const uint8_t* frame, int64_t wall_ms) = 0;
    // The stream ended.
    virtual void on_stream_end() = 0;

    // --- helpers for the hooks, writer thread ---
    // Creates <folder>\<name> (a taken name gets _2, _3, ...) on `disk` through the drive
    // mapping and writes the header block. False (fault reported) when it failed.
    bool open_file(char disk, const std::string& windows_folder, const std::string& name,
                   int64_t wall_ms);
    // Finishes and closes the open file, if any.
    void finish_file();
    bool file_open() const { return fd_ >= 0; }
    // Frames met while no file is open count as unwritten only while this is set (a copy
    // waiting for its first key frame has lost nothing).
    void set_file_wanted(bool wanted) { file_wanted_ = wanted; }
    const uint8_t* header() const { return header_; }
    bool dual() const { return dual_; }
    // Earliest wall time for another try after a failure to create or write a file.
    int64_t retry_at_ms() const { return retry_at_ms_; }

    const RecorderEnv env_;

private:
    void on_frame(const uint8_t* frame, std::size_t frame_bytes, int64_t wall_ms);
    void fail(RecordFault fault, const char* what, int error, int64_t wall_ms);
    void report_losses();
    void sync_if_due(int64_t wall_ms);
    void set_current_file(const std::string& path);
    bool push(QueueItemKind kind, const uint8_t* bytes, std::size_t size);

    const std::shared_ptr<WriterCore> core_;
    const int pane_;
    const std::string address_;
    const std::string log_label_;
    RecordQueue queue_;

    // Network side only (under the queue's one-producer rule).
    bool producer_dual_ = false;
    bool producer_has_header_ = false;
    bool producer_resync_ = false;          // after a loss: video waits for a key frame
    bool producer_header_pending_ = false;  // a header that did not fit yet
    uint8_t producer_header_[kStreamHeaderBytes] = {};

    // Shared counters and flags.
    std::atomic<bool> stop_requested_{false};
    std::atomic<bool> finished_{false};
    std::atomic<uint64_t> frames_lost_{0};
    std::atomic<uint64_t> frames_unwritten_{0};
    std::atomic<uint64_t> files_begun_{0};
    std::atomic<uint64_t> file_syncs_{0};
    std::atomic<uint8_t> fault_{0};
    std::atomic<uint32_t> fault_reports_{0};
    mutable std::mutex file_name_lock_;
    std::string current_file_;  // guarded by file_name_lock_; written by the writer thread

    // Writer thread only.
    DvrFileWriter writer_;
    int fd_ = -1;
    FdRecordSink sink_{-1};
    uint8_t header_[kStreamHeaderBytes] = {};
    bool have_header_ = false;
    bool dual_ = false;
    bool file_wanted_ = true;
    int64_t retry_at_ms_ = 0;
    int64_t synced_at_ms_ = 0;  // wall time of the open file's last sync
    uint32_t time_base_ms_ = 0;
    uint32_t last_time_ms_[2] = {0, 0};  // per form: standard, dual
    uint64_t losses_reported_ = 0;
};

}  // namespace orvel::media
