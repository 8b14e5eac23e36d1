#pragma once
// Local-file playback in the program: the open-file dialog and the playback buttons of the
// main window, the pane menu's play / speed / stop on a local-file pane, and the shell's
// timer 1 and seek slider (app::LocalPlaybackPort). The panes themselves run on the pane
// pipeline (pane/file_panes.h). Everything here runs on the UI thread.
#include <QWidget>
#include <memory>
#include <string>

#include "app/dispatcher.h"
#include "app/shell.h"
#include "pane/file_panes.h"
#include "platform/ports/main_controls.h"
#include "platform/ports/message_box.h"
#include "platform/ports/sleeper.h"

namespace orvel::gui {

class LiveView;

class ProgramPlayback final : public app::LocalPlaybackPort {
public:
    struct Links {
        view::AppState* state = nullptr;
        app::Shell* shell = nullptr;
        app::CommandDispatcher* dispatcher = nullptr;
        platform::MainControlsPort* controls = nullptr;
        platform::MessageBoxPort* messages = nullptr;
        platform::TimerPort* timers = nullptr;
        LiveView* live = nullptr;  // its pipelines run the file panes
        QWidget* dialog_parent = nullptr;
    };
    // Installs the commands and the shell port. The live view must outlive this object.
    explicit ProgramPlayback(Links links);
    // Closes every file pane (their jobs end before the pipelines go).
    ~ProgramPlayback() override;

    // Opens `path` in a pane as the open-file button does after its dialog. Returns the pane
    // or -1.
    int open_file(const std::string& path);
    pane::FilePanes& files() { return *files_; }

    // app::LocalPlaybackPort.
    bool plays_file(int pane) const override;
    std::int64_t position(int pane) const override;
    std::int64_t length(int pane) const override;
    int play_state(int pane) const override;
    void pause(int pane) override;
    void seek(int pane, std::int64_t target) override;
    void resume(int pane) override;
    void show_time(int pane, std::int64_t value) override;
    void refresh_controls(int pane) override;
    void finish_pane(int pane) override;

    // Play/pause of a local-file pane (UI thread); other panes are left alone.
    void play_pause(int pane);

private:
    void open_file_command();
    void set_speed(int pane, int speed);
    void step(int pane);
    void stop(int pane);
    void started(int pane);
    pane::FilePane* file(int pane) const;

    Links links_;
    std::unique_ptr<pane::FilePanes> files_;
};

}  // namespace orvel::gui
