#include "pane/live_panes.h"

#include <algorithm>
#include <cstring>

#include "platform/log.h"

namespace orvel::pane {

std::string_view caption_from_item_text(std::string_view item_text) {
    const size_t at = item_text.find("--");
    return at == std::string_view::npos ? item_text : item_text.substr(at + 2);
}

LivePanes::LivePanes(view::AppState& state, view::PaneLayoutHooks& layout,
                     platform::MessageBoxPort& messages, platform::MainControlsPort* controls,
                     const PipelineEnv& env)
    : state_(state), layout_(layout), messages_(messages), controls_(controls), env_(env) {}

LivePanes::~LivePanes() { close_all(); }

int LivePanes::open_live_pane(std::string_view address, int command_port, int channel,
                              std::string_view camera_item_text, bool record) {
    const int pane = view::choose_pane(state_, layout_, messages_, view::PaneChoiceFor::live_open);
    if (pane < 0) return -1;
    const auto p = static_cast<size_t>(pane);
    // A stale slot left in this pane is released first.
    if (state_.live_slots[p]) close_live_pane(pane);

    std::unique_ptr<view::LiveSlot> slot = view::make_live_slot();
    if (!slot) return -1;
    slot->pane = pane;
    slot->channel = channel;
    slot->stream_port = command_port + 1;
    const size_t address_bytes = std::min(address.size(), slot->peer_address.size() - 1);
    std::memcpy(slot->peer_address.data(), address.data(), address_bytes);
    const std::string_view caption = caption_from_item_text(camera_item_text);
    const size_t n = std::min(caption.size(), slot->caption.size() - 1);
    std::memcpy(slot->caption.data(), caption.data(), n);
    net::StreamRecorder* recorder = record && recorder_for ? recorder_for(*slot) : nullptr;
    slot->recording = recorder != nullptr;

    auto pipeline = std::make_unique<LivePane>(env_, *slot);
    const uint64_t generation = next_generation_++;
    state_.live_slots[p] = std::move(slot);
    generation_[p] = generation;
    if (!pipeline->ok() ||
        !pipeline->start([this, pane, generation] { open_failed(pane, generation); }, recorder)) {
        pipeline.reset();
        state_.live_slots[p].reset();
        state_.pane_kind[p] = view::PANE_FREE;
        if (on_closed) on_closed(pane);
        return -1;
    }
    pipelines_[p] = std::move(pipeline);
    state_.open_pane_count += 1;
    state_.pane_kind[p] = view::PANE_LIVE;
    return pane;
}

void LivePanes::open_failed(int pane, uint64_t generation) {
    const auto p = static_cast<size_t>(pane);
    // The pane may have been closed, or opened again, since the failure was posted.
    if (pane < 0 || pane >= view::kMaxPanes || !pipelines_[p] || generation_[p] != generation)
        return;
    close_live_pane(pane);
    if (on_open_failed) on_open_failed(pane);
}

bool LivePanes::close_live_pane(int pane) {
    if (pane < 0 || pane >= view::kMaxPanes) return false;
    const auto p = static_cast<size_t>(pane);
    if (!state_.live_slots[p]) return false;
    // Every thread is done with the pane before its slot goes.
    if (pipelines_[p]) pipelines_[p]->close();
    pipelines_[p].reset();
    state_.live_slots[p].reset();
    generation_[p] = 0;
    state_.open_pane_count -= 1;
    state_.pane_kind[p] = view::PANE_FREE;
    state_.pane_sources[p] = view::PaneSource{};
    if (controls_ != nullptr) controls_->invalidate_video(view::pane_cell(state_, pane));
    if (on_closed) on_closed(pane);
    return true;
}

void LivePanes::close_all() {
    for (int pane = 0; pane < view::kMaxPanes; ++pane)
        if (state_.live_slots[static_cast<size_t>(pane)]) close_live_pane(pane);
}

const LivePane* LivePanes::pipeline(int pane) const {
    if (pane < 0 || pane >= view::kMaxPanes) return nullptr;
    return pipelines_[static_cast<size_t>(pane)].get();
}

}  // namespace orvel::pane
