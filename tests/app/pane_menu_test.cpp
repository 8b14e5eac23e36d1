// The pane context menus as functions of the pane's state: which pane a right click names,
// the live pane's items from the preset names, and the rules of _ScreenMenu_ for playback
// panes, including the "Test" label that stays once a local pane's menu has set it.
#include "app/pane_menu.h"

#include <gtest/gtest.h>

#include <cstring>

#include "app/command_ids.h"
#include "view/panes.h"

namespace orvel::app {
namespace {

std::vector<int> ids_of(const std::vector<platform::PopupItem>& items) {
    std::vector<int> out;
    for (const auto& i : items) out.push_back(i.command_id);
    return out;
}

net::PresetBlock names(std::initializer_list<std::pair<int, const char*>> entries) {
    net::PresetBlock block{};
    for (const auto& [slot, text] : entries)
        std::memcpy(block.data() + slot * net::kPresetNameBytes, text,
                    std::min(std::strlen(text), net::kPresetNameBytes));
    return block;
}

TEST(LivePaneMenu, PresetNamesBecomeItemsAndTheTourNeedsTwo) {
    const std::vector<int> base{id::kPaneStop, id::kPaneZoom, id::kPanePhoto, 0};
    EXPECT_EQ(ids_of(live_pane_menu_items(nullptr)), base);
    const auto none = names({});
    EXPECT_EQ(ids_of(live_pane_menu_items(&none)), base);

    const auto one = names({{5, "Dock"}});
    auto expected = base;
    expected.push_back(65005);  // a single preset: no tour
    EXPECT_EQ(ids_of(live_pane_menu_items(&one)), expected);

    // Gaps keep their index; a name filling all 28 bytes is taken whole and no further.
    const auto two = names({{0, "Gate"}, {15, "0123456789012345678901234567XYZ"}});
    const auto items = live_pane_menu_items(&two);
    expected = base;
    for (int i : {65000, 65015, 65432}) expected.push_back(i);
    EXPECT_EQ(ids_of(items), expected);
    EXPECT_EQ(items[4].text, "Gate");
    EXPECT_EQ(items[5].text, "0123456789012345678901234567");
    EXPECT_EQ(items[6].text, "\xE8\xBD\xAE\xE8\xAF\xA2");
}

TEST(ScreenMenu, RemoteAndLocalRulesAndTheStickyTestLabel) {
    ScreenMenuState menu;
    prepare_remote_menu(menu, view::kRunRun, true);
    EXPECT_FALSE(menu.play_enabled);
    EXPECT_TRUE(menu.stop_enabled && menu.zoom_enabled && menu.record_enabled);
    EXPECT_TRUE(menu.record_checked);
    EXPECT_FALSE(menu.speed_enabled);
    EXPECT_EQ(menu.record_text, "record");

    prepare_remote_menu(menu, view::kRunHold, false);
    EXPECT_TRUE(menu.play_enabled && menu.stop_enabled);
    EXPECT_FALSE(menu.zoom_enabled);
    EXPECT_FALSE(menu.record_checked);
    // A stopped pane leaves play, stop and zoom as the last menu left them.
    prepare_remote_menu(menu, view::kRunStop, false);
    EXPECT_TRUE(menu.play_enabled);
    EXPECT_FALSE(menu.zoom_enabled);

    prepare_local_menu(menu, 3);
    EXPECT_TRUE(menu.play_enabled && menu.stop_enabled && menu.zoom_enabled && menu.speed_enabled);
    EXPECT_FALSE(menu.record_enabled);
    EXPECT_EQ(menu.record_text, "Test");
    prepare_local_menu(menu, 2);
    EXPECT_FALSE(menu.play_enabled);
    prepare_local_menu(menu, 1);
    EXPECT_FALSE(menu.zoom_enabled);

    prepare_remote_menu(menu, view::kRunRun, false);
    EXPECT_EQ(menu.record_text, "Test");  // the local pane's label stays
    EXPECT_TRUE(menu.record_enabled);
}

TEST(PaneMenuTarget, TheClickedPaneOrTheEnlargedOneAndNothingOnEmptyPanes) {
    view::AppState state;
    state.grid_side = 3;
    state.video_client_width = 808;
    state.video_client_height = 657;
    EXPECT_EQ(view::pane_at(state, 300, 250), 4);
    EXPECT_EQ(view::pane_at(state, -5, -5), 0);  // outside: the nearest pane
    EXPECT_EQ(view::pane_at(state, 5000, 5000), 8);

    EXPECT_EQ(pane_menu_target(state, 300, 250).kind, PaneMenuKind::none);
    EXPECT_EQ(state.menu_pane, 4);

    state.pane_kind[4] = view::PANE_LIVE;
    EXPECT_EQ(pane_menu_target(state, 300, 250).kind, PaneMenuKind::live);

    state.pane_kind[6] = view::PANE_LOCAL_FILE;
    state.local_slots[6] = view::make_local_slot();
    state.local_slots[6]->play_state.store(3);
    state.selected_pane.store(6);
    state.full_view_active.store(1);  // the enlarged pane, wherever the click is
    const PaneMenuTarget local = pane_menu_target(state, 10, 10);
    EXPECT_EQ(local.kind, PaneMenuKind::local);
    EXPECT_EQ(local.pane, 6);
    EXPECT_EQ(local.play_state, 3);

    state.full_screen_active.store(1);
    EXPECT_EQ(pane_menu_target(state, 10, 10).kind, PaneMenuKind::full_screen_control);
}

}  // namespace
}  // namespace orvel::app
