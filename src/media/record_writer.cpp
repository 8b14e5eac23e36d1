#include "media/record_writer.h"

#include <algorithm>
#include <chrono>

namespace orvel::media {

namespace {
// Bytes written for one pane before the writer turns to the next, so one busy pane cannot
// hold up the others.
constexpr std::size_t kRoundBudgetBytes = 256u << 10;
constexpr std::size_t kMaxRecordingPanes = 64;
}  // namespace

void WriterCore::wake() {
    // Already signalled and not yet taken: the writer has a round to come that sees what was
    // queued before this call.
    if (pending.load()) return;
    // The flag and `idle` change together under the lock: set apart, the writer could take
    // the flag and report idle in between, and the late `idle = false` would then stand
    // with no round left to clear it.
    std::lock_guard guard(lock);
    pending.store(true);
    idle = false;
    wake_cv.notify_one();
}

RecordWriter::RecordWriter(const RecorderEnv& env, std::size_t queue_bytes)
    : env_(env), queue_bytes_(queue_bytes), core_(std::make_shared<WriterCore>()) {
    active_.reserve(kMaxRecordingPanes);
    core_->incoming.reserve(kMaxRecordingPanes);
    thread_ = std::thread([this] { run(); });
}

RecordWriter::~RecordWriter() {
    {
        std::lock_guard guard(core_->lock);
        core_->stopping = true;
        core_->wake_cv.notify_one();
    }
    thread_.join();
}

void RecordWriter::add(std::shared_ptr<RecordingJob> job) {
    {
        std::lock_guard guard(core_->lock);
        core_->incoming.push_back(std::move(job));
    }
    core_->wake();  // items queued before the job was listed are written now
}

std::shared_ptr<PaneRecording> RecordWriter::start(int pane, const std::string& address,
                                                   int channel) {
    auto recording =
        std::make_shared<PaneRecording>(core_, env_, pane, address, channel, queue_bytes_);
    add(recording);
    return recording;
}

std::shared_ptr<RemoteSaving> RecordWriter::start_remote(int pane, const std::string& site_address,
                                                         const std::string& dvr_path, int camera,
                                                         const uint8_t* stream_header) {
    auto saving = std::make_shared<RemoteSaving>(core_, env_, pane, site_address, dvr_path, camera,
                                                 stream_header, queue_bytes_);
    add(saving);
    return saving;
}

void RecordWriter::stop(RecordingJob& job) { job.request_stop(); }

bool RecordWriter::wait_idle(int timeout_ms) {
    core_->wake();
    std::unique_lock guard(core_->lock);
    return core_->idle_cv.wait_for(guard, std::chrono::milliseconds(timeout_ms),
                                   [&] { return core_->idle && !core_->pending.load(); });
}

void RecordWriter::run() {
    bool stopping = false;
    while (true) {
        {
            std::unique_lock guard(core_->lock);
            core_->wake_cv.wait(guard, [&] { return core_->pending.load() || core_->stopping; });
            core_->pending.store(false);
            stopping = core_->stopping;
            for (auto& r : core_->incoming) active_.push_back(std::move(r));
            core_->incoming.clear();
        }
        // Rounds over every pane until all queues are empty.
        bool more = true;
        while (more) {
            more = false;
            for (auto& r : active_) {
                if (stopping) r->request_stop();
                if (r->drain(kRoundBudgetBytes)) more = true;
            }
        }
        std::erase_if(active_,
                      [](const std::shared_ptr<RecordingJob>& r) { return r->finished(); });
        std::lock_guard guard(core_->lock);
        if (!core_->pending.load()) {
            core_->idle = true;
            core_->idle_cv.notify_all();
        }
        if (stopping && active_.empty() && core_->incoming.empty()) return;
    }
}

}  // namespace orvel::media
