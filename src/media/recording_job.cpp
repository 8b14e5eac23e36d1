#include "media/recording_job.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "media/record_paths.h"
#include "media/record_writer.h"
#include "platform/drives.h"
#include "platform/log.h"

namespace orvel::media {

namespace {

// Kept free for stream headers and stream ends when frames fill the queue.
constexpr std::size_t kControlReserveBytes = 4096;
// A second file of the same name gets a suffix _2, _3, ... up to this.
constexpr int kMaxNameAttempts = 100;
// After a failure to create or write a file, the next try waits at least this long.
constexpr int64_t kRetryAfterMs = 60'000;

}  // namespace

const char* record_fault_text(RecordFault fault) {
    switch (fault) {
        case RecordFault::none:
            return "none";
        case RecordFault::queue_overflow:
            return "the disk is too slow, frames were lost";
        case RecordFault::cannot_create:
            return "the recording file cannot be created";
        case RecordFault::write_failed:
            return "writing the recording failed";
    }
    return "unknown";
}

RecordingJob::RecordingJob(std::shared_ptr<WriterCore> core, const RecorderEnv& env, int pane,
                           std::string address, std::size_t queue_bytes, std::string log_label)
    : env_(env),
      core_(std::move(core)),
      pane_(pane),
      address_(std::move(address)),
      log_label_(std::move(log_label)),
      queue_(queue_bytes, kControlReserveBytes) {}

RecordingJob::~RecordingJob() {
    if (fd_ >= 0) ::close(fd_);
}

// ---------------------------------------------------------------- network side

bool RecordingJob::push(QueueItemKind kind, const uint8_t* bytes, std::size_t size) {
    if (!queue_.push(kind, env_.clock->now_ms(), bytes, size)) return false;
    core_->wake();
    return true;
}

void RecordingJob::stream_header(const uint8_t* header) {
    if (stop_requested()) return;
    producer_has_header_ = true;
    producer_dual_ = parse_stream_header(header).dual();
    producer_resync_ = false;
    std::memcpy(producer_header_, header, kStreamHeaderBytes);
    producer_header_pending_ = !push(QueueItemKind::stream_header, header, kStreamHeaderBytes);
    if (producer_header_pending_) producer_resync_ = true;
}

void RecordingJob::frame(const uint8_t* frame, std::size_t frame_bytes) {
    if (stop_requested()) return;
    if (!producer_has_header_) {
        frames_unwritten_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    const bool dual = producer_dual_;
    const std::size_t head = dual ? kDualRecordHeaderBytes : kStdRecordHeaderBytes;
    if (frame_bytes < head ||
        uint64_t{parse_record_header(frame, dual).length_bytes} + head != frame_bytes) {
        // Not one whole frame as framed on the wire: nothing a file could hold.
        frames_unwritten_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    const FrameRole role = frame_role(frame, dual);
    if (role == FrameRole::skipped) return;
    if (producer_header_pending_) {
        producer_header_pending_ =
            !push(QueueItemKind::stream_header, producer_header_, kStreamHeaderBytes);
    }
    const bool key = is_video_key_frame(frame, dual);
    if (producer_header_pending_ || (role == FrameRole::video && producer_resync_ && !key) ||
        frame_bytes > queue_.max_frame_bytes() || !push(QueueItemKind::frame, frame, frame_bytes)) {
        frames_lost_.fetch_add(1, std::memory_order_relaxed);
        if (role == FrameRole::video) producer_resync_ = true;
        core_->wake();  // the writer reports the loss
        return;
    }
    if (role == FrameRole::video) producer_resync_ = false;
}

void RecordingJob::stream_ended() {
    if (stop_requested()) return;
    // An end that does not fit is not lost: the next stream header or the stop finishes the
    // file as well.
    push(QueueItemKind::connection_lost, nullptr, 0);
}

RecordingStatus RecordingJob::status() const {
    RecordingStatus s;
    s.fault = static_cast<RecordFault>(fault_.load(std::memory_order_acquire));
    s.fault_reports = fault_reports_.load(std::memory_order_acquire);
    s.frames_lost = frames_lost_.load(std::memory_order_relaxed);
    s.frames_unwritten = frames_unwritten_.load(std::memory_order_relaxed);
    s.files_begun = files_begun_.load(std::memory_order_relaxed);
    s.file_syncs = file_syncs_.load(std::memory_order_relaxed);
    s.finished = finished();
    return s;
}

std::string RecordingJob::current_file() const {
    std::lock_guard lock(file_name_lock_);
    return current_file_;
}

void RecordingJob::request_stop() {
    stop_requested_.store(true, std::memory_order_release);
    core_->wake();
}

// ---------------------------------------------------------------- writer thread

void RecordingJob::set_current_file(const std::string& path) {
    std::lock_guard lock(file_name_lock_);
    current_file_ = path;
}

bool RecordingJob::drain(std::size_t budget_bytes) {
    if (finished()) return false;
    std::size_t done = 0;
    QueueItem item;
    while (done < budget_bytes && queue_.front(item)) {
        switch (item.kind) {
            case QueueItemKind::stream_header:
                if (item.size == kStreamHeaderBytes) {
                    std::memcpy(header_, item.bytes, kStreamHeaderBytes);
                    have_header_ = true;
                    dual_ = parse_stream_header(header_).dual();
                    on_header(item.wall_ms);
                }
                break;
            case QueueItemKind::frame:
                on_frame(item.bytes, item.size, item.wall_ms);
                break;
            case QueueItemKind::connection_lost:
                on_stream_end();
                break;
            default:
                break;
        }
        done += item.size + 16;
        queue_.pop();
    }
    if (done > 0) sync_if_due(env_.clock->now_ms());
    report_losses();
    if (queue_.front(item)) return true;
    if (stop_requested()) {
        // Producer calls after the stop flag are refused, so an empty queue stays empty.
        finish_file();
        finished_.store(true, std::memory_order_release);
    }
    return false;
}

void RecordingJob::sync_if_due(int64_t wall_ms) {
    // The header block (index and duration so far) is rewritten before the sync. A clock set
    // back counts as due, so a sync is never put off by more than the interval.
    if (fd_ < 0 || (wall_ms - synced_at_ms_ < kFileSyncIntervalMs && wall_ms >= synced_at_ms_))
        return;
    synced_at_ms_ = wall_ms;
    if (writer_.checkpoint()) {
        file_syncs_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    // The system could not write back what it holds: the file is no longer trustworthy from
    // here on, so it is finished (as after a failed write) and a new one is tried later.
    const int error = sink_.last_error();
    const std::string path = current_file();
    finish_file();
    fail(RecordFault::write_failed, ("syncing " + path).c_str(), error, wall_ms);
}

void RecordingJob::report_losses() {
    const uint64_t lost = frames_lost_.load(std::memory_order_relaxed);
    if (lost == losses_reported_) return;
    char detail[64];
    std::snprintf(detail, sizeof detail, "%llu frames lost so far",
                  static_cast<unsigned long long>(lost));
    losses_reported_ = lost;
    fail(RecordFault::queue_overflow, detail, 0, env_.clock->now_ms());
}

void RecordingJob::fail(RecordFault fault, const char* what, int error, int64_t wall_ms) {
    const auto previous = static_cast<RecordFault>(fault_.load(std::memory_order_relaxed));
    if (previous == RecordFault::none) fault_reports_.fetch_add(1, std::memory_order_release);
    if (previous != fault) {
        ORVEL_LOG_ERROR("%s: %s: %s%s%s", log_label_.c_str(), record_fault_text(fault), what,
                        error ? ": " : "", error ? std::strerror(error) : "");
        fault_.store(static_cast<uint8_t>(fault), std::memory_order_release);
        if (env_.events != nullptr) env_.events->fault_changed(*this, fault);
    }
    if (fault != RecordFault::queue_overflow) retry_at_ms_ = wall_ms + kRetryAfterMs;
}

bool RecordingJob::open_file(char disk, const std::string& windows_folder, const std::string& name,
                             int64_t wall_ms) {
    const auto folder = env_.drives->resolve(windows_folder);
    const auto root = env_.drives->root(disk);
    if (!folder || !root) {
        fail(RecordFault::cannot_create, (windows_folder + " has no drive").c_str(), 0, wall_ms);
        return false;
    }
    int error = 0;
    if (!create_folders_durably(*root, *folder, error)) {
        fail(RecordFault::cannot_create, folder->c_str(), error, wall_ms);
        return false;
    }
    std::string path;
    int fd = -1;
    for (int attempt = 1; attempt <= kMaxNameAttempts && fd < 0; ++attempt) {
        path = (*folder / numbered_file_name(name, attempt)).string();
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        fail(RecordFault::cannot_create, path.c_str(), errno, wall_ms);
        return false;
    }
    fd_ = fd;
    sink_ = FdRecordSink(fd);
    if (!writer_.begin(sink_, header_) || !sink_.sync()) {
        const int write_error = sink_.last_error();
        writer_.abandon();
        ::close(fd_);
        fd_ = -1;
        ::unlink(path.c_str());  // a file without its whole header block holds nothing
        fail(RecordFault::write_failed, path.c_str(), write_error, wall_ms);
        return false;
    }
    sync_folder(*folder);
    synced_at_ms_ = wall_ms;
    files_begun_.fetch_add(1, std::memory_order_relaxed);
    set_current_file(path);
    const auto previous = static_cast<RecordFault>(fault_.load(std::memory_order_relaxed));
    if (previous != RecordFault::none) {
        ORVEL_LOG_INFO("%s: recording again in %s", log_label_.c_str(), path.c_str());
        fault_.store(static_cast<uint8_t>(RecordFault::none), std::memory_order_release);
        if (env_.events != nullptr) env_.events->fault_changed(*this, RecordFault::none);
    } else {
        ORVEL_LOG_INFO("%s: file %s begun", log_label_.c_str(), path.c_str());
    }
    return true;
}

void RecordingJob::finish_file() {
    if (fd_ < 0) return;
    const bool ok = writer_.finish();
    const int error = sink_.last_error();
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    const std::string path = current_file();
    set_current_file({});
    if (!ok || !closed) {
        fail(RecordFault::write_failed, ("finishing " + path).c_str(), ok ? errno : error,
             env_.clock->now_ms());
    }
}

void RecordingJob::on_frame(const uint8_t* frame, std::size_t frame_bytes, int64_t wall_ms) {
    if (!have_header_) return;
    const FrameRole role = frame_role(frame, dual_);
    if (role == FrameRole::video) {
        if (is_video_key_frame(frame, dual_)) on_video_key(frame, wall_ms);
        // The capture time 0 (a DVR without times) continues 40 ms after the pane's last one.
        const uint32_t time_ms = parse_record_header(frame, dual_).time_ms;
        uint32_t& last = last_time_ms_[dual_ ? 1 : 0];
        if (time_ms == 0) time_base_ms_ = last + 40;
        const uint32_t absolute = time_ms + time_base_ms_;
        last = absolute;
        if (fd_ < 0) {
            if (file_wanted_) frames_unwritten_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        if (!writer_.write_video(frame, frame_bytes, absolute)) {
            frames_unwritten_.fetch_add(1, std::memory_order_relaxed);
            const int error = sink_.last_error();
            const std::string path = current_file();
            finish_file();
            fail(RecordFault::write_failed, path.c_str(), error, wall_ms);
        }
        return;
    }
    if (role == FrameRole::audio && fd_ >= 0 && !writer_.write_audio(frame, frame_bytes)) {
        const int error = sink_.last_error();
        const std::string path = current_file();
        finish_file();
        fail(RecordFault::write_failed, path.c_str(), error, wall_ms);
    }
}

}  // namespace orvel::media
