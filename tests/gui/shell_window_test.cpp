// The Qt main window driven through the core's shell, as the program wires it: the camera
// tree from a prepared orvelcam.ini, clicks reaching the dispatcher (split change, audio
// choice, exit), the split guard's message, timer 2 and a worker's pane-finished message.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <thread>

#include "app/command_ids.h"
#include "app/config.h"
#include "app/dispatcher.h"
#include "app/shell.h"
#include "gui/main_window.h"
#include "gui/qt_main_controls.h"
#include "gui/qt_menus.h"
#include "gui/qt_message_box.h"
#include "gui/qt_timers.h"
#include "gui/qt_tree_control.h"
#include "gui/ui_channel_qt.h"
#include "gui_test_support.h"
#include "platform/ini_file.h"

namespace orvel::gui {
namespace {

namespace id = app::id;
using platform::MenuId;

constexpr const char* kIni =
    "[LOCATION]\nnum=3\n"
    "pos0=Gate\nip0=10.0.0.5\nuser0=admin\nps0=secret\nport10=9000\n"
    "pos1=Yard\nip1=10.0.0.6\nport11=9100\n"
    "pos2=Depot\nip2=dvr.example.net\nport12=9200\n"
    "[DEFAULT]\nip=10.0.0.6\nport=9100\n";

struct Box {
    std::string text, caption;
};

class ShellWindow : public ::testing::Test {
protected:
    void SetUp() override {
        test::app();
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        std::ofstream(dir.filePath(QStringLiteral("orvelcam.ini")).toStdString()) << kIni;
        ini = std::make_unique<platform::IniFile>(platform::IniFile::default_path());
        config = std::make_unique<app::Config>(*ini);
        MainWindowHooks hooks;
        hooks.command = [this](int cmd) { shell->on_command(cmd); };
        window = std::make_unique<MainWindow>(view::ScreenModeKind::mode_1280, std::move(hooks));
        state.screen = window->screen();
        tree = std::make_unique<QtTreeControl>(*window->tree(), invoker);
        controls = std::make_unique<QtMainControls>(*window, invoker);
        controls->set_quit_handler([this](int code) { quit_codes.push_back(code); });
        timers = std::make_unique<QtTimers>([this](int t) { shell->on_timer(t); });
        messages.set_override([this](const std::string& t, const std::string& c,
                                     platform::MessageButtons, platform::MessageIcon) {
            boxes.push_back({t, c});
            return platform::MessageResult::ok;
        });
        app::ShellPorts ports{messages, *tree, menus, *controls, *timers, sleeper};
        shell = std::make_unique<app::Shell>(state, *config, ports, dispatcher);
        channel.set_handler(shell.get());
        shell->initialise();
        window->show();
    }
    void TearDown() override { qunsetenv("XDG_CONFIG_HOME"); }

    void click(int control) { QTest::mouseClick(window->control(control), Qt::LeftButton); }

    struct AppFirst {
        AppFirst() { test::app(); }
    } app_first;  // the application exists before any widget member
    QTemporaryDir dir;
    view::AppState state;
    std::unique_ptr<platform::IniFile> ini;
    std::unique_ptr<app::Config> config;
    UiInvoker invoker;
    QtMessageBox messages{invoker};
    QtMenus menus;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QtTreeControl> tree;
    std::unique_ptr<QtMainControls> controls;
    std::unique_ptr<QtTimers> timers;
    QtUiChannel channel{invoker};
    platform::ThreadSleeper sleeper;
    app::CommandDispatcher dispatcher;
    std::unique_ptr<app::Shell> shell;
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
    EXPECT_TRUE(timers->is_active(id::kTimerTimeline));
    EXPECT_EQ(timers->interval_ms(id::kTimerTimeline), id::kTimelineFirstPeriodMs);
    // The 4-pane layout is applied: its button shows the selected face, four channels.
    EXPECT_EQ(window->button(id::kSplit4)->face(), app::bitmap::kSplit4Selected);
    EXPECT_TRUE(menus.has_item(MenuId::audio, 6003));
    EXPECT_FALSE(menus.has_item(MenuId::audio, 6004));
    EXPECT_TRUE(menus.is_item_checked(MenuId::audio, id::kAudioSilence));
}

TEST_F(ShellWindow, SplitButtonsReachTheDispatcherAndTheGuardRefusesDroppingPanesInUse) {
    click(id::kSplit16);
    EXPECT_EQ(state.grid_side, 4);
    EXPECT_EQ(window->button(id::kSplit16)->face(), app::bitmap::kSplit16Selected);
    EXPECT_NE(window->button(id::kSplit4)->face(), app::bitmap::kSplit4Selected);
    EXPECT_TRUE(menus.has_item(MenuId::audio, 6015));
    EXPECT_EQ(window->video_area()->video_window()->size(), QSize(1074, 879));

    state.pane_kind[7] = view::PANE_LIVE;  // only the kind is looked at by the guard
    click(id::kSplit4);
    state.pane_kind[7] = view::PANE_FREE;
    EXPECT_EQ(state.grid_side, 4);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "please stop the fourth then play");
    EXPECT_EQ(boxes[0].caption, "please stop file");

    click(id::kSplit4);
    EXPECT_EQ(state.grid_side, 2);
    EXPECT_FALSE(menus.has_item(MenuId::audio, 6004));
}

TEST_F(ShellWindow, AudioButtonPopsUpTheMenuAndTheChoiceChangesFaceAndCheck) {
    menus.set_popup_override([](QMenu& m, QPoint) -> QAction* {
        for (QAction* a : m.actions())
            if (a->data().toInt() == 6002) return a;
        return nullptr;
    });
    click(id::kAudioButton);
    EXPECT_EQ(state.audio_pane.load(), 2);
    EXPECT_TRUE(menus.is_item_checked(MenuId::audio, 6002));
    EXPECT_FALSE(menus.is_item_checked(MenuId::audio, id::kAudioSilence));
    EXPECT_EQ(window->button(id::kAudioButton)->face(), app::bitmap::kAudioHeard);
}

TEST_F(ShellWindow, ExitButtonShowsItsPressedFaceAndEndsTheLoop) {
    click(id::kExit);
    EXPECT_EQ(window->button(id::kExit)->face(), app::bitmap::kExitPressed);
    EXPECT_EQ(quit_codes, std::vector<int>{0});
}

TEST_F(ShellWindow, WorkersPaneFinishedMessageIsHandledOnTheUiThread) {
    std::intptr_t result = -1;
    std::thread worker([&] { result = channel.send_message(platform::kMsgPaneFinished, 3, 0); });
    ASSERT_TRUE(test::spin_until([&] { return result != -1; }));
    worker.join();
    EXPECT_EQ(result, 1);  // handled (TRUE) for a free pane
}

}  // namespace
}  // namespace orvel::gui
