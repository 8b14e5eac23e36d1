#include "pane/file_pane.h"

#include <new>

#include "codec/audio_output.h"
#include "pane/audio_path.h"
#include "platform/log.h"
#include "view/app_state.h"

namespace orvel::pane {
namespace {

constexpr int kAudioBuffers = 12;  // wave-out buffers; queued = 12 - free

}  // namespace

FilePane::FilePane(const PipelineEnv& env, view::LocalFileSlot& slot)
    : env_(env), slot_(slot), handoff_(env) {}

FilePane::~FilePane() { close(); }

media::DvrStatus FilePane::open(const std::string& path) {
    const media::DvrStatus status = media::open_dvr_file(path, source_, reader_);
    if (status != media::DvrStatus::ok) return status;
    payload_.reset(new (std::nothrow) uint8_t[media::kPayloadBufferBytes]);
    if (!payload_ || !stage_.apply_header(reader_.header())) return media::DvrStatus::damaged;
    duration_ms_ = reader_.header().duration_ms;
    return status;
}

bool FilePane::start(std::function<void(FileEnd)> on_end) {
    if (!payload_ || env_.workers == nullptr || attached_) return false;
    on_end_ = std::move(on_end);
    if (!handoff_.software_path() && env_.gpu != nullptr) {
        env_.gpu->set_pane_picture_size(stage_.created_width(), stage_.created_height(),
                                        slot_.pane);
        env_.gpu->create_pane_surface(slot_.pane);
    }
    env_.workers->attach(*this);
    attached_ = true;
    env_.workers->wake(*this);
    return true;
}

void FilePane::close() {
    if (attached_) env_.workers->detach(*this);
    attached_ = false;
    stage_.release();
}

void FilePane::toggle() {
    slot_.speed_divisor.store(1);
    slot_.play_state.store(local_state_after_toggle(slot_.play_state.load()));
    if (attached_) env_.workers->wake(*this);
}

void FilePane::set_speed(int speed) {
    slot_.speed_divisor.store(speed < 2 ? 2 : (speed > 4 ? 4 : speed));
    slot_.play_state.store(local_state_after_speed(slot_.play_state.load()));
    if (attached_) env_.workers->wake(*this);
}

void FilePane::step() {
    if (slot_.play_state.load() == kLocalStopped) return;
    slot_.play_state.store(kLocalStep);
    if (attached_) env_.workers->wake(*this);
}

void FilePane::step_to_picture() {
    if (slot_.play_state.load() == kLocalStopped) return;
    step_to_picture_.store(true);
    slot_.play_state.store(kLocalStep);
    if (attached_) env_.workers->wake(*this);
}

bool FilePane::seek(uint32_t target_ms) {
    // The index is fixed once the file is open: whether an entry qualifies can be told here;
    // the job moves the reader.
    const std::size_t count = reader_.index_count();
    bool any = false;
    for (std::size_t i = 0; i < count && !any; ++i)
        any = static_cast<uint64_t>(reader_.index_entry(i).time_ms) + 5000 > target_ms;
    if (!any) return false;
    seek_target_ms_.store(target_ms);
    if (attached_) env_.workers->wake(*this);
    return true;
}

void FilePane::apply_seek() {
    const int64_t target = seek_target_ms_.exchange(-1);
    if (target < 0) return;
    media::DvrIndexEntry landed;
    if (!reader_.seek_time(static_cast<uint32_t>(target), &landed)) return;
    // What was read ahead belongs to the old place.
    record_pending_ = false;
    release_due_ = false;
    pacer_.restart();
    pacer_.seek_to(landed.time_ms);
    position_ms_.store(landed.time_ms, std::memory_order_relaxed);
    show_after_seek_ = slot_.play_state.load() == kLocalPaused;
}

PaneJob::Next FilePane::run(Clock::time_point now) {
    if (ended_) return Next::wait();
    apply_seek();
    for (;;) {
        const int32_t state = slot_.play_state.load();
        const LocalAction action = local_action(state);
        if (action == LocalAction::end) return Next::wait();  // the UI closes the pane
        if (action == LocalAction::wait && !show_after_seek_) {
            release_due_ = false;  // resuming starts a fresh schedule
            return Next::wait();
        }
        if (!record_pending_) {
            const media::DvrStatus status =
                reader_.next_record(record_, payload_.get(), media::kPayloadBufferBytes);
            if (status == media::DvrStatus::end_of_file || status == media::DvrStatus::truncated) {
                end(FileEnd::end_of_file);
                return Next::wait();
            }
            if (status != media::DvrStatus::ok) {
                end(FileEnd::damaged);
                return Next::wait();
            }
            record_pending_ = true;
            position_ms_.store(record_.time_ms, std::memory_order_relaxed);
        }
        if (record_.kind == media::RecordKind::video) {
            // A step or the picture after a seek is shown at once; playing follows the
            // capture times divided by the speed.
            const bool at_once = state == kLocalStep || show_after_seek_;
            if (!at_once) {
                if (!release_due_) {
                    PaceContext context;
                    context.speed = slot_.speed_divisor.load();
                    context.audio_followed =
                        audio_seen_ && env_.state->audio_pane.load() == slot_.pane;
                    if (context.audio_followed)
                        context.queued_audio_buffers = kAudioBuffers - codec::audio_free_buffers();
                    release_ = pacer_.release_at(record_.time_ms, context, now);
                    release_due_ = true;
                }
                if (release_ > now + std::chrono::milliseconds(kReleaseToleranceMs))
                    return Next::run_at(release_);
            } else {
                pacer_.seek_to(record_.time_ms);
            }
            video_record(now);
            show_after_seek_ = false;
            finish_record(true);
            // One picture per run: the other panes' frames go next.
            return Next::run_at(now);
        }
        if (record_.kind == media::RecordKind::audio) audio_record();
        finish_record(false);
    }
}

void FilePane::video_record(Clock::time_point) {
    PictureInput in;
    in.payload = payload_.get();
    in.payload_bytes = static_cast<int>(record_.payload_bytes);
    in.packed_time = record_.packed_datetime;
    const int handle =
        stage_.dual() ? stage_.decoder(PictureStage::kDualSub) : stage_.standard_decoder();
    handoff_.standard_picture(stage_, slot_, handle, in);
}

void FilePane::audio_record() {
    audio_seen_ = true;
    if (env_.state->audio_pane.load() == slot_.pane)
        play_audio_blocks(payload_.get(), static_cast<int>(record_.payload_bytes), 1);
}

void FilePane::finish_record(bool was_video) {
    record_pending_ = false;
    release_due_ = false;
    if (step_to_picture_.load() && !was_video) return;  // still stepping to a picture
    step_to_picture_.store(false);
    // A single step pauses again; a command given meanwhile is kept.
    int32_t expected = kLocalStep;
    slot_.play_state.compare_exchange_strong(expected, kLocalPaused);
}

void FilePane::end(FileEnd how) {
    ended_ = true;
    if (how == FileEnd::damaged)
        ORVEL_LOG_WARN("local file pane %d: damaged record at offset %llu", slot_.pane + 1,
                       static_cast<unsigned long long>(reader_.position()));
    if (env_.ui != nullptr && on_end_) env_.ui->post([fn = on_end_, how] { fn(how); });
}

}  // namespace orvel::pane
