// The whole program's wiring, offscreen: the camera tree from a prepared orvelcam.ini,
// clicks reaching the dispatcher (split change, audio choice, exit, site menu), the split
// guard's message, timer 2, the pad, and a worker's pane-finished message.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <fstream>
#include <thread>

#include "app/command_ids.h"
#include "app/config.h"
#include "gui/program.h"
#include "gui_test_support.h"
#include "platform/ini_file.h"
#include "view/panes.h"

namespace orvel::gui {
namespace {

namespace id = app::id;
using platform::MenuId;

constexpr const char* kIni =
    "[LOCATION]\nnum=3\n"
    "pos0=Gate\nip0=10.0.0.5\nuser0=admin\nps0=secret\nport10=9000\n"
    "pos1=Yard\nip1=10.0.0.6\nport11=9100\n"
    "pos2=Depot\nip2=dvr.example.net\nport12=9200\n"
    "[DEFAULT]\nip=10.0.0.6\nport=9100\n"
    // The offscreen platform has no OpenGL widgets: the software path draws.
    "[PLAY]\nDISPLAY=GDI\n";

struct Box {
    std::string text, caption;
};

class ShellWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        std::ofstream(dir.filePath(QStringLiteral("orvelcam.ini")).toStdString()) << kIni;
        ini = std::make_unique<platform::IniFile>(platform::IniFile::default_path());
        config = std::make_unique<app::Config>(*ini);
        config->load_sites(state);  // the start-up preload reads the same file
        program = std::make_unique<Program>(state, *config, view::ScreenModeKind::mode_1280);
        program->controls().set_quit_handler([this](int code) { quit_codes.push_back(code); });
        program->messages().set_override([this](const std::string& t, const std::string& c,
                                                platform::MessageButtons buttons,
                                                platform::MessageIcon) {
            boxes.push_back({t, c});
            return buttons == platform::MessageButtons::yes_no ? platform::MessageResult::yes
                                                               : platform::MessageResult::ok;
        });
        program->start();
        window = &program->window();
        tree = &program->tree();
    }
    void TearDown() override {
        program.reset();
        qunsetenv("XDG_CONFIG_HOME");
    }

    void click(int control) { QTest::mouseClick(window->control(control), Qt::LeftButton); }
    // The next pop-up menu answers with `choice` (0: dismissed).
    void answer_menus_with(int choice) {
        program->menus().set_popup_override([choice](QMenu& m, QPoint) -> QAction* {
            for (QAction* a : m.actions())
                if (a->data().toInt() == choice) return a;
            return nullptr;
        });
    }

    // Chooses `choice` with a real mouse click in the next pop-up menu once it is open, the
    // way an operator does (Qt's own trigger path, check marks included).
    static void click_in_next_popup(int choice) {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, poll, [poll, choice] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            poll->deleteLater();
            for (QAction* a : menu->actions()) {
                if (a->data().toInt() == choice && !a->isSeparator()) {
                    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
                    return;
                }
            }
            menu->close();
        });
        poll->start(5);
    }
    std::vector<int> checked_items(MenuId id) const {
        std::vector<int> out;
        for (QAction* a : program->menus().menu(id)->actions())
            if (a->isChecked()) out.push_back(a->data().toInt());
        return out;
    }

    QTemporaryDir dir;
    view::AppState state;
    std::unique_ptr<platform::IniFile> ini;
    std::unique_ptr<app::Config> config;
    std::unique_ptr<Program> program;
    MainWindow* window = nullptr;
    QtTreeControl* tree = nullptr;
    std::vector<Box> boxes;
    std::vector<int> quit_codes;
};

TEST_F(ShellWindow, TreeListsTheSitesOfTheConfigurationAndRemembersTheDefault) {
    QTreeWidget* w = window->tree();
    ASSERT_EQ(w->topLevelItemCount(), 3);
    EXPECT_EQ(w->topLevelItem(0)->text(0), QStringLiteral("Gate(10.0.0.5)"));
    EXPECT_EQ(w->topLevelItem(1)->text(0), QStringLiteral("Yard(10.0.0.6)"));
    EXPECT_EQ(w->topLevelItem(2)->text(0), QStringLiteral("Depot(dvr.example.net)"));
    const platform::TreeItem yard = QtTreeControl::handle_of(w->topLevelItem(1));
    EXPECT_EQ(tree->item_data(yard), 9100u);
    EXPECT_EQ(tree->state_image(yard), 6);
    EXPECT_EQ(state.default_site_item, yard);
    EXPECT_TRUE(program->timers().is_active(id::kTimerTimeline));
    EXPECT_EQ(program->timers().interval_ms(id::kTimerTimeline), id::kTimelineFirstPeriodMs);
    // The 4-pane layout is applied: its button shows the selected face, four channels.
    EXPECT_EQ(window->button(id::kSplit4)->face(), app::bitmap::kSplit4Selected);
    EXPECT_TRUE(program->menus().has_item(MenuId::audio, 6003));
    EXPECT_FALSE(program->menus().has_item(MenuId::audio, 6004));
    EXPECT_TRUE(program->menus().is_item_checked(MenuId::audio, id::kAudioSilence));
}

TEST_F(ShellWindow, SplitButtonsReachTheDispatcherAndTheGuardRefusesDroppingPanesInUse) {
    click(id::kSplit16);
    EXPECT_EQ(state.grid_side, 4);
    EXPECT_EQ(window->button(id::kSplit16)->face(), app::bitmap::kSplit16Selected);
    EXPECT_NE(window->button(id::kSplit4)->face(), app::bitmap::kSplit4Selected);
    EXPECT_TRUE(program->menus().has_item(MenuId::audio, 6015));

    state.pane_kind[7] = view::PANE_LIVE;  // only the kind is looked at by the guard
    click(id::kSplit4);
    state.pane_kind[7] = view::PANE_FREE;
    EXPECT_EQ(state.grid_side, 4);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "please stop the fourth then play");
    EXPECT_EQ(boxes[0].caption, "please stop file");

    click(id::kSplit4);
    EXPECT_EQ(state.grid_side, 2);
    EXPECT_FALSE(program->menus().has_item(MenuId::audio, 6004));
}

TEST_F(ShellWindow, AudioButtonPopsUpTheMenuAndTheChoiceChangesFaceAndCheck) {
    answer_menus_with(6002);
    click(id::kAudioButton);
    EXPECT_EQ(state.audio_pane.load(), 2);
    EXPECT_TRUE(program->menus().is_item_checked(MenuId::audio, 6002));
    EXPECT_FALSE(program->menus().is_item_checked(MenuId::audio, id::kAudioSilence));
    EXPECT_EQ(window->button(id::kAudioButton)->face(), app::bitmap::kAudioHeard);
}

TEST_F(ShellWindow, ChoosingTheHeardChannelAgainKeepsItsCheckMark) {
    click_in_next_popup(6002);
    click(id::kAudioButton);
    ASSERT_EQ(state.audio_pane.load(), 2);
    click_in_next_popup(6002);  // the item already chosen
    click(id::kAudioButton);
    EXPECT_EQ(state.audio_pane.load(), 2);
    EXPECT_EQ(checked_items(MenuId::audio), std::vector<int>{6002});
    click_in_next_popup(id::kAudioSilence);
    click(id::kAudioButton);
    EXPECT_EQ(checked_items(MenuId::audio), std::vector<int>{id::kAudioSilence});
}

TEST_F(ShellWindow, SiteMenuItemsKeepNoCheckMarkOfTheirOwn) {
    QTreeWidget* w = window->tree();
    const QPoint gate = w->visualItemRect(w->topLevelItem(0)).center();  // not the default
    click_in_next_popup(id::kSiteStopPlay);
    emit w->customContextMenuRequested(gate);
    click_in_next_popup(id::kSiteDisconnect);
    emit w->customContextMenuRequested(gate);
    EXPECT_TRUE(checked_items(MenuId::site).empty());
    // The mark the program sets stays: Yard is the default site.
    click_in_next_popup(id::kSiteStopPlay);
    emit w->customContextMenuRequested(w->visualItemRect(w->topLevelItem(1)).center());
    EXPECT_EQ(checked_items(MenuId::site), std::vector<int>{id::kSiteDefault});
}

TEST_F(ShellWindow, AudioMenuOpensAtTheButtonWhereverTheWindowIs) {
    window->move(200, 150);
    QPoint shown;
    program->menus().set_popup_override([&](QMenu&, QPoint at) -> QAction* {
        shown = at;
        return nullptr;
    });
    click(id::kAudioButton);
    const QRect button = window->control(id::kAudioButton)->geometry();
    const int menu_height = program->menus().menu(MenuId::audio)->sizeHint().height();
    EXPECT_EQ(shown, window->mapToGlobal(QPoint(button.left() + 25, button.top() - menu_height)));
    EXPECT_NE(shown, QPoint(button.left() + 25, button.top() - menu_height));
}

TEST_F(ShellWindow, EveryPaneIsWhollyVisibleInTheWideMode) {
    const VideoArea* area = window->video_area();
    VideoWindow* video = area->video_window();
    const int buttons[] = {id::kSplit4, id::kSplit9, id::kSplit16, id::kSplit25, id::kSplit36};
    for (int side = 6; side >= 2; --side) {
        click(buttons[side - 2]);
        ASSERT_EQ(state.grid_side, side);
        EXPECT_TRUE(area->rect().contains(video->geometry())) << video->geometry().width();
        const QRect visible = video->rect();
        for (int p = 0; p < side * side; ++p) {
            const view::PaneRect r = view::pane_rect_in_area(p, side, state.video_client_width,
                                                             state.video_client_height);
            EXPECT_TRUE(visible.contains(QRect(r.left, r.top, r.width - 1, r.height - 1)))
                << "pane " << p << " of " << side * side;
            const platform::Rect g =
                view::gpu_pane_rect(p, side, state.video_client_width, state.video_client_height);
            EXPECT_TRUE(visible.contains(QRect(g.left, g.top, g.width(), g.height())));
        }
        // The last visible pixel picks the last pane.
        QTest::mouseClick(video, Qt::LeftButton, {}, visible.bottomRight() - QPoint(1, 1));
        EXPECT_EQ(state.selected_pane.load(), side * side - 1);
    }
}

TEST_F(ShellWindow, PadLatchesFollowTheSelectedPaneByClickAndByArrowKeys) {
    VideoWindow* video = window->video_area()->video_window();
    const QPoint pane0(video->width() / 4, video->height() / 4);
    const QPoint pane1(video->width() * 3 / 4, video->height() / 4);
    PadButton* toggle_b = window->pad_buttons()[10];
    QTest::mouseClick(video, Qt::LeftButton, {}, pane1);
    ASSERT_EQ(state.selected_pane.load(), 1);
    QTest::mouseClick(toggle_b, Qt::LeftButton);  // pane 1's latch off
    EXPECT_FALSE(toggle_b->is_on());
    QTest::mouseClick(video, Qt::LeftButton, {}, pane0);
    EXPECT_TRUE(toggle_b->is_on());  // pane 0's latch is still on

    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_Right);
    EXPECT_EQ(state.selected_pane.load(), 1);
    EXPECT_FALSE(toggle_b->is_on());
    QTest::keyClick(window, Qt::Key_Right);  // the grid's edge: it stays
    EXPECT_EQ(state.selected_pane.load(), 1);
    QTest::keyClick(window, Qt::Key_Down);
    EXPECT_EQ(state.selected_pane.load(), 3);
    QTest::keyClick(window, Qt::Key_Left);
    EXPECT_EQ(state.selected_pane.load(), 2);
    EXPECT_TRUE(toggle_b->is_on());
    // The selection frame follows the keys.
    EXPECT_EQ(view::pane_at(state, state.last_click_x, state.last_click_y), 2);

    // Enter and F11 are the zoom and full-screen buttons' commands.
    std::vector<int> routed;
    program->dispatcher().set_handler(id::kZoom, [&](int cmd) { routed.push_back(cmd); });
    program->dispatcher().set_handler(id::kFullScreen, [&](int cmd) { routed.push_back(cmd); });
    QTest::keyClick(window, Qt::Key_Return);
    QTest::keyClick(window, Qt::Key_F11);
    EXPECT_EQ(routed, (std::vector<int>{id::kZoom, id::kFullScreen}));
}

TEST_F(ShellWindow, ExitButtonShowsItsPressedFaceAndEndsTheLoop) {
    click(id::kExit);
    EXPECT_EQ(window->button(id::kExit)->face(), app::bitmap::kExitPressed);
    EXPECT_EQ(quit_codes, std::vector<int>{0});
}

TEST_F(ShellWindow, WorkersPaneFinishedMessageIsHandledOnTheUiThread) {
    std::atomic<std::intptr_t> result{-1};
    std::thread worker(
        [&] { result = program->channel().send_message(platform::kMsgPaneFinished, 3, 0); });
    ASSERT_TRUE(test::spin_until([&] { return result.load() != -1; }));
    worker.join();
    EXPECT_EQ(result.load(), 1);  // handled (TRUE) for a free pane
}

TEST_F(ShellWindow, SiteMenuChoiceReachesTheSiteCommandsThroughTheDispatcher) {
    QTreeWidget* w = window->tree();
    const QRect r = w->visualItemRect(w->topLevelItem(0));
    answer_menus_with(app::id::kSiteDelete);
    emit w->customContextMenuRequested(r.center());
    ASSERT_EQ(boxes.size(), 1u);  // the operator confirmed the question
    ASSERT_EQ(w->topLevelItemCount(), 2);
    EXPECT_EQ(w->topLevelItem(0)->text(0), QStringLiteral("Yard(10.0.0.6)"));
    EXPECT_EQ(ini->get_int("LOCATION", "num", -1), 2);
    EXPECT_EQ(ini->get_string("LOCATION", "pos0", "", 64), "Yard");
    // A dismissed menu does nothing.
    answer_menus_with(0);
    emit w->customContextMenuRequested(w->visualItemRect(w->topLevelItem(0)).center());
    EXPECT_EQ(w->topLevelItemCount(), 2);
}

TEST_F(ShellWindow, PadWithoutAConnectionSendsNothingAndLatchesFlipTheirFaces) {
    PadButton* up = window->pad_buttons()[6];
    QTest::mousePress(up, Qt::LeftButton);
    QTest::mouseRelease(up, Qt::LeftButton);  // no site connected: nothing to send to
    PadButton* toggle_b = window->pad_buttons()[10];
    EXPECT_TRUE(toggle_b->is_on());  // every pane starts with both latches on
    QTest::mouseClick(toggle_b, Qt::LeftButton);
    EXPECT_FALSE(toggle_b->is_on());
    EXPECT_EQ(state.latch_b[0], 0);
    EXPECT_EQ(state.latch_a[0], 1);
}

}  // namespace
}  // namespace orvel::gui
