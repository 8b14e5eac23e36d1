#include "pane/live_pane.h"

#include <algorithm>
#include <cstring>

#include "media/stream_format.h"
#include "pane/audio_path.h"
#include "view/app_state.h"

namespace orvel::pane {
namespace {

constexpr uint8_t kAudioFlag = 0x01;    // standard form: bit 0 set = audio frame
constexpr uint8_t kNotKeyFrame = 0x80;  // dual form: bit 7 set = not a key frame
constexpr int kClassMain = 0, kClassAudio = 1, kClassSub = 2;

// Payload bytes a queued frame really holds (the ring guarantees header + length fit).
int payload_of(const net::RingEntryInfo& info, const media::DvrRecordHeader& record) {
    const auto held = static_cast<uint32_t>(info.bytes - record.header_bytes);
    return static_cast<int>(std::min(record.length_bytes, held));
}

}  // namespace

LivePane::LivePane(const PipelineEnv& env, view::LiveSlot& slot)
    : env_(env), slot_(slot), handoff_(env) {}

LivePane::~LivePane() { close(); }

bool LivePane::start(std::function<void()> on_open_failed, net::StreamRecorder* recorder) {
    if (!ok() || env_.hub == nullptr || env_.workers == nullptr) return false;
    on_open_failed_ = std::move(on_open_failed);
    net::StreamTarget target;
    target.address.assign(slot_.peer_address.data(),
                          strnlen(slot_.peer_address.data(), slot_.peer_address.size()));
    target.port = slot_.stream_port;
    const net::StreamRequest request = net::build_stream_request(slot_.channel);
    std::copy(request.begin(), request.end(), target.request.begin());
    target.request_bytes = request.size();
    target.reconnect = true;
    target.channel = slot_.channel;
    handoff_.show_notice(slot_, view::kPaneConnecting);
    stream_ = env_.hub->open(target, ring_, *this, recorder);
    if (stream_ == 0) return false;
    // Items queued before the job was attached are taken by this first run.
    env_.workers->attach(*this);
    attached_ = true;
    env_.workers->wake(*this);
    return true;
}

void LivePane::close() {
    // The job first: once detached it never runs again, so the stream id it reads is stable
    // until the connection is closed below.
    if (attached_) env_.workers->detach(*this);
    attached_ = false;
    if (stream_ != 0) env_.hub->close(stream_);
    stream_ = 0;
    stage_.release();
}

void LivePane::on_items_queued() { env_.workers->wake(*this); }

void LivePane::on_open_failed() {
    if (env_.ui != nullptr && on_open_failed_) env_.ui->post(on_open_failed_);
}

PaneJob::Next LivePane::run(Clock::time_point now) {
    bool video_shown = false;
    for (;;) {
        net::RingEntryInfo info;
        const uint8_t* item = ring_.front(&info);
        if (item == nullptr) return Next::wait();
        if (info.kind == net::RingItem::stream_header) {
            if (info.bytes >= media::kStreamHeaderBytes) apply_header(item);
        } else if (info.kind == net::RingItem::notice) {
            if (info.bytes >= 1 &&
                item[0] == static_cast<uint8_t>(net::RingNotice::size_not_supported)) {
                refused_ = true;
                handoff_.show_notice(slot_, view::kPictureSizeNotSupported);
            }
        } else if (header_seen_ && !refused_) {
            const bool dual = stage_.dual();
            if (info.bytes < static_cast<uint32_t>(net::frame_header_bytes(dual))) {
                // Cannot happen with the ring's cutting; skipped rather than trusted.
            } else if (dual) {
                // One shown picture per run, then the other panes' frames go first.
                if (video_shown) return Next::run_at(now);
                dual_frame(item, info);
                video_shown = (item[0] & 0x0F) != kClassAudio;
            } else if ((item[0] & kAudioFlag) != 0) {
                const media::DvrRecordHeader record = media::parse_record_header(item, false);
                audio_blocks(item + record.header_bytes, payload_of(info, record));
            } else {
                if (video_shown) return Next::run_at(now);
                if (!release_due_) {
                    PaceContext context;
                    context.queued_entries = ring_.queued();
                    release_ = pacer_.release_at(media::load_u32(item + 4), context, now);
                    release_due_ = true;
                }
                if (release_ > now + std::chrono::milliseconds(kReleaseToleranceMs))
                    return Next::run_at(release_);
                standard_frame(item, info);
                release_due_ = false;
                video_shown = true;
            }
            slot_.frames_queued.fetch_add(1, std::memory_order_relaxed);
        }
        if (ring_.pop()) env_.hub->room_freed(stream_);
    }
}

void LivePane::apply_header(const uint8_t* header28) {
    const media::DvrHeader h = media::parse_stream_header(header28);
    pacer_.restart();
    release_due_ = false;
    header_seen_ = true;
    refused_ = false;
    if (!stage_.apply_header(h)) {
        refuse_stream();
        return;
    }
    slot_.stream_id.store(stage_.stream_id());
    slot_.dual_stream.store(stage_.dual() ? 1 : 0);
    if (env_.gpu != nullptr) {
        // The GPU path learns the picture size on either path: a display switch builds the
        // pane's surface at this size, and the GPU path copies a picture only when its size
        // is the announced one (a surface of another size would be read past the picture).
        if (stage_.dual()) env_.gpu->use_narrow_high_res(h.width == 320);
        env_.gpu->set_pane_picture_size(stage_.created_width(), stage_.created_height(),
                                        slot_.pane);
        if (!handoff_.software_path()) env_.gpu->create_pane_surface(slot_.pane);
    }
    handoff_.show_notice(slot_, "");
}

void LivePane::refuse_stream() {
    // Closed for good: the pane says why, and nothing it would draw could be right.
    refused_ = true;
    handoff_.show_notice(slot_, view::kPictureSizeNotSupported);
    env_.hub->halt(stream_);
}

void LivePane::audio_blocks(const uint8_t* payload, int payload_bytes) {
    audio_seen_ = true;
    if (env_.state->audio_pane.load() == slot_.pane)
        play_audio_blocks(payload, payload_bytes, kAudioFrameBlocks);
}

void LivePane::standard_frame(const uint8_t* frame, const net::RingEntryInfo& info) {
    const media::DvrRecordHeader record = media::parse_record_header(frame, false);
    PictureInput in;
    in.payload = frame + record.header_bytes;
    in.payload_bytes = payload_of(info, record);
    in.packed_time = record.packed_datetime;
    in.received_ns = info.received_ns;
    in.rec = slot_.recording;
    if (handoff_.standard_picture(stage_, slot_, stage_.standard_decoder(), in) ==
        PictureOutcome::size_mismatch)
        refuse_stream();
}

void LivePane::dual_frame(const uint8_t* frame, const net::RingEntryInfo& info) {
    const media::DvrRecordHeader record = media::parse_record_header(frame, true);
    const bool key_frame = (frame[0] & kNotKeyFrame) == 0;
    PictureInput in;
    in.payload = frame + record.header_bytes;
    in.payload_bytes = payload_of(info, record);
    in.packed_time = record.packed_datetime;
    in.received_ns = info.received_ns;
    in.rec = slot_.recording;
    if (record.frame_class == kClassAudio) {
        audio_blocks(in.payload, in.payload_bytes);
        return;
    }
    if (record.frame_class != kClassSub && record.frame_class != kClassMain) return;
    int request = slot_.switch_request.load();
    const int asked = request;
    const DualAction action = dual_switch_step(
        switch_, record.frame_class == kClassMain ? DualFrameClass::main : DualFrameClass::sub,
        key_frame, request);
    if (request != asked) slot_.switch_request.store(request);
    const int sub = stage_.decoder(PictureStage::kDualSub);
    PictureOutcome outcome = PictureOutcome::no_picture;
    switch (action) {
        case DualAction::drop:
            return;
        case DualAction::decode_hidden:
            outcome = handoff_.standard_picture(stage_, slot_, sub, in, false);
            break;
        case DualAction::show_sub:
            outcome = handoff_.standard_picture(stage_, slot_, sub, in);
            break;
        case DualAction::show_main:
            // The stamp keeps describing the sub picture's digits: the main picture carries
            // the time as text, so the sub picture's stamp is right when it returns.
            outcome = handoff_.main_stream_picture(stage_, slot_, in);
            break;
    }
    if (outcome == PictureOutcome::size_mismatch) refuse_stream();
}

}  // namespace orvel::pane
