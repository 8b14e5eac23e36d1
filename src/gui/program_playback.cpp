#include "gui/program_playback.h"

#include <QFileDialog>
#include <cstdio>

#include "app/command_ids.h"
#include "gui/live_view.h"
#include "view/strings.h"

namespace orvel::gui {

namespace id = app::id;

namespace {

// Faces of the playback buttons.
constexpr int kFaceStopPressed = 253, kFaceStop = 254, kFacePlay = 255, kFacePause = 256;

}  // namespace

ProgramPlayback::ProgramPlayback(Links links) : links_(links) {
    files_ = std::make_unique<pane::FilePanes>(*links_.state, *links_.shell, *links_.messages,
                                               links_.live->pipelines().env());
    files_->on_closed = [this](int pane) {
        links_.live->clear_pane_picture(pane);
        links_.controls->invalidate_video(view::pane_cell(*links_.state, pane));
        refresh_controls(links_.state->selected_pane.load());
    };
    links_.shell->set_local_playback(this);
    app::CommandDispatcher& d = *links_.dispatcher;
    view::AppState& s = *links_.state;
    d.set_handler(id::kOpenFile, [this](int) { open_file_command(); });
    d.set_handler(id::kPlayPause, [this, &s](int) { play_pause(s.selected_pane.load()); });
    d.set_handler(id::kFrameStep, [this, &s](int) { step(s.selected_pane.load()); });
    d.set_handler(id::kStop, [this, &s](int) { stop(s.selected_pane.load()); });
    d.set_handler(id::kSpeedPlay, [this, &s](int) {
        // The combo box gives 2 for its first entry, 3 for its second and 4 for any other.
        const int entry = links_.controls->combo_selection(id::kSpeedBox);
        set_speed(s.selected_pane.load(), entry <= 0 ? 2 : (entry == 1 ? 3 : 4));
    });
    d.set_handler(id::kPaneSpeed2,
                  [this, &s](int cmd) { set_speed(s.menu_pane, cmd - id::kPaneSpeed2 + 2); });
    // The pane menu's "stop" on a local-file pane; other playback panes keep their handler.
    app::ShellHooks& hooks = links_.shell->hooks();
    hooks.stop_playback_pane = [this, previous = hooks.stop_playback_pane](int pane) {
        if (plays_file(pane)) {
            stop(pane);
        } else if (previous) {
            previous(pane);
        }
    };
}

ProgramPlayback::~ProgramPlayback() {
    links_.shell->set_local_playback(nullptr);
    files_->on_closed = nullptr;
    files_.reset();
}

pane::FilePane* ProgramPlayback::file(int pane) const {
    return const_cast<pane::FilePanes&>(*files_).pane(pane);
}

void ProgramPlayback::open_file_command() {
    links_.controls->set_face(id::kOpenFile, view::bitmap::kOpenFilePressed);
    links_.controls->set_face(id::kOpenFile, view::bitmap::kOpenFileNormal);
    if (!files_->pane_available()) return;
    const QString chosen = QFileDialog::getOpenFileName(
        links_.dialog_parent, QString::fromUtf8(view::strings::kStr42OpenDvrFile), QString(),
        QStringLiteral("dvr files (*.dvr)"));
    if (chosen.isEmpty()) return;
    open_file(chosen.toStdString());
}

int ProgramPlayback::open_file(const std::string& path) {
    const int pane = files_->open_file(path);
    if (pane >= 0) started(pane);
    return pane;
}

void ProgramPlayback::started(int pane) {
    links_.state->selected_pane.store(pane);
    refresh_controls(pane);
    if (const pane::FilePane* f = file(pane)) show_time(pane, f->duration_ms());
    links_.timers->start_timer(id::kTimerPlayback, id::kPlaybackPeriodMs);
}

bool ProgramPlayback::plays_file(int pane) const { return file(pane) != nullptr; }

std::int64_t ProgramPlayback::position(int pane) const {
    const pane::FilePane* f = file(pane);
    return f ? f->position_ms() : 0;
}

std::int64_t ProgramPlayback::length(int pane) const {
    const pane::FilePane* f = file(pane);
    return f ? f->duration_ms() : 0;
}

int ProgramPlayback::play_state(int pane) const {
    const pane::FilePane* f = file(pane);
    return f ? f->play_state() : 0;
}

void ProgramPlayback::pause(int pane) {
    pane::FilePane* f = file(pane);
    if (f != nullptr && f->play_state() == pane::kLocalPlaying) f->toggle();
}

void ProgramPlayback::resume(int pane) {
    pane::FilePane* f = file(pane);
    if (f != nullptr && f->play_state() != pane::kLocalPlaying) f->toggle();
    refresh_controls(pane);
}

void ProgramPlayback::seek(int pane, std::int64_t target) {
    pane::FilePane* f = file(pane);
    if (f != nullptr) f->seek(static_cast<uint32_t>(target < 0 ? 0 : target));
}

void ProgramPlayback::show_time(int, std::int64_t value) {
    const std::int64_t ms = value < 0 ? 0 : value;
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(ms / 3'600'000),
                  static_cast<int>(ms / 60'000 % 60), static_cast<int>(ms / 1000 % 60));
    links_.controls->set_text(id::kTimeText, text);
}

void ProgramPlayback::refresh_controls(int pane) {
    const pane::FilePane* f = file(pane);
    if (f == nullptr) return;  // other panes' controls are their owners' business
    for (int control : {id::kSpeedBox, id::kTimeText, id::kSeekSlider, id::kPlayPause,
                        id::kSpeedPlay, id::kStop, id::kPrint, id::kPhoto, id::kFrameStep})
        links_.controls->set_visible(control, true);
    links_.controls->set_face(id::kPlayPause,
                              f->play_state() == pane::kLocalPlaying ? kFacePause : kFacePlay);
}

void ProgramPlayback::play_pause(int pane) {
    pane::FilePane* f = file(pane);
    if (f == nullptr) return;
    f->toggle();
    refresh_controls(pane);
    if (f->play_state() == pane::kLocalPlaying) {
        show_time(pane, f->duration_ms());
        links_.timers->start_timer(id::kTimerPlayback, id::kPlaybackPeriodMs);
    }
}

void ProgramPlayback::set_speed(int pane, int speed) {
    pane::FilePane* f = file(pane);
    if (f == nullptr || f->duration_ms() == 0) return;
    f->set_speed(speed);
    refresh_controls(pane);
    links_.timers->start_timer(id::kTimerPlayback, id::kPlaybackPeriodMs);
}

void ProgramPlayback::step(int pane) {
    pane::FilePane* f = file(pane);
    if (f == nullptr || f->duration_ms() == 0) return;
    f->step();
    links_.controls->set_face(id::kPlayPause, kFacePlay);
}

void ProgramPlayback::stop(int pane) {
    if (!plays_file(pane)) return;
    links_.controls->set_face(id::kStop, kFaceStopPressed);
    links_.controls->set_face(id::kStop, kFaceStop);
    if (links_.state->full_view_active.load()) links_.shell->leave_full_view();
    files_->close_file_pane(pane);
}

void ProgramPlayback::finish_pane(int pane) { files_->close_file_pane(pane); }

}  // namespace orvel::gui
