#include "gui/live_view.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "view/panes.h"

namespace orvel::gui {

LiveView::LiveView(view::AppState& state, Links links) : state_(state), links_(std::move(links)) {
    pipelines_ = std::make_unique<pane::PanePipelines>(state_);
    pipelines_->env().ui = &ui_post_;
    panes_ = std::make_unique<pane::LivePanes>(state_, *links_.shell, *links_.messages,
                                               links_.controls, pipelines_->env());
    if (links_.ini != nullptr && links_.drives != nullptr) {
        media::RecorderEnv env;
        env.ini = links_.ini;
        env.drives = links_.drives;
        env.clock = &clock_;
        recordings_ = std::make_unique<pane::LiveRecordings>(env, ui_post_);
        recordings_->on_fault = [this](int pane, media::RecordFault fault,
                                       const std::string& label) {
            recording_fault(pane, fault, label);
        };
        panes_->recorder_for = [this](const view::LiveSlot& slot) {
            fault_shown_[static_cast<std::size_t>(slot.pane)] = false;
            return recordings_->start(slot);
        };
        panes_->on_closed = [this](int pane) { recordings_->finish(pane); };
    }
    panes_->on_open_failed = [this](int pane) {
        if (gpu_) gpu_->clear_pane(pane);
        if (software_) software_->clear_pane(pane);
        if (links_.open_failed) links_.open_failed(pane);
    };
}

LiveView::~LiveView() {
    // Every pane has closed and every pipeline thread has ended before a renderer goes; the
    // recordings finish their files once no connection feeds them.
    panes_.reset();
    pipelines_.reset();
    recordings_.reset();
    state_.renderer = nullptr;
}

void LiveView::install(app::ShellHooks& hooks) {
    hooks.renderer_create = [this] { create_renderer(); };
    hooks.renderer_rebuild = [this](int pane_count) { return rebuild_panes(pane_count); };
    hooks.renderer_restore_grid = [this] {
        if (gpu_ && gpu_->pane_full_view()) gpu_->toggle_pane_full_view(gpu_->current_pane());
    };
    hooks.renderer_full_view = [this](int pane) {
        if (!gpu_ || gpu_->pane_full_view()) return false;
        return gpu_->toggle_pane_full_view(pane);
    };
    hooks.renderer_release = [this] {
        if (gpu_) gpu_->renderer_release();
    };
    hooks.renderer_retarget = [this](bool full_screen) {
        if (!gpu_) return true;
        gpu_->set_device_window(full_screen);
        return make_gpu_targets();
    };
    hooks.renderer_switch = [this](bool gpu) {
        if (!gpu) {
            if (gpu_) gpu_->renderer_release();
            state_.renderer = nullptr;
            return true;
        }
        if (!gpu_) return false;
        gpu_->set_device_window(state_.full_screen_active.load() != 0);
        if (!make_gpu_targets()) {
            gpu_->renderer_release();
            state_.renderer = nullptr;
            return false;
        }
        // The software path's pictures would stay under the GPU path's where it has none.
        if (software_) software_->clear_panes();
        state_.renderer = &renderer_state_;
        return true;
    };
    hooks.full_view_changed = [this] { reset_zoom(); };
    hooks.stream_select_sub = [this](int pane) { select_stream(pane, false); };
    hooks.stream_select_main = [this](int pane) { select_stream(pane, true); };
}

void LiveView::select_stream(int pane, bool main_stream) {
    if (pane < 0 || pane >= view::kMaxPanes) return;
    view::LiveSlot* slot = state_.live_slots[static_cast<std::size_t>(pane)].get();
    if (slot == nullptr || slot->dual_stream.load() == 0) return;
    slot->switch_request.store(main_stream ? 1 : 2);
    if (links_.stream_select)
        links_.stream_select(pane, main_stream, slot->stream_port, slot->stream_id);
}

void LiveView::create_renderer() {
    // Both paths exist for the whole run, so the pane pipelines' view of them never changes
    // while they draw; the display mode chooses which one draws, and a switch only makes or
    // lets go of the GPU path's device.
    gpu_ = std::make_unique<render::GlRenderer>(links_.video_window, *links_.messages);
    software_ = std::make_unique<render::SoftwareRenderer>(links_.video_window);
    pipelines_->env().gpu = gpu_.get();
    pipelines_->env().blitter = software_.get();
    state_.renderer = nullptr;
    if (state_.display_gdi.load() != 0) return;
    if (gpu_->renderer_create()) {
        renderer_state_.gpu = gpu_.get();
        state_.renderer = &renderer_state_;
        return;
    }
    // "create device failed" has been shown. Rather than a grid that never shows a
    // picture, the pictures go through the software path for this run.
    state_.display_gdi.store(1);
}

bool LiveView::make_gpu_targets() {
    renderer_state_.gpu = gpu_.get();
    if (!gpu_->renderer_create()) return false;
    return rebuild_panes(state_.layout_pane_count);
}

bool LiveView::rebuild_panes(int pane_count) {
    reset_zoom();  // a new layout starts from whole pictures
    if (!gpu_) return true;
    const int side = state_.grid_side;
    const bool full_screen = state_.full_screen_active.load() != 0;
    const int width = full_screen ? state_.screen.full_screen_width : state_.video_client_width;
    const int height = full_screen ? state_.screen.full_screen_height : state_.video_client_height;
    const int count = std::clamp(pane_count, 0, view::kMaxRenderPanes);
    for (int p = 0; p < count; ++p)
        rects_[static_cast<std::size_t>(p)] = view::gpu_pane_rect(p, side, width, height);
    return gpu_->renderer_build_panes(count, rects_.data());
}

void LiveView::set_full_screen_window(QWidget* window) {
    full_screen_window_ = window;
    if (gpu_) gpu_->set_full_screen_window(window);
    if (software_) software_->set_full_screen_window(window);
}

void LiveView::close_all() {
    for (int pane = 0; pane < view::kMaxPanes; ++pane)
        if (state_.live_slots[static_cast<std::size_t>(pane)]) close_live_pane(pane);
}

int LiveView::open_live_pane(const net::LiveCameraTarget& target, bool record) {
    const platform::TreeItem item =
        links_.tree != nullptr ? links_.tree->selected_item() : platform::kNoTreeItem;
    const std::string item_text =
        item != platform::kNoTreeItem ? links_.tree->item_text(item) : std::string();
    // Without a recorder a pane only plays (never "REC" with no file behind it).
    return panes_->open_live_pane(target.address, target.command_port, target.camera, item_text,
                                  record || record_every_pane_);
}

void LiveView::recording_fault(int pane, media::RecordFault fault, const std::string& label) {
    const bool faulted = fault != media::RecordFault::none;
    if (gpu_) gpu_->set_pane_rec_fault(pane, faulted);
    if (software_) software_->set_pane_rec_fault(pane, faulted);
    bool& shown = fault_shown_[static_cast<std::size_t>(pane)];
    // One message per episode; the writer's log has every change.
    if (faulted && !shown && links_.messages != nullptr) {
        shown = true;
        const std::string text = "REC " + label + ": " + media::record_fault_text(fault);
        links_.messages->show_message(text, "");
    }
    if (!faulted) shown = false;
}

void LiveView::clear_pane_picture(int pane) {
    if (gpu_) gpu_->clear_pane(pane);
    if (software_) software_->clear_pane(pane);
}

void LiveView::close_live_pane(int pane) {
    if (!panes_->close_live_pane(pane)) return;
    if (gpu_) gpu_->clear_pane(pane);
    if (software_) software_->clear_pane(pane);
}

bool LiveView::pane_is_live(int pane) {
    if (pane < 0 || pane >= view::kMaxPanes) return false;
    const auto p = static_cast<std::size_t>(pane);
    return state_.pane_kind[p] == view::PANE_LIVE && state_.live_slots[p] != nullptr;
}

void LiveView::leave_full_view() {
    if (state_.full_view_active.load() != 0) links_.shell->leave_full_view();
}

void LiveView::set_split(int grid_side) {
    // Auto-play only grows the grid; panes already playing never drop out of view.
    if (grid_side > state_.grid_side) links_.shell->split_change(grid_side);
}

int LiveView::open_pane_count() { return state_.open_pane_count; }

void LiveView::select_pane(int pane) {
    const int side = std::max(state_.grid_side, 1);
    if (pane < 0 || pane >= side * side) return;
    // The point marks the pane in the window that holds the panes now.
    const platform::Rect cell = view::picking_cell(state_, pane);
    state_.selected_pane.store(pane);
    state_.last_click_x = static_cast<std::int16_t>((cell.left + cell.right) / 2);
    state_.last_click_y = static_cast<std::int16_t>((cell.top + cell.bottom) / 2);
    if (links_.controls != nullptr)
        links_.controls->invalidate_video(
            {0, 0, state_.video_client_width, state_.video_client_height});
}

void LiveView::on_video_click(int x, int y) {
    if (state_.full_view_active.load() != 0) return;
    select_pane(view::pane_at(state_, x, y));
    state_.last_click_x = static_cast<std::int16_t>(std::clamp(x, 0, 32767));
    state_.last_click_y = static_cast<std::int16_t>(std::clamp(y, 0, 32767));
}

void LiveView::zoom_wheel(int steps, int x, int y, int width, int height) {
    if (state_.full_view_active.load() == 0 || width <= 0 || height <= 0) return;
    if (zoom_.wheel(steps, static_cast<double>(x) / width, static_cast<double>(y) / height))
        apply_zoom();
}

void LiveView::zoom_drag(int dx, int dy, int width, int height) {
    if (state_.full_view_active.load() == 0 || width <= 0 || height <= 0) return;
    if (zoom_.drag(static_cast<double>(dx) / width, static_cast<double>(dy) / height)) apply_zoom();
}

void LiveView::reset_zoom() {
    zoom_.reset();
    apply_zoom();
}

void LiveView::apply_zoom() {
    const bool on = zoom_.zoomed() && state_.full_view_active.load() != 0;
    state_.full_view_zoomed.store(on ? 1 : 0);
    if (software_) software_->set_zoom(on ? state_.selected_pane.load() : -1, zoom_);
    if (gpu_) gpu_->set_zoom(zoom_);
}

void LiveView::show_selection_frame(const QRect& frame, QRgb rgb) {
    if (gpu_) gpu_->set_selection_frame(frame, rgb);
}

QRegion LiveView::pictures_region() const {
    if (state_.display_gdi.load() == 0 || !software_) return QRegion();
    return software_->covered_region();
}

view::RenderStats* LiveView::render_stats() {
    if (state_.display_gdi.load() == 0 && gpu_) return gpu_.get();
    return software_.get();
}

}  // namespace orvel::gui

namespace orvel::gui {

void LiveView::write_statistics_every_second(const std::string& path) {
    statistics_timer_ = std::make_unique<QTimer>();
    QObject::connect(statistics_timer_.get(), &QTimer::timeout, [this, path] {
        uint64_t frames = 0, drawn = 0, presented = 0, replaced = 0;
        int panes = 0;
        for (const auto& slot : state_.live_slots) {
            if (!slot) continue;
            ++panes;
            frames += slot->frames_queued.load();
            drawn += slot->pictures_drawn.load();
        }
        view::RenderStats* stats = render_stats();
        view::LatencyHistogram latency;
        if (stats != nullptr) {
            for (int pane = 0; pane <= view::kHighResStatsPane; ++pane) {
                const view::PaneFrameCounts c = stats->pane_counts(pane);
                presented += c.presented;
                replaced += c.replaced;
            }
            latency = stats->latency();
        }
        // Written whole to a temporary file and renamed, so a reader never sees half of it.
        const std::string temporary = path + ".tmp";
        std::FILE* f = std::fopen(temporary.c_str(), "w");
        if (f == nullptr) return;
        const auto now_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
        std::fprintf(f,
                     "time_ms %lld\npanes %d\nframes %llu\ndrawn %llu\npresented %llu\n"
                     "replaced %llu\nlatency_bucket_us %d",
                     static_cast<long long>(now_ms), panes, static_cast<unsigned long long>(frames),
                     static_cast<unsigned long long>(drawn),
                     static_cast<unsigned long long>(presented),
                     static_cast<unsigned long long>(replaced), view::kLatencyBucketUs);
        // Per open pane, in pane order: long runs check that every pane still plays.
        std::fprintf(f, "\npane_drawn");
        for (const auto& slot : state_.live_slots)
            if (slot)
                std::fprintf(f, " %llu",
                             static_cast<unsigned long long>(slot->pictures_drawn.load()));
        std::fprintf(f, "\nlatency");
        for (uint64_t count : latency.counts)
            std::fprintf(f, " %llu", static_cast<unsigned long long>(count));
        std::fprintf(f, "\n");
        std::fclose(f);
        std::rename(temporary.c_str(), path.c_str());
    });
    statistics_timer_->start(1000);
}

}  // namespace orvel::gui
