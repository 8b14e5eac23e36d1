#include "app/pane_menu.h"

#include <cstring>

#include "app/command_ids.h"
#include "view/panes.h"

namespace orvel::app {

using platform::MenuId;

std::vector<platform::PopupItem> live_pane_menu_items(const net::PresetBlock* names) {
    std::vector<platform::PopupItem> items{
        {id::kPaneStop, "stop"}, {id::kPaneZoom, "zoom"}, {id::kPanePhoto, "photo"}, {0, ""}};
    if (names == nullptr) return items;
    int listed = 0;
    for (int i = 0; i < net::kPresetsPerCamera; ++i) {
        const auto* field = reinterpret_cast<const char*>(names->data()) +
                            static_cast<std::size_t>(i) * net::kPresetNameBytes;
        // A name fills at most its 28 bytes; one without a terminating zero is cut there.
        const std::size_t length = strnlen(field, net::kPresetNameBytes);
        if (length == 0) continue;
        items.push_back({id::kPresetBase + i, std::string(field, length)});
        ++listed;
    }
    if (listed > 1) items.push_back({id::kPresetTour, kTourText});
    return items;
}

void prepare_remote_menu(ScreenMenuState& menu, int run_state, bool recording) {
    menu.speed_enabled = false;
    menu.record_enabled = true;
    menu.record_checked = recording;
    if (run_state == view::kRunRun) {
        menu.play_enabled = false;
        menu.stop_enabled = true;
        menu.zoom_enabled = true;
    } else if (run_state == view::kRunHold) {
        menu.play_enabled = true;
        menu.stop_enabled = true;
        menu.zoom_enabled = false;
    }
}

void prepare_local_menu(ScreenMenuState& menu, int play_state) {
    menu.speed_enabled = true;
    menu.record_enabled = false;
    menu.record_checked = false;
    switch (play_state) {
        case 2:
            menu.play_enabled = false;
            menu.stop_enabled = true;
            menu.zoom_enabled = true;
            break;
        case 1:
            menu.play_enabled = true;
            menu.stop_enabled = true;
            menu.zoom_enabled = false;
            break;
        case 3:
            menu.play_enabled = true;
            menu.stop_enabled = true;
            menu.zoom_enabled = true;
            break;
        default:
            break;
    }
    menu.record_text = kRecordTextAfterLocal;
}

void apply_screen_menu(const ScreenMenuState& menu, platform::MenuPort& menus) {
    menus.enable_item(MenuId::pane, id::kPanePlay, menu.play_enabled);
    menus.enable_item(MenuId::pane, id::kPaneStop, menu.stop_enabled);
    for (int speed = id::kPaneSpeed2; speed <= id::kPaneSpeed4; ++speed)
        menus.enable_item(MenuId::pane, speed, menu.speed_enabled);
    menus.enable_item(MenuId::pane, id::kPaneZoom, menu.zoom_enabled);
    menus.enable_item(MenuId::pane, id::kPaneRecord, menu.record_enabled);
    menus.check_item(MenuId::pane, id::kPaneRecord, menu.record_checked);
    menus.set_item_text(MenuId::pane, id::kPaneRecord, menu.record_text);
}

PaneMenuTarget pane_menu_target(view::AppState& state, int x, int y) {
    PaneMenuTarget target;
    if (state.full_screen_active.load() != 0) {
        target.kind = PaneMenuKind::full_screen_control;
        return target;
    }
    const int pane = state.full_view_active.load() != 0 ? state.selected_pane.load()
                                                        : view::pane_at(state, x, y);
    state.menu_pane = pane;
    target.pane = pane;
    const auto p = static_cast<std::size_t>(pane);
    switch (state.pane_kind[p]) {
        case view::PANE_LIVE:
            target.kind = PaneMenuKind::live;
            break;
        case view::PANE_REMOTE_FILE:
            if (const view::RemoteFileSlot* slot = state.remote_slots[p].get()) {
                target.kind = PaneMenuKind::remote;
                target.run_state = slot->run_state.load();
                target.recording = slot->recording.load() != 0;
            }
            break;
        case view::PANE_LOCAL_FILE:
            if (const view::LocalFileSlot* slot = state.local_slots[p].get()) {
                target.kind = PaneMenuKind::local;
                target.play_state = slot->play_state.load();
            }
            break;
        default:
            break;
    }
    return target;
}

}  // namespace orvel::app
