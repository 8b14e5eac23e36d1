#pragma once
// The main window's logic: initialisation, the command map's own operations (split change,
// audio choice, exit, minimise, audio popup), set_layout's grid and audio-menu bookkeeping,
// timers 1 and 2, the seek slider and the private messages. The Qt window forwards its
// events here; everything reaches the screen through the ports.

#include <cstdint>
#include <functional>
#include <string_view>

#include "app/config.h"
#include "app/dispatcher.h"
#include "platform/ports/main_controls.h"
#include "platform/ports/menus.h"
#include "platform/ports/message_box.h"
#include "platform/ports/sleeper.h"
#include "platform/ports/timers.h"
#include "platform/ports/tree_control.h"
#include "platform/ports/ui_channel.h"
#include "view/app_state.h"
#include "view/panes.h"

namespace orvel::app {

struct ShellPorts {
    platform::MessageBoxPort& messages;
    platform::TreeControlPort& tree;
    platform::MenuPort& menus;
    platform::MainControlsPort& controls;
    platform::TimerPort& timers;
    platform::SleepPort& sleeper;
};

// Local file playback as the shell needs it (timer 1, the seek slider, the pane-finished
// message). Until local playback is built, no pane plays a file (`plays_file` is false).
class LocalPlaybackPort {
public:
    virtual ~LocalPlaybackPort() = default;
    // All: thread: UI thread.
    virtual bool plays_file(int pane) const = 0;
    virtual std::int64_t position(int pane) const = 0;
    virtual std::int64_t length(int pane) const = 0;
    virtual int play_state(int pane) const = 0;  // 2 = playing
    virtual void pause(int pane) = 0;
    // Hands the seek to the pane's pipeline; returns at once.
    virtual void seek(int pane, std::int64_t target) = 0;
    virtual void resume(int pane) = 0;
    virtual void show_time(int pane, std::int64_t value) = 0;  // sets the time text 1063
    virtual void refresh_controls(int pane) = 0;  // file-playback controls for the pane
    // Pane-finished handling of a local-file pane: stop, free the slot, count down,
    // repaint. Called only when pane_kind is PANE_LOCAL_FILE.
    virtual void finish_pane(int pane) = 0;
};

// Operations of later subsystems that the shell calls at fixed places. Each is empty
// (not built) until its subsystem installs it; the shell then skips that step.
// All are called on the UI thread.
struct ShellHooks {
    // Renderer: back to the grid after a pane full view; rebuild the pane targets for a
    // layout (false on failure, after showing its message).
    std::function<void()> renderer_restore_grid;
    std::function<bool(int pane_count)> renderer_rebuild;
    std::function<void()> renderer_create;  // at initialisation, with the DISPLAY choice
    // Stream-select for a dual-stream live pane: the sub stream when leaving the full view
    // (switch request 2), the main stream when entering it (switch request 1). Other panes
    // send nothing.
    std::function<void(int pane)> stream_select_sub;
    std::function<void(int pane)> stream_select_main;
    // Renderer: the GPU path's pane full view of `pane` (false on failure, after showing
    // its message).
    std::function<bool(int pane)> renderer_full_view;
    // Renderer: let go of the device after a failed rebuild (the panes draw nothing).
    std::function<void()> renderer_release;
    // Renderer: every pane drawn into the full-screen window (true) or the video window
    // again (false); the device is made anew on that window. False on failure, after
    // showing its message.
    std::function<bool(bool full_screen)> renderer_retarget;
    // The borderless full-screen window over the main window's screen: open and close.
    std::function<void()> open_full_screen_window;
    std::function<void()> close_full_screen_window;
    // Timeline: refresh (timer 2) and move a remote pane on to its next recording.
    std::function<void()> timeline_refresh;
    std::function<bool(std::intptr_t camera)> timeline_next_segment;
    // Remote search for a chosen date (message 32771).
    std::function<void(const char* date_text)> remote_search_date;
    // Display-mode switch (message 32772): the GPU path made on the window the panes are
    // drawn in and its pane targets built (true; false on failure, after its message), or
    // the GPU path let go for the software path (false). Drawing is stopped meanwhile.
    std::function<bool(bool gpu)> renderer_switch;
    // Connect and log in to the default site at start-up (tree item of the site).
    std::function<void(platform::TreeItem site_item)> connect_default_site;
    // Pane menu "stop" (32792) on a remote or local playback pane (live panes are closed
    // by the site commands).
    std::function<void(int pane)> stop_playback_pane;
    // The pane full view began or ended (the enlarged pane's digital zoom starts over).
    std::function<void()> full_view_changed;
};
// The pane menu's other commands reach their areas as dispatcher entries, with
// `AppState::menu_pane` naming the pane: "zoom" (32797, pane_zoom), "photo" (32809,
// pane_snapshot), "play" (32790), the speeds (32794-32796) and "record" (32813). The keyboard
// uses the entries of the zoom button (32784, Enter) and the full-screen button (1025, F11).

// One row of the split guard table.
struct SplitGuard {
    int first_checked_pane;  // panes first..35 must be free; 36: nothing checked
    int applies_from_side;   // the guard applies when the current side is at least this
    const char* message;     // null: no guard
};
SplitGuard split_guard(int target_side);

// Tree data and state image of a site item.
inline constexpr int kSiteStateImage = 6;

class Shell final : public platform::UiMessageHandler, public view::PaneLayoutHooks {
public:
    Shell(view::AppState& state, Config& config, ShellPorts ports, CommandDispatcher& dispatcher);

    ShellHooks& hooks() { return hooks_; }
    // Installs local playback (null: none). Thread: UI thread.
    void set_local_playback(LocalPlaybackPort* playback) { playback_ = playback; }

    // The core steps of the main window's initialisation, in order. Thread: UI thread.
    void initialise();

    // Routes a command id through the dispatcher. Thread: UI thread.
    bool on_command(int id) { return dispatcher_.dispatch(id); }

    // Split change to side n (2..6). Thread: UI thread.
    void split_change(int side);
    // set_layout(count): grid geometry and audio-menu bookkeeping. Thread: UI thread.
    bool set_layout(int pane_count);
    // AUDIO menu commands 5999 and 6000..6035. Thread: UI thread.
    void audio_select_pane(int command);
    // Audio button: pops up the audio menu bottom-aligned at (left + 25, top).
    void audio_menu_popup();
    void exit_command();
    void minimise_command();
    // Timers 1 and 2. Thread: UI thread.
    void on_timer(int timer_id);
    // Seek slider notification with its scroll code. Thread: UI thread.
    void on_seek_slider(int scroll_code);
    // Fills the camera tree with one item per site and remembers the default site.
    void fill_site_tree();
    // A pane became the selected one: the main window's per-pane controls show its states
    // (the file-playback controls; the pad's latching buttons are the window's). Thread: UI.
    void pane_selected(int pane);

    // Pane full view (one pane over the whole picture area). Entering needs a pane that
    // shows a slot; leaving always returns to the grid. Thread: UI thread.
    bool enter_full_view(int pane);
    // Zoom button 32784 / Enter: leaves the full view, or enlarges the pane under the
    // remembered click point. Menu item 32797: the same for the pane of the menu.
    void zoom_toggle();
    void pane_zoom();
    // A double click in the video (or full-screen) window at (x, y). Thread: UI thread.
    void video_double_click(int x, int y);
    // The full-screen window (1025, F11) and back (Escape, 32803). Thread: UI thread.
    void enter_full_screen();
    void leave_full_screen();
    // Message 32772: every open pane on the GPU path ("DIRECTDRAW") or the software path
    // (anything else) without stopping a stream. A GPU path that cannot be made leaves the
    // software path, with DISPLAY=GDI written. Thread: UI thread.
    void switch_display_mode(std::string_view display_value);

    // UiMessageHandler: messages 32770, 32771, 32772. Thread: UI thread.
    std::intptr_t handle_private_message(int message, std::intptr_t wparam,
                                         std::intptr_t lparam) override;

    // PaneLayoutHooks. Thread: UI thread.
    void leave_full_view() override;
    bool apply_layout(int pane_count) override { return set_layout(pane_count); }

private:
    // Longest waits for the pane pipelines to finish the pictures they were drawing when a
    // change stopped them (a picture takes milliseconds; the bounds only keep a stuck
    // pipeline from freezing the window).
    static constexpr int kLayoutSettleMs = 100;
    static constexpr int kRetargetSettleMs = 80;
    static constexpr int kLeaveFullViewSettleMs = 50;

    void register_operations();
    void pane_finished(int pane, std::intptr_t lparam);
    int layout_button(int pane_count) const;
    // Draw-enabled flag of every open slot.
    void set_drawing(bool enabled);
    // Enters or leaves the pane full view state (told to full_view_changed when it changes).
    void set_full_view(bool on);
    // A failed rebuild of the render targets: string 61 with a warning icon, the renderer
    // released; drawing stays disabled.
    void rebuild_failed();
    bool pane_shows_slot(int pane) const;

    view::AppState& state_;
    Config& config_;
    ShellPorts ports_;
    CommandDispatcher& dispatcher_;
    ShellHooks hooks_;
    LocalPlaybackPort* playback_ = nullptr;
};

}  // namespace orvel::app
