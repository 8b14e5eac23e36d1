#include "pane/remote_panes.h"

#include <algorithm>
#include <cstring>

#include "platform/log.h"
#include "view/strings.h"

namespace orvel::pane {
namespace {

template <std::size_t N>
void copy_text(std::array<char, N>& to, std::string_view from) {
    to.fill(0);
    std::memcpy(to.data(), from.data(), std::min(from.size(), N - 1));
}

template <std::size_t N>
std::string text_of(const std::array<char, N>& from) {
    return std::string(from.data(), strnlen(from.data(), N));
}

// Seconds of the day of a PackedDateTime (hour bits 15-19, minute 20-25, second 26-31).
int packed_seconds_of_day(uint32_t packed) {
    const int hour = static_cast<int>((packed >> 15) & 0x1F);
    const int minute = static_cast<int>((packed >> 20) & 0x3F);
    const int second = static_cast<int>((packed >> 26) & 0x3F);
    return hour * 3600 + minute * 60 + second;
}

}  // namespace

RemotePanes::RemotePanes(view::AppState& state, view::PaneLayoutHooks& layout,
                         platform::MessageBoxPort& messages, platform::MainControlsPort* controls,
                         const PipelineEnv& env, Links links)
    : state_(state),
      layout_(layout),
      messages_(messages),
      controls_(controls),
      env_(env),
      links_(std::move(links)) {}

RemotePanes::~RemotePanes() { close_all(); }

int RemotePanes::pane_of(int camera) const {
    for (int pane = 0; pane < view::kMaxPanes; ++pane) {
        const auto& slot = state_.remote_slots[static_cast<std::size_t>(pane)];
        if (slot && slot->camera == camera - 1) return pane;
    }
    return -1;
}

bool RemotePanes::open_remote_pane(int camera) {
    if (camera < 1) return false;
    if (pane_of(camera) >= 0) return true;
    const int pane =
        view::choose_pane(state_, layout_, messages_, view::PaneChoiceFor::remote_open);
    if (pane < 0) return false;
    const auto p = static_cast<std::size_t>(pane);
    std::unique_ptr<view::RemoteFileSlot> slot = view::make_remote_slot();
    if (!slot) return false;
    slot->pane = pane;
    slot->camera = camera - 1;
    slot->address = state_.remote_site_address;
    slot->file_port = static_cast<uint16_t>(state_.remote_file_port);
    slot->play_state.store(1);
    slot->run_state.store(view::kRunRun);
    const std::string item = links_.camera_text ? links_.camera_text(camera) : std::string();
    copy_text(slot->caption, std::string(kRemoteCaptionPrefix) + item);
    state_.remote_slots[p] = std::move(slot);
    state_.open_pane_count += 1;
    state_.pane_kind[p] = view::PANE_REMOTE_FILE;
    ORVEL_LOG_INFO("remote pane %d opened for %s camera %d", pane,
                   text_of(state_.remote_site_address).c_str(), camera);
    if (links_.refresh_controls) links_.refresh_controls();
    return true;
}

bool RemotePanes::start_stream(int pane, int offset_s) {
    const auto p = static_cast<std::size_t>(pane);
    view::RemoteFileSlot& slot = *state_.remote_slots[p];
    auto pipeline = std::make_unique<RemotePane>(env_, slot);
    const uint64_t generation = next_generation_++;
    RemotePane::Reports reports;
    reports.finished = [this, pane, generation] { stream_finished(pane, generation); };
    reports.open_failed = [this, pane, generation] { open_failed(pane, generation); };
    generation_[p] = generation;
    if (!pipeline->ok() ||
        !pipeline->start(std::max(offset_s, 0), state_.fast_play.load() != 0, std::move(reports))) {
        generation_[p] = 0;
        return false;
    }
    ORVEL_LOG_INFO("remote pane %d: %s from %d s%s", pane, text_of(slot.file_path).c_str(),
                   offset_s, state_.fast_play.load() != 0 ? " (fast play)" : "");
    pipelines_[p] = std::move(pipeline);
    return true;
}

void RemotePanes::end_saving(int pane) {
    const auto p = static_cast<std::size_t>(pane);
    if (!savings_[p]) return;
    if (pipelines_[p]) pipelines_[p]->set_saving(nullptr);
    if (links_.writer != nullptr) links_.writer->stop(*savings_[p]);
    savings_[p].reset();
    state_.remote_recording_count.fetch_sub(1);
    if (state_.remote_slots[p]) state_.remote_slots[p]->recording.store(0);
}

void RemotePanes::stop_stream(int pane) {
    const auto p = static_cast<std::size_t>(pane);
    // A reopen or stop ends the copy being saved: it holds what was played until now.
    end_saving(pane);
    generation_[p] = 0;  // reports still on their way are for a stream that is gone
    if (!pipelines_[p]) return;
    pipelines_[p]->close();
    pipelines_[p].reset();
    if (controls_ != nullptr) controls_->invalidate_video(view::pane_cell(state_, pane));
}

bool RemotePanes::play_remote_file(int camera, const std::string& dvr_path, int segment_start_s,
                                   int offset_s) {
    const int pane = pane_of(camera);
    if (pane < 0) return false;
    stop_stream(pane);
    view::RemoteFileSlot& slot = *state_.remote_slots[static_cast<std::size_t>(pane)];
    copy_text(slot.file_path, dvr_path);
    slot.segment_start_s = segment_start_s;
    slot.play_state.store(1);
    slot.run_state.store(view::kRunRun);
    const bool ok = start_stream(pane, offset_s);
    if (links_.refresh_controls) links_.refresh_controls();
    return ok;
}

void RemotePanes::stop_remote_pane(int camera) {
    const int pane = pane_of(camera);
    if (pane >= 0) stop_stream(pane);
}

int RemotePanes::close_pane(int pane) {
    if (pane < 0 || pane >= view::kMaxPanes) return 0;
    const auto p = static_cast<std::size_t>(pane);
    if (!state_.remote_slots[p]) return 0;
    const int camera = state_.remote_slots[p]->camera + 1;
    stop_stream(pane);
    state_.remote_slots[p].reset();
    state_.open_pane_count -= 1;
    state_.pane_kind[p] = view::PANE_FREE;
    state_.pane_sources[p] = view::PaneSource{};
    if (controls_ != nullptr) controls_->invalidate_video(view::pane_cell(state_, pane));
    if (links_.refresh_controls) links_.refresh_controls();
    return camera;
}

void RemotePanes::close_remote_pane(int camera) { close_pane(pane_of(camera)); }

void RemotePanes::close_all() {
    for (int pane = 0; pane < view::kMaxPanes; ++pane)
        if (state_.remote_slots[static_cast<std::size_t>(pane)]) close_pane(pane);
}

int RemotePanes::remote_recording_count() { return state_.remote_recording_count.load(); }

bool RemotePanes::plays(int pane) const {
    const RemotePane* p = pipeline(pane);
    return p != nullptr && p->streaming();
}

int RemotePanes::pane_time_s(int pane) const {
    const RemotePane* p = pipeline(pane);
    if (p == nullptr || p->shown_packed_time() == 0) return -1;
    return packed_seconds_of_day(p->shown_packed_time());
}

int RemotePanes::playing_time_s() {
    int time_s = -1;
    for (int pane = 0; pane < view::kMaxPanes; ++pane) {
        if (!plays(pane)) continue;
        const int t = pane_time_s(pane);
        if (t >= 0) time_s = t;
    }
    return time_s;
}

const RemotePane* RemotePanes::pipeline(int pane) const {
    if (pane < 0 || pane >= view::kMaxPanes) return nullptr;
    return pipelines_[static_cast<std::size_t>(pane)].get();
}

const media::RemoteSaving* RemotePanes::saving(int pane) const {
    if (pane < 0 || pane >= view::kMaxPanes) return nullptr;
    return savings_[static_cast<std::size_t>(pane)].get();
}

bool RemotePanes::fast_play_toggle(bool timeline_exists) {
    if (!timeline_exists || state_.remote_recording_count.load() != 0) return false;
    state_.fast_play.store(state_.fast_play.load() != 0 ? 0 : 1);
    for (int pane = 0; pane < view::kMaxPanes; ++pane) {
        const auto p = static_cast<std::size_t>(pane);
        if (!state_.remote_slots[p] || !plays(pane)) continue;
        view::RemoteFileSlot& slot = *state_.remote_slots[p];
        if (slot.run_state.load() != view::kRunRun) continue;
        // The position of the picture on screen, from the recording's start.
        const int shown_s = pane_time_s(pane);
        const int position_s = shown_s < 0 ? 0 : std::max(shown_s - slot.segment_start_s, 0);
        stop_stream(pane);
        slot.play_state.store(1);
        start_stream(pane, position_s);
    }
    if (links_.refresh_controls) links_.refresh_controls();
    return true;
}

bool RemotePanes::fast_play_meets_live() const {
    if (state_.fast_play.load() == 0) return false;
    const view::RemoteFileSlot* playing = nullptr;
    for (int pane = 0; pane < view::kMaxPanes && playing == nullptr; ++pane)
        if (plays(pane)) playing = state_.remote_slots[static_cast<std::size_t>(pane)].get();
    if (playing == nullptr) return false;
    const std::string address = text_of(playing->address);
    for (const auto& live : state_.live_slots)
        if (live && text_of(live->peer_address) == address) return true;
    return false;
}

bool RemotePanes::record_toggle(int pane) {
    if (pane < 0 || pane >= view::kMaxPanes) return false;
    const auto p = static_cast<std::size_t>(pane);
    if (!state_.remote_slots[p]) return false;
    if (savings_[p]) {
        end_saving(pane);
        return true;
    }
    std::array<uint8_t, 28> header{};
    if (links_.writer == nullptr || !pipelines_[p] || !plays(pane) ||
        !pipelines_[p]->stream_header(header))
        return false;
    view::RemoteFileSlot& slot = *state_.remote_slots[p];
    auto saving = links_.writer->start_remote(pane, text_of(slot.address), text_of(slot.file_path),
                                              slot.camera + 1, header.data());
    if (!saving) return false;
    pipelines_[p]->set_saving(saving);
    savings_[p] = std::move(saving);
    state_.remote_recording_count.fetch_add(1);
    slot.recording.store(1);
    return true;
}

void RemotePanes::resume(int pane) {
    if (pane < 0 || pane >= view::kMaxPanes) return;
    const auto p = static_cast<std::size_t>(pane);
    if (!state_.remote_slots[p]) return;
    state_.remote_slots[p]->run_state.store(view::kRunRun);
    if (pipelines_[p]) pipelines_[p]->resume();
}

void RemotePanes::stream_finished(int pane, uint64_t generation) {
    const auto p = static_cast<std::size_t>(pane);
    if (pane < 0 || pane >= view::kMaxPanes || generation_[p] != generation ||
        !state_.remote_slots[p])
        return;
    // The DVR closed the recording: a copy being saved is complete.
    end_saving(pane);
    const int camera_index = state_.remote_slots[p]->camera;
    if (links_.finished) links_.finished(pane, camera_index);
}

void RemotePanes::open_failed(int pane, uint64_t generation) {
    const auto p = static_cast<std::size_t>(pane);
    if (pane < 0 || pane >= view::kMaxPanes || generation_[p] != generation ||
        !state_.remote_slots[p])
        return;
    const view::RemoteFileSlot& slot = *state_.remote_slots[p];
    ORVEL_LOG_ERROR("remote pane %d: %s:%d %s could not be opened", pane,
                    text_of(slot.address).c_str(), static_cast<int>(slot.file_port),
                    text_of(slot.file_path).c_str());
    stop_stream(pane);
    HandOff(env_).show_notice(slot, view::strings::kStr10ConnectFailed);
}

}  // namespace orvel::pane
