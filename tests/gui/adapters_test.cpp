// The Qt adapters of the core's ports: tree, menus, timers and message boxes.
#include <gtest/gtest.h>

#include <QTreeWidget>

#include <atomic>
#include <thread>

#include "app/command_ids.h"
#include "app/menu_defs.h"
#include "gui/main_window.h"
#include "gui/qt_main_controls.h"
#include "gui/qt_menus.h"
#include "gui/qt_message_box.h"
#include "gui/qt_timers.h"
#include "gui/qt_tree_control.h"
#include "gui_test_support.h"

namespace orvel::gui {
namespace {

using platform::kNoTreeItem;
using platform::MenuId;
using platform::TreeItem;
namespace id = app::id;

struct TreeFixture : ::testing::Test {
    void SetUp() override { test::app(); }
    QTreeWidget widget;
    UiInvoker invoker;
    QtTreeControl tree{widget, invoker};
};

TEST_F(TreeFixture, ItemsKeepTextDataStateImageAndWalkOrder) {
    const TreeItem a = tree.insert_item(kNoTreeItem, "Gate(10.0.0.5)", 9000, 6);
    const TreeItem b = tree.insert_item(kNoTreeItem, "Yard(10.0.0.6)", 9100, 6);
    const TreeItem cam = tree.insert_item(a, "Cam 01--Door", 1, 3);
    ASSERT_NE(a, kNoTreeItem);
    EXPECT_EQ(tree.root_item(), a);
    EXPECT_EQ(tree.next_sibling(a), b);
    EXPECT_EQ(tree.next_sibling(b), kNoTreeItem);
    EXPECT_EQ(tree.first_child(a), cam);
    EXPECT_EQ(tree.parent_item(cam), a);
    EXPECT_EQ(tree.parent_item(a), kNoTreeItem);
    EXPECT_EQ(tree.item_text(b), "Yard(10.0.0.6)");
    EXPECT_EQ(tree.item_data(b), 9100u);
    EXPECT_EQ(tree.state_image(a), 6);
    EXPECT_FALSE(widget.topLevelItem(0)->icon(0).isNull());
    EXPECT_TRUE(tree.set_state_image(cam, 2));
    EXPECT_EQ(tree.state_image(cam), 2);
    EXPECT_TRUE(tree.set_item_data(cam, 0x00800001u));
    EXPECT_EQ(tree.item_data(cam), 0x00800001u);  // all 32 bits survive
    EXPECT_TRUE(tree.select_item(b));
    EXPECT_EQ(tree.selected_item(), b);
}

TEST_F(TreeFixture, DeletedAndForeignHandlesAreRefusedNotDereferenced) {
    const TreeItem site = tree.insert_item(kNoTreeItem, "Gate(10.0.0.5)", 9000, 6);
    const TreeItem cam = tree.insert_item(site, "Cam 01--Door", 1, 3);
    EXPECT_TRUE(tree.delete_item(site));
    EXPECT_EQ(widget.topLevelItemCount(), 0);
    EXPECT_FALSE(tree.delete_item(site));
    EXPECT_FALSE(tree.set_item_text(cam, "x"));  // the child went with its parent
    EXPECT_EQ(tree.item_text(cam), "");
    EXPECT_EQ(tree.insert_item(cam, "orphan", 0, 3), kNoTreeItem);
    EXPECT_FALSE(tree.set_state_image(0x1234, 2));
}

TEST_F(TreeFixture, WorkerThreadCallsRunOnTheUiThread) {
    TreeItem made = kNoTreeItem;
    std::thread worker([&] { made = tree.insert_item(kNoTreeItem, "From worker", 7, 6); });
    ASSERT_TRUE(test::spin_until([&] { return widget.topLevelItemCount() == 1; }));
    worker.join();
    EXPECT_EQ(made, QtTreeControl::handle_of(widget.topLevelItem(0)));
    EXPECT_EQ(widget.topLevelItem(0)->text(0), QStringLiteral("From worker"));
}

TEST(QtMenus, AllMenusCarryTheirItemsWithIdsAsData) {
    test::app();
    QtMenus menus;
    for (const app::MenuDef& def : app::menu_definitions()) {
        ASSERT_NE(menus.menu(def.menu), nullptr) << def.name;
        for (const app::MenuItemDef& item : def.items) {
            if (item.id == 0) continue;
            QAction* a = menus.action(def.menu, item.id);
            ASSERT_NE(a, nullptr) << def.name << " " << item.id;
            EXPECT_EQ(a->text(), QString::fromUtf8(item.text));
            EXPECT_EQ(a->data().toInt(), item.id);
        }
    }
    // The speed items sit in the "speed" sub-menu of the pane menu.
    QAction* x2 = menus.action(MenuId::pane, id::kPaneSpeed2);
    ASSERT_NE(x2, nullptr);
    EXPECT_NE(qobject_cast<QMenu*>(x2->parent()), menus.menu(MenuId::pane));
    EXPECT_TRUE(menus.has_item(MenuId::stream, id::kStreamPlayRecord));
    EXPECT_EQ(menus.action(MenuId::stream, id::kStreamPlayRecord)->text(),
              QStringLiteral("paly &recode"));
}

TEST(QtMenus, AudioMenuGrowsShrinksAndChecks) {
    test::app();
    QtMenus menus;
    menus.append_item(MenuId::audio, 6000, "channel 1");
    menus.append_item(MenuId::audio, 6001, "channel 2");
    menus.append_item(MenuId::audio, 6001, "again");  // same id: ignored
    EXPECT_EQ(menus.menu(MenuId::audio)->actions().size(), 3);
    menus.check_item(MenuId::audio, 6001, true);
    EXPECT_TRUE(menus.is_item_checked(MenuId::audio, 6001));
    EXPECT_FALSE(menus.is_item_checked(MenuId::audio, id::kAudioSilence));
    EXPECT_TRUE(menus.remove_item(MenuId::audio, 6001));
    EXPECT_FALSE(menus.remove_item(MenuId::audio, 6001));
    EXPECT_FALSE(menus.has_item(MenuId::audio, 6001));
    menus.enable_item(MenuId::site, id::kSitePlayAll, false);
    EXPECT_FALSE(menus.action(MenuId::site, id::kSitePlayAll)->isEnabled());
}

TEST(QtMenus, PopupReturnsTheChosenIdAndAlignsBottomUp) {
    test::app();
    QtMenus menus;
    QPoint shown;
    menus.set_popup_override([&](QMenu& m, QPoint at) {
        shown = at;
        return m.actions().isEmpty() ? nullptr : m.actions().front();
    });
    EXPECT_EQ(menus.popup(MenuId::audio, 300, 400, platform::PopupAlign::bottom_left),
              id::kAudioSilence);
    EXPECT_LT(shown.y(), 400);  // the menu's bottom sits at the point
    EXPECT_EQ(menus.popup(MenuId::stream, 30, 40, platform::PopupAlign::top_left),
              id::kStreamPlay);
    EXPECT_EQ(shown, QPoint(30, 40));
    menus.set_popup_override([](QMenu&, QPoint) { return nullptr; });
    EXPECT_EQ(menus.popup(MenuId::site, 0, 0, platform::PopupAlign::top_left), 0);
}

TEST(QtTimers, StartReArmsAndStopsByIdAndTicksWithTheId) {
    test::app();
    std::vector<int> ticks;
    QtTimers timers([&](int timer_id) { ticks.push_back(timer_id); });
    timers.start_timer(2, 15000);
    EXPECT_TRUE(timers.is_active(2));
    EXPECT_EQ(timers.interval_ms(2), 15000);
    timers.start_timer(2, 5000);
    EXPECT_EQ(timers.interval_ms(2), 5000);
    timers.start_timer(1, 5);
    ASSERT_TRUE(test::spin_until([&] { return !ticks.empty(); }));
    EXPECT_EQ(ticks.front(), 1);
    timers.stop_timer(1);
    EXPECT_FALSE(timers.is_active(1));
    EXPECT_TRUE(timers.is_active(2));
    timers.stop_timer(99);  // unknown: nothing
}

TEST(QtMessageBox, WorkerBoxWaitsForTheUiThreadsAnswer) {
    test::app();
    UiInvoker invoker;
    QtMessageBox box(invoker);
    std::string seen_text, seen_caption;
    bool on_ui = false;
    box.set_override([&](const std::string& t, const std::string& c, platform::MessageButtons,
                         platform::MessageIcon) {
        seen_text = t;
        seen_caption = c;
        on_ui = invoker.on_ui_thread();
        return platform::MessageResult::yes;
    });
    platform::MessageResult r = platform::MessageResult::cancel;
    std::thread worker([&] {
        r = box.show_message("please stop the fourth then play", "please stop file",
                             platform::MessageButtons::yes_no, platform::MessageIcon::none);
    });
    ASSERT_TRUE(test::spin_until([&] { return !seen_text.empty(); }));
    worker.join();
    EXPECT_EQ(r, platform::MessageResult::yes);
    EXPECT_TRUE(on_ui);
    EXPECT_EQ(seen_caption, "please stop file");
}

TEST(QtMainControls, ControlsByIdAndProgramMovesAreNotOperatorScrolls) {
    test::app();
    std::vector<int> scrolls;
    MainWindowHooks hooks;
    hooks.seek_slider = [&](int code) { scrolls.push_back(code); };
    MainWindow w(view::ScreenModeKind::mode_1024, std::move(hooks));
    UiInvoker invoker;
    QtMainControls controls(w, invoker);

    controls.set_face(id::kAudioButton, 432);
    EXPECT_EQ(w.button(id::kAudioButton)->face(), 432);
    controls.set_visible(id::kSeekSlider, true);
    EXPECT_TRUE(w.seek_slider()->isVisibleTo(&w));
    controls.set_slider_range(id::kSeekSlider, 0, 1000);
    controls.set_slider_position(id::kSeekSlider, 640);
    EXPECT_EQ(controls.slider_position(id::kSeekSlider), 640);
    EXPECT_TRUE(scrolls.empty());
    controls.set_text(id::kTimeText, "01:02:03");
    EXPECT_EQ(w.time_text()->text(), QStringLiteral("01:02:03"));
    EXPECT_EQ(controls.combo_selection(id::kSpeedBox), 0);
    w.speed_box()->setCurrentIndex(2);
    EXPECT_EQ(controls.combo_selection(id::kSpeedBox), 2);
    controls.set_enabled(id::kPrint, false);
    EXPECT_FALSE(w.control(id::kPrint)->isEnabled());
    // Client rectangle of the audio button (731, 699) in the 1024 mode.
    const platform::Rect r = controls.control_rect(id::kAudioButton);
    EXPECT_EQ(r.left, 731);
    EXPECT_EQ(r.top, 699);
    EXPECT_EQ(r.width(), w.control(id::kAudioButton)->width());
    controls.place_video_window(808, 657);
    EXPECT_EQ(w.video_area()->video_window()->geometry(), QRect(0, 0, 808, 657));
    // Unknown ids change nothing and read as empty.
    controls.set_face(4242, 1);
    EXPECT_EQ(controls.slider_position(4242), 0);
    EXPECT_EQ(controls.combo_selection(4242), -1);
    EXPECT_EQ(controls.control_rect(4242), platform::Rect{});
}

TEST(QtMainControls, WorkerCallsWaitForTheUiThread) {
    test::app();
    MainWindow w(view::ScreenModeKind::mode_1280, {});
    UiInvoker invoker;
    QtMainControls controls(w, invoker);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        controls.set_text(id::kTimeText, "00:00:42");
        done = true;
    });
    ASSERT_TRUE(test::spin_until([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(w.time_text()->text(), QStringLiteral("00:00:42"));
}

}  // namespace
}  // namespace orvel::gui
