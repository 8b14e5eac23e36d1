#include "pane/remote_pane.h"

#include <algorithm>
#include <cstring>

#include "codec/audio_output.h"
#include "media/stream_format.h"
#include "net/stream/stream_request.h"
#include "pane/audio_path.h"
#include "view/app_state.h"

namespace orvel::pane {
namespace {

constexpr uint8_t kAudioFlag = 0x01;  // standard form: bit 0 set = audio frame
constexpr int kClassAudio = 1, kClassSub = 2;

int payload_of(const net::RingEntryInfo& info, const media::DvrRecordHeader& record) {
    const auto held = static_cast<uint32_t>(info.bytes - record.header_bytes);
    return static_cast<int>(std::min(record.length_bytes, held));
}

}  // namespace

RemotePane::RemotePane(const PipelineEnv& env, view::RemoteFileSlot& slot)
    : env_(env), slot_(slot), ring_(kRemoteRingEntries), handoff_(env) {}

RemotePane::~RemotePane() { close(); }

bool RemotePane::start(int offset_s, bool fast_play, Reports reports) {
    if (!ok() || env_.hub == nullptr || env_.workers == nullptr || stream_ != 0) return false;
    reports_ = std::move(reports);
    net::StreamTarget target;
    target.address.assign(slot_.address.data(),
                          strnlen(slot_.address.data(), slot_.address.size()));
    target.port = slot_.file_port;
    const std::string_view path(slot_.file_path.data(),
                                strnlen(slot_.file_path.data(), slot_.file_path.size()));
    const net::FileRequest request = net::build_file_request(fast_play, offset_s, path);
    std::copy(request.begin(), request.end(), target.request.begin());
    target.request_bytes = request.size();
    target.reconnect = false;  // the DVR closing the stream ends the recording
    target.channel = slot_.camera + 1;
    streaming_.store(true, std::memory_order_release);
    handoff_.show_notice(slot_, view::kPaneConnecting);
    stream_ = env_.hub->open(target, ring_, *this, this);
    if (stream_ == 0) {
        streaming_.store(false, std::memory_order_release);
        return false;
    }
    env_.workers->attach(*this);
    attached_ = true;
    env_.workers->wake(*this);
    return true;
}

void RemotePane::close() {
    if (attached_) env_.workers->detach(*this);
    attached_ = false;
    if (stream_ != 0) env_.hub->close(stream_);
    stream_ = 0;
    streaming_.store(false, std::memory_order_release);
    {
        std::lock_guard lock(tap_lock_);
        saving_.reset();
    }
    stage_.release();
}

void RemotePane::set_saving(std::shared_ptr<media::RecordingJob> saving) {
    std::lock_guard lock(tap_lock_);
    saving_ = std::move(saving);
}

bool RemotePane::stream_header(std::array<uint8_t, 28>& out) const {
    std::lock_guard lock(tap_lock_);
    if (!header_known_) return false;
    out = header_;
    return true;
}

void RemotePane::resume() {
    if (attached_) env_.workers->wake(*this);
}

void RemotePane::on_items_queued() { env_.workers->wake(*this); }

void RemotePane::on_open_failed() {
    streaming_.store(false, std::memory_order_release);
    if (env_.ui != nullptr && reports_.open_failed) env_.ui->post(reports_.open_failed);
}

void RemotePane::on_stream_lost(bool /*reconnecting*/) {
    ended_.store(true, std::memory_order_release);
    env_.workers->wake(*this);
}

void RemotePane::on_stream_header(const uint8_t* header28) {
    std::lock_guard lock(tap_lock_);
    std::memcpy(header_.data(), header28, header_.size());
    header_known_ = true;
    if (saving_) saving_->stream_header(header28);
}

void RemotePane::on_frame(const uint8_t* frame, std::size_t bytes) {
    std::lock_guard lock(tap_lock_);
    if (saving_) saving_->frame(frame, bytes);
}

void RemotePane::on_stream_end() {
    std::lock_guard lock(tap_lock_);
    if (saving_) saving_->stream_ended();
}

PaceContext RemotePane::pace_context() const {
    PaceContext c;
    c.queued_entries = ring_.queued();
    c.fast_play = env_.state->fast_play.load() != 0;
    c.audio_followed = audio_seen_ && env_.state->audio_pane.load() == slot_.pane;
    c.queued_audio_buffers = codec::kAudioBuffers - codec::audio_free_buffers();
    c.play_state = slot_.play_state.load();
    return c;
}

PaneJob::Next RemotePane::run(Clock::time_point now) {
    bool video_shown = false;
    for (;;) {
        // Held (a snapshot or print reads the picture) or stopped: nothing is taken; the UI
        // wakes the job when it runs again. Frames wait in the ring, and the network thread
        // stops reading once it is full.
        if (slot_.run_state.load() != view::kRunRun) return Next::wait();
        net::RingEntryInfo info;
        const uint8_t* item = ring_.front(&info);
        if (item == nullptr) {
            if (ended_.load(std::memory_order_acquire) && !end_reported_) {
                end_reported_ = true;
                streaming_.store(false, std::memory_order_release);
                if (env_.ui != nullptr && reports_.finished) env_.ui->post(reports_.finished);
            }
            return Next::wait();
        }
        if (info.kind == net::RingItem::stream_header) {
            if (info.bytes >= media::kStreamHeaderBytes) apply_header(item);
        } else if (info.kind == net::RingItem::notice) {
            refused_ = true;
            handoff_.show_notice(slot_, view::kPictureSizeNotSupported);
        } else if (header_seen_ && !refused_ &&
                   info.bytes >= static_cast<uint32_t>(net::frame_header_bytes(stage_.dual()))) {
            const bool dual = stage_.dual();
            const bool audio = dual ? (item[0] & 0x0F) == kClassAudio : (item[0] & kAudioFlag) != 0;
            const bool video = dual ? (item[0] & 0x0F) == kClassSub : !audio;
            if (audio) {
                audio_frame(item, info);
            } else if (video) {
                if (video_shown) return Next::run_at(now);
                if (!release_due_) {
                    const uint32_t capture_ms = media::load_u32(item + (dual ? 8 : 4));
                    release_ = pacer_.release_at(capture_ms, pace_context(), now);
                    release_due_ = true;
                }
                if (release_ > now + std::chrono::milliseconds(kReleaseToleranceMs))
                    return Next::run_at(release_);
                show_video(item, info);
                release_due_ = false;
                video_shown = true;
            }
            // Dual-form frames of other classes (main-stream pictures) are not shown here.
            slot_.frames_queued.fetch_add(1, std::memory_order_relaxed);
        }
        if (ring_.pop()) env_.hub->room_freed(stream_);
    }
}

void RemotePane::apply_header(const uint8_t* header28) {
    const media::DvrHeader h = media::parse_stream_header(header28);
    pacer_.restart();
    release_due_ = false;
    header_seen_ = true;
    refused_ = false;
    if (!stage_.apply_header(h)) {
        refused_ = true;
        handoff_.show_notice(slot_, view::kPictureSizeNotSupported);
        env_.hub->halt(stream_);
        return;
    }
    if (!handoff_.software_path() && env_.gpu != nullptr) {
        env_.gpu->set_pane_picture_size(stage_.created_width(), stage_.created_height(),
                                        slot_.pane);
        env_.gpu->create_pane_surface(slot_.pane);
    }
    handoff_.show_notice(slot_, "");
}

void RemotePane::show_video(const uint8_t* frame, const net::RingEntryInfo& info) {
    const bool dual = stage_.dual();
    const media::DvrRecordHeader record = media::parse_record_header(frame, dual);
    PictureInput in;
    in.payload = frame + record.header_bytes;
    in.payload_bytes = payload_of(info, record);
    in.packed_time = record.packed_datetime;
    in.received_ns = info.received_ns;
    in.rec = slot_.recording.load() != 0;
    // A recording's stream shows the sub-stream picture of a dual camera.
    const int handle = dual ? stage_.decoder(PictureStage::kDualSub) : stage_.standard_decoder();
    if (handoff_.standard_picture(stage_, slot_, handle, in) == PictureOutcome::size_mismatch) {
        refused_ = true;
        handoff_.show_notice(slot_, view::kPictureSizeNotSupported);
        env_.hub->halt(stream_);
        return;
    }
    shown_packed_.store(record.packed_datetime, std::memory_order_relaxed);
}

void RemotePane::audio_frame(const uint8_t* frame, const net::RingEntryInfo& info) {
    audio_seen_ = true;
    if (env_.state->audio_pane.load() != slot_.pane) return;
    const bool dual = stage_.dual();
    const media::DvrRecordHeader record = media::parse_record_header(frame, dual);
    // Standard form: six 512-byte blocks per frame; dual form: one block.
    play_audio_blocks(frame + record.header_bytes, payload_of(info, record),
                      dual ? 1 : kAudioFrameBlocks);
}

}  // namespace orvel::pane
