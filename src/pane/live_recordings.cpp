#include "pane/live_recordings.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace orvel::pane {

// The network thread's side of one pane's recording: each call is one copy into the
// recording's queue.
class LiveRecordings::Feed final : public net::StreamRecorder {
public:
    explicit Feed(std::shared_ptr<media::PaneRecording> job) : job(std::move(job)) {}
    void on_stream_header(const uint8_t* header28) override { job->stream_header(header28); }
    void on_frame(const uint8_t* frame, std::size_t bytes) override { job->frame(frame, bytes); }
    void on_stream_end() override { job->stream_ended(); }

    const std::shared_ptr<media::PaneRecording> job;
};

LiveRecordings::LiveRecordings(const media::RecorderEnv& env, UiPost& ui, std::size_t queue_bytes)
    : ui_(ui) {
    media::RecorderEnv with_events = env;
    with_events.events = this;
    writer_ = std::make_unique<media::RecordWriter>(with_events, queue_bytes);
}

LiveRecordings::~LiveRecordings() {
    for (auto& feed : feeds_)
        if (feed) writer_->stop(*feed->job);
    writer_.reset();  // the writer thread finishes every file and ends here
}

net::StreamRecorder* LiveRecordings::start(const view::LiveSlot& slot) {
    if (slot.pane < 0 || slot.pane >= view::kMaxPanes) return nullptr;
    finish(slot.pane);
    const std::string address(slot.peer_address.data(),
                              strnlen(slot.peer_address.data(), slot.peer_address.size()));
    auto& feed = feeds_[static_cast<std::size_t>(slot.pane)];
    feed = std::make_unique<Feed>(writer_->start(slot.pane, address, slot.channel));
    return feed.get();
}

void LiveRecordings::finish(int pane) {
    if (pane < 0 || pane >= view::kMaxPanes) return;
    auto& feed = feeds_[static_cast<std::size_t>(pane)];
    if (!feed) return;
    writer_->stop(*feed->job);
    feed.reset();
}

const media::PaneRecording* LiveRecordings::recording(int pane) const {
    if (pane < 0 || pane >= view::kMaxPanes) return nullptr;
    const auto& feed = feeds_[static_cast<std::size_t>(pane)];
    return feed ? feed->job.get() : nullptr;
}

void LiveRecordings::fault_changed(const media::RecordingJob& job, media::RecordFault fault) {
    const int pane = job.pane();
    char label[96];
    const auto* live = dynamic_cast<const media::PaneRecording*>(&job);
    std::snprintf(label, sizeof label, "%s channel %02d (pane %d)", job.address().c_str(),
                  live != nullptr ? live->channel() : 0, pane + 1);
    const void* which = &job;
    std::weak_ptr<int> alive = alive_;
    ui_.post([this, alive, pane, which, fault, text = std::string(label)] {
        if (alive.expired()) return;
        // A report about a recording the pane no longer holds (closed, reopened) is old news.
        const media::PaneRecording* current = recording(pane);
        if (current == nullptr || current != which) return;
        if (on_fault) on_fault(pane, fault, text);
    });
}

}  // namespace orvel::pane
