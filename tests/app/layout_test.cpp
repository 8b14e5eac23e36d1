#include <gtest/gtest.h>

#include <set>

#include "app/command_ids.h"
#include "app/main_layout.h"
#include "app/menu_defs.h"

namespace orvel::app {
namespace {

using view::ScreenModeKind;

struct Expected {
    int id;
    int x1024, y1024, x1280, y1280;
};

TEST(MainLayout, ControlsSitWhereTheWindowPutsThemInBothModes) {
    const Expected expected[] = {
        {1021, 886, 678, 1146, 927}, {1123, 844, 713, 1104, 962}, {1026, 731, 699, 927, 946},
        {1028, 108, 715, 109, 972},  {1093, 900, 435, 1161, 648}, {1023, 866, 319, 1126, 521},
        {1022, 903, 319, 1165, 521}, {1024, 940, 319, 1200, 521}, {1029, 866, 355, 1126, 561},
        {1027, 903, 355, 1165, 561}, {1025, 940, 355, 1200, 561}, {1076, 856, 24, 1116, 228},
        {1011, 890, 24, 1152, 228},  {32784, 925, 24, 1185, 228}, {1044, 960, 24, 1220, 228},
        {1150, 847, 58, 1105, 258},  {1153, 29, 715, 29, 972},    {1155, 149, 715, 149, 972},
        {1065, 201, 715, 300, 972},  {1062, 262, 715, 361, 972},  {1063, 550, 715, 650, 972},
        {1168, 9, 9, 22, 24},
    };
    for (const Expected& e : expected) {
        const ControlLayout* c = find_control_layout(e.id);
        ASSERT_NE(c, nullptr) << e.id;
        EXPECT_EQ(c->place(ScreenModeKind::mode_1024).x, e.x1024) << e.id;
        EXPECT_EQ(c->place(ScreenModeKind::mode_1024).y, e.y1024) << e.id;
        EXPECT_EQ(c->place(ScreenModeKind::mode_1280).x, e.x1280) << e.id;
        EXPECT_EQ(c->place(ScreenModeKind::mode_1280).y, e.y1280) << e.id;
    }
    const ControlLayout* tree = find_control_layout(id::kCameraTree);
    EXPECT_EQ(tree->place_1024.width, 150);
    EXPECT_EQ(tree->place_1280.height, 258);
    EXPECT_FALSE(find_control_layout(id::kSeekSlider)->initially_visible);
    EXPECT_EQ(find_control_layout(id::kSeekSlider)->place_1280.width, 280);
    EXPECT_EQ(find_control_layout(id::kSpeedBox)->place_1024.height, 24);
    EXPECT_EQ(find_control_layout(id::kExit)->tooltip_string, 38);
    EXPECT_EQ(find_control_layout(id::kSelectCamera)->tooltip_string, 4);
}

TEST(MainLayout, EveryControlAndPadButtonFitsItsWindow) {
    for (ScreenModeKind mode : {ScreenModeKind::mode_1024, ScreenModeKind::mode_1280}) {
        const view::ScreenMode& screen = view::screen_mode_for(mode);
        std::set<int> ids;
        for (const ControlLayout& c : main_controls_layout()) {
            EXPECT_TRUE(ids.insert(c.id).second) << c.id;
            const ControlPlace& p = c.place(mode);
            EXPECT_GT(p.width, 0) << c.id;
            EXPECT_GE(p.x, 0) << c.id;
            EXPECT_LE(p.x + p.width, screen.window_width) << c.id;
            EXPECT_LE(p.y + p.height, screen.window_height) << c.id;
        }
        for (const PadButtonLayout& b : pad_buttons_layout()) {
            const int x = mode == ScreenModeKind::mode_1280 ? b.x_1280 : b.x_1024;
            const int y = mode == ScreenModeKind::mode_1280 ? b.y_1280 : b.y_1024;
            EXPECT_LE(x + b.width, screen.window_width);
            EXPECT_LE(y + b.height, screen.window_height);
        }
    }
}

TEST(MainLayout, PadButtonsCarryTheirCodesAndTooltips) {
    const auto pad = pad_buttons_layout();
    ASSERT_EQ(pad.size(), 12u);
    EXPECT_EQ(pad[0].tooltip_string, 25);
    EXPECT_EQ(pad[0].press_code, 5);
    EXPECT_EQ(pad[0].release_code, 26);
    EXPECT_EQ(pad[9].tooltip_string, 34);
    EXPECT_EQ(pad[9].press_code, 1);
    EXPECT_EQ(pad[9].x_1280, 1151);
    EXPECT_TRUE(pad[10].latching);
    EXPECT_EQ(pad[10].on_code, 18);
    EXPECT_EQ(pad[10].off_code, 17);
    EXPECT_EQ(pad[11].on_code, 16);
    EXPECT_EQ(pad[11].tooltip_string, 0);
}

TEST(MainLayout, SkinPiecesDependOnTheMode) {
    const SkinLayout small = skin_layout(ScreenModeKind::mode_1024);
    EXPECT_EQ(small.pieces[0].bitmap, 419);
    EXPECT_EQ(small.pieces[3].bitmap, 418);
    EXPECT_EQ(small.pieces[3].x, 818);
    EXPECT_EQ(small.pieces[2].y, 667);
    const SkinLayout large = skin_layout(ScreenModeKind::mode_1280);
    EXPECT_EQ(large.pieces[1].bitmap, 443);
    EXPECT_EQ(large.pieces[1].y, 24);
    EXPECT_EQ(large.pieces[2].y, 896);
    EXPECT_EQ(large.pieces[3].x, 1088);
}

TEST(MenuDefinitions, SixMenusWithTheirIds) {
    EXPECT_EQ(menu_definitions().size(), 6u);
    const MenuDef* pane = find_menu_definition(platform::MenuId::pane);
    ASSERT_NE(pane, nullptr);
    EXPECT_STREQ(pane->name, "_ScreenMenu_");
    std::vector<int> ids;
    for (const MenuItemDef& item : pane->items) ids.push_back(item.id);
    EXPECT_EQ(ids, (std::vector<int>{32790, 32792, 32794, 32795, 32796, 0, 32797, 32809, 32813}));
    const MenuDef* stream = find_menu_definition(platform::MenuId::stream);
    EXPECT_STREQ(stream->items[2].text, "paly &recode");
    const MenuDef* audio = find_menu_definition(platform::MenuId::audio);
    ASSERT_EQ(audio->items.size(), 1u);
    EXPECT_EQ(audio->items[0].id, 5999);
    EXPECT_STREQ(find_menu_definition(platform::MenuId::site)->name, "POSITON");
}

}  // namespace
}  // namespace orvel::app
