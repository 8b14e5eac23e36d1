#pragma once
// The context menus of the video panes, as pure functions of a pane's state: the live pane
// menu built for each right click (stop, zoom, photo, the camera's preset names and the
// tour), and the states of the pane menu `_ScreenMenu_` for remote and local playback
// panes. The window side pops them up; the chosen id goes through the command dispatcher
// with `menu_pane` naming the pane.

#include <string>
#include <vector>

#include "net/connection_table.h"
#include "platform/ports/menus.h"
#include "view/app_state.h"

namespace orvel::app {

inline constexpr const char* kTourText = "\xE8\xBD\xAE\xE8\xAF\xA2";  // "轮询"
inline constexpr const char* kRecordText = "record";
inline constexpr const char* kRecordTextAfterLocal = "Test";

// A live pane's menu: "stop", "zoom", "photo", a separator, then every non-empty preset name
// i of the camera as item 65000 + i and, when more than one was listed, "轮询" (65432).
// `names` is the camera's 16-name block, null when no site record matches the pane.
std::vector<platform::PopupItem> live_pane_menu_items(const net::PresetBlock* names);

// The pane menu `_ScreenMenu_` as the program leaves it between pop-ups: each preparation
// changes only what its rule names, the rest stays as the previous one left it (so once a
// local pane's menu renamed "record" to "Test", remote panes show "Test" too).
struct ScreenMenuState {
    bool play_enabled = true;
    bool stop_enabled = true;
    bool speed_enabled = true;  // 2X, 3X, 4X
    bool zoom_enabled = true;
    bool record_enabled = true;
    bool record_checked = false;
    std::string record_text = kRecordText;
};

// A remote-playback pane: speeds grayed, "record" enabled and checked while recording;
// run state 2 (playing): "play" grayed, "stop" and "zoom" enabled; 1 (held): "play" and
// "stop" enabled, "zoom" grayed; other states leave those three as they are.
void prepare_remote_menu(ScreenMenuState& menu, int run_state, bool recording);
// A local-playback pane: speeds enabled, "record" grayed and unchecked; play state 2: "play"
// grayed, "stop" and "zoom" enabled; 1: "play" and "stop" enabled, "zoom" grayed; 3: all
// three enabled; then "record" reads "Test".
void prepare_local_menu(ScreenMenuState& menu, int play_state);
// Puts the state on the menu port's `_ScreenMenu_`. Thread: UI thread.
void apply_screen_menu(const ScreenMenuState& menu, platform::MenuPort& menus);

// What a right click on a pane opens.
enum class PaneMenuKind { none, live, remote, local, full_screen_control };

struct PaneMenuTarget {
    PaneMenuKind kind = PaneMenuKind::none;
    int pane = 0;
    int run_state = 0;       // remote panes
    bool recording = false;  // remote panes
    int play_state = 0;      // local panes
};

// The right click at (x, y) in the video window's client area: the control menu while the
// full-screen window is open; otherwise the pane is the selected one in the pane full view
// and the one under the point in the grid; it becomes `menu_pane`. An empty pane opens
// nothing. Thread: UI thread.
PaneMenuTarget pane_menu_target(view::AppState& state, int x, int y);

}  // namespace orvel::app
