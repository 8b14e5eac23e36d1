#pragma once
// The live recording of one pane: hourly .dvr files of the pane's channel under
// <disk>:\dvr_media\video\<address>\<yy-mm-dd>\camera NN\.
//
// Three parties share it:
// - the UI thread starts and stops it through the RecordWriter (record_writer.h);
// - the pane's network side hands it each new stream header, each whole received frame and
//   each lost connection. These calls copy into the pane's bounded queue and return; when
//   the queue is full (the disk is slower than the stream) the frame is counted as lost and
//   the pane shows a fault, and video is dropped up to the next key frame so the file never
//   holds pictures that cannot be decoded;
// - the one writer thread of the RecordWriter, shared by every recording pane, writes the
//   queued items: a stream header begins a new file, frames become records, a lost
//   connection finishes the file, and the first video key frame of a new local hour
//   finishes the file and begins the next.
//
// Files are written with plain write calls (a killed process leaves every whole record it
// wrote), begun with the closed mark clear, and finished by rewriting the header block with
// the closed mark, duration and index; the file and its folder are synced when a file begins
// and when it is finished. Failures (no drive, no permission, disk full) are logged and shown
// once per episode, and the next file change (or a key frame a minute later) tries again.
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
    bool finished = false;  // stopped, and everything queued has been written
};

// Where and when: configuration (recording disk), drive mapping and clock. Must outlive the
// RecordWriter.
struct RecorderEnv {
    const platform::IniFile* ini = nullptr;
    const platform::DriveMap* drives = nullptr;
    const WallClock* clock = nullptr;
};

struct WriterCore;

class PaneRecording {
public:
    PaneRecording(std::shared_ptr<WriterCore> core, const RecorderEnv& env, int pane,
                  std::string address, int channel, std::size_t queue_bytes);
    ~PaneRecording();
    PaneRecording(const PaneRecording&) = delete;
    PaneRecording& operator=(const PaneRecording&) = delete;

    // --- network side of the pane: one call at a time; each returns after one copy ---
    // A stream (re)started with this 28-byte header: the next frames go to a new file.
    void stream_header(const uint8_t* header);
    // One whole frame exactly as received: record header then payload, `frame_bytes` in all.
    void frame(const uint8_t* frame, std::size_t frame_bytes);
    // The connection was lost: the current file is finished.
    void connection_lost();

    // --- any thread ---
    RecordingStatus status() const;
    // Path of the file being written, empty when none is open.
    std::string current_file() const;
    int pane() const { return pane_; }
    int channel() const { return channel_; }

    // --- the writer thread (RecordWriter) ---
    // Writes queued items, at most about `budget_bytes` of them. True when items remain.
    bool drain(std::size_t budget_bytes);
    // After a stop request: true once the queue is empty and the file finished.
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // UI thread (through RecordWriter::stop): no more items are taken; the writer finishes.
    void request_stop();
    bool stop_requested() const { return stop_requested_.load(std::memory_order_acquire); }

private:
    // Writer thread.
    void on_header(const uint8_t* header, int64_t wall_ms);
    void on_frame(const uint8_t* frame, std::size_t frame_bytes, int64_t wall_ms);
    bool open_file(int64_t wall_ms);
    void finish_file();
    void fail(RecordFault fault, const char* what, int error, int64_t wall_ms);
    void report_losses();
    void set_current_file(const std::string& path);
    bool push(QueueItemKind kind, const uint8_t* bytes, std::size_t size);

    const std::shared_ptr<WriterCore> core_;
    const RecorderEnv env_;
    const int pane_;
    const std::string address_;
    const int channel_;
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
    LocalTime file_hour_;  // local time at which the current file was begun (or tried)
    bool file_hour_set_ = false;
    int64_t retry_at_ms_ = 0;  // after a failure: earliest retry on a key frame
    uint32_t time_base_ms_ = 0;
    uint32_t last_time_ms_[2] = {0, 0};  // per form: standard, dual
    uint64_t losses_reported_ = 0;
};

}  // namespace orvel::media
