#include "view/live/live_panes.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "codec/decoder_table.h"

namespace orvel::view {

std::string_view caption_from_item_text(std::string_view item_text) {
    const size_t at = item_text.find("--");
    return at == std::string_view::npos ? item_text : item_text.substr(at + 2);
}

LivePanes::LivePanes(AppState& state, PaneLayoutHooks& layout, platform::MessageBoxPort& messages,
                     platform::MainControlsPort* controls, const net::LiveStreamEnv& env)
    : state_(state), layout_(layout), messages_(messages), controls_(controls), env_(env) {}

LivePanes::~LivePanes() {
    close_all();
    reap(true);
}

int LivePanes::open_live_pane(std::string_view address, int command_port, int channel,
                              std::string_view camera_item_text, bool record) {
    reap(false);
    const int pane = choose_pane(state_, layout_, messages_, PaneChoiceFor::live_open);
    if (pane < 0) return -1;
    const auto p = static_cast<size_t>(pane);
    // A stale slot left in this pane is released first.
    if (state_.live_slots[p]) release_live_slot(std::move(state_.live_slots[p]));

    std::unique_ptr<LiveSlot> slot = make_live_slot();
    if (!slot) return -1;
    slot->pane = pane;
    slot->recording = record ? 1 : 0;
    slot->renderer = state_.renderer;
    slot->pane_rect = pane_rect_in_area(pane, state_.grid_side, state_.video_client_width,
                                        state_.video_client_height);
    const std::string_view caption = caption_from_item_text(camera_item_text);
    const size_t n = std::min(caption.size(), slot->caption.size() - 1);
    std::memcpy(slot->caption.data(), caption.data(), n);
    slot->caption[n] = '\0';

    LiveSlot& s = *slot;
    state_.live_slots[p] = std::move(slot);
    const std::string address_text(address.substr(0, s.peer_address.size() - 1));
    if (!net::stream_open(s, address_text.c_str(), command_port + 1, channel, env_)) {
        release_live_slot(std::move(state_.live_slots[p]));
        state_.pane_kind[p] = PANE_FREE;
        return -1;
    }
    state_.open_pane_count += 1;
    state_.pane_kind[p] = PANE_LIVE;
    return pane;
}

bool LivePanes::close_live_pane(int pane) {
    if (pane < 0 || pane >= kMaxPanes) return false;
    const auto p = static_cast<size_t>(pane);
    if (!state_.live_slots[p]) return false;
    release_live_slot(std::move(state_.live_slots[p]));
    state_.open_pane_count -= 1;
    state_.pane_kind[p] = PANE_FREE;
    state_.pane_sources[p] = PaneSource{};
    if (controls_ != nullptr) controls_->invalidate_video(pane_cell(state_, pane));
    return true;
}

void LivePanes::close_all() {
    for (int pane = 0; pane < kMaxPanes; ++pane)
        if (state_.live_slots[static_cast<size_t>(pane)]) close_live_pane(pane);
}

void LivePanes::release_live_slot(std::unique_ptr<LiveSlot> slot) {
    if (!slot) return;
    // A recording's file is finished by the recorder when its receiving thread stops.
    const bool ended = net::stream_stop(*slot, kReceiveThreadWaitMs);
    auto destroy = [](LiveSlot& s) {
        for (int32_t& handle : s.decoders) {
            if (handle != kNoDecoder) codec::decoder_destroy(handle);
            handle = kNoDecoder;
        }
    };
    if (ended) {
        destroy(*slot);
        return;  // freed here
    }
    // A thread is late: it still uses the slot, so the slot lives until it has ended.
    auto done = std::make_shared<std::atomic<bool>>(false);
    LiveSlot* raw = slot.release();
    std::lock_guard lock(retired_mutex_);
    retired_.push_back({std::thread([raw, done, destroy] {
                            net::stream_join_all(*raw);
                            destroy(*raw);
                            delete raw;
                            done->store(true);
                        }),
                        done});
}

void LivePanes::reap(bool wait_all) {
    std::lock_guard lock(retired_mutex_);
    for (auto it = retired_.begin(); it != retired_.end();) {
        if (wait_all || it->done->load()) {
            it->reaper.join();
            it = retired_.erase(it);
        } else {
            ++it;
        }
    }
}

int LivePanes::retired_slots() const {
    std::lock_guard lock(retired_mutex_);
    return static_cast<int>(retired_.size());
}

}  // namespace orvel::view
