#include "pane/file_panes.h"

#include <algorithm>
#include <cstring>

#include "platform/log.h"
#include "view/strings.h"

namespace orvel::pane {

FilePanes::FilePanes(view::AppState& state, view::PaneLayoutHooks& layout,
                     platform::MessageBoxPort& messages, const PipelineEnv& env)
    : state_(state), layout_(layout), messages_(messages), env_(env) {}

FilePanes::~FilePanes() { close_all(); }

bool FilePanes::pane_available() {
    if (state_.open_pane_count < view::kMaxPanes) return true;
    messages_.show_message(view::strings::kStr72NoPaneFree, "");
    return false;
}

int FilePanes::open_file(const std::string& path) {
    if (!pane_available()) return -1;
    int pane = state_.selected_pane.load();
    if (pane < 0 || pane >= view::kMaxPanes ||
        state_.pane_kind[static_cast<std::size_t>(pane)] != view::PANE_FREE) {
        if (state_.full_view_active.load()) layout_.leave_full_view();
        pane = view::choose_pane(state_, layout_, messages_, view::PaneChoiceFor::live_open);
        if (pane < 0) return -1;
    }
    const auto p = static_cast<std::size_t>(pane);
    std::unique_ptr<view::LocalFileSlot> slot = view::make_local_slot();
    if (!slot) return -1;
    slot->pane = pane;
    const std::size_t n = std::min(path.size(), slot->file_path.size() - 1);
    std::memcpy(slot->file_path.data(), path.data(), n);
    slot->play_state.store(kLocalPlaying);
    slot->speed_divisor.store(1);

    auto file = std::make_unique<FilePane>(env_, *slot);
    const media::DvrStatus status = file->open(path);
    if (status != media::DvrStatus::ok) {
        ORVEL_LOG_WARN("local file %s cannot be played: %s", path.c_str(),
                       status == media::DvrStatus::cannot_open ? "cannot be opened" : "damaged");
        messages_.show_message(status == media::DvrStatus::cannot_open ? "the file cannot be opened"
                                                                       : "the file is damaged",
                               path);
        return -1;
    }
    const uint64_t generation = next_generation_++;
    state_.local_slots[p] = std::move(slot);
    std::weak_ptr<int> alive = alive_;
    if (!file->start([this, alive, pane, generation](FileEnd how) {
            if (!alive.expired()) ended(pane, generation, how);
        })) {
        state_.local_slots[p].reset();
        return -1;
    }
    ORVEL_LOG_INFO("local file %s plays in pane %d (%u ms)", path.c_str(), pane + 1,
                   file->duration_ms());
    panes_[p] = std::move(file);
    generation_[p] = generation;
    state_.open_pane_count += 1;
    state_.pane_kind[p] = view::PANE_LOCAL_FILE;
    return pane;
}

void FilePanes::ended(int pane, uint64_t generation, FileEnd how) {
    const auto p = static_cast<std::size_t>(pane);
    if (!panes_[p] || generation_[p] != generation) return;  // closed or reopened meanwhile
    if (how == FileEnd::damaged) {
        const char* path = state_.local_slots[p] ? state_.local_slots[p]->file_path.data() : "";
        messages_.show_message("the file is damaged: playing stopped", path);
    }
    close_file_pane(pane);
    if (on_ended) on_ended(pane, how);
}

bool FilePanes::close_file_pane(int pane) {
    if (pane < 0 || pane >= view::kMaxPanes) return false;
    const auto p = static_cast<std::size_t>(pane);
    if (!panes_[p]) return false;
    if (state_.local_slots[p]) state_.local_slots[p]->play_state.store(kLocalStopped);
    // The job has ended for good before its slot goes.
    panes_[p]->close();
    panes_[p].reset();
    state_.local_slots[p].reset();
    generation_[p] = 0;
    state_.open_pane_count -= 1;
    state_.pane_kind[p] = view::PANE_FREE;
    if (on_closed) on_closed(pane);
    return true;
}

void FilePanes::close_all() {
    for (int pane = 0; pane < view::kMaxPanes; ++pane) close_file_pane(pane);
}

FilePane* FilePanes::pane(int pane) {
    if (pane < 0 || pane >= view::kMaxPanes) return nullptr;
    return panes_[static_cast<std::size_t>(pane)].get();
}

const FilePane* FilePanes::pane(int pane) const {
    if (pane < 0 || pane >= view::kMaxPanes) return nullptr;
    return panes_[static_cast<std::size_t>(pane)].get();
}

}  // namespace orvel::pane
