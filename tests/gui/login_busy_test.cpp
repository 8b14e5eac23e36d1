// The program's default-site login and the user-interface thread: a login reply handed to a
// UI thread busy for longer than any hand-over bound is still applied; a default site that
// does not answer neither delays the window nor stalls the UI thread; and the program stops
// without waiting on anything.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "../support/blackhole.h"
#include "app/config.h"
#include "gui/program.h"
#include "gui_test_support.h"
#include "platform/ini_file.h"
#include "scenario.h"
#include "server.h"

namespace orvel::gui {
namespace {

// Writes a configuration with one site on `port` that is the default site, into a fresh
// XDG_CONFIG_HOME.
void write_default_site_config(const QTemporaryDir& dir, int port) {
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    std::ostringstream ini_text;
    ini_text << "[LOCATION]\nnum=1\npos0=Sim\nip0=127.0.0.1\nuser0=admin\nps0=1234\nport10=" << port
             << "\n[DEFAULT]\nip=127.0.0.1\nport=" << port
             << "\n[PLAY]\nAUTOPLAY=FALSE\nDISPLAY=GDI\n";
    std::ofstream(dir.filePath(QStringLiteral("orvelcam.ini")).toStdString()) << ini_text.str();
}

TEST(LoginReply, ReachingABusyUiThreadIsStillApplied) {
    test::app();
    dvrsim::Scenario scenario;
    std::string error;
    ASSERT_TRUE(dvrsim::load_scenario_text(
        "user admin 1234\ndevice 1\nswitch 3\ncamera 1 Gate\ncamera 2 Yard\ncamera 3 Dock\n",
        scenario, error))
        << error;
    dvrsim::Server server(std::move(scenario));
    ASSERT_TRUE(server.start("127.0.0.1", 0, error)) << error;
    const int port = server.command_port();

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    write_default_site_config(dir, port);
    platform::IniFile ini(platform::IniFile::default_path());
    app::Config config(ini);
    view::AppState state;
    config.preload(state);
    auto program = std::make_unique<Program>(state, config, view::ScreenModeKind::mode_1024);
    program->start();  // logs in to the default site

    // The UI thread does something long (a modal dialog, a slow disk) while the reply comes.
    std::this_thread::sleep_for(std::chrono::seconds(6));

    QtTreeControl& tree = program->tree();
    const platform::TreeItem site = state.default_site_item;
    ASSERT_NE(site, platform::kNoTreeItem);
    EXPECT_TRUE(test::spin_until(
        [&] {
            int cameras = 0;
            for (auto c = tree.first_child(site); c != platform::kNoTreeItem;
                 c = tree.next_sibling(c))
                ++cameras;
            return cameras == 3;
        },
        5000));
    program.reset();
    qunsetenv("XDG_CONFIG_HOME");
}

TEST(LoginUnreachable, TheWindowShowsAtOnceAndTheUiThreadKeepsServicingItsTimers) {
    test::app();
    orvel::test::Blackhole hole;
    ASSERT_NE(hole.port(), 0);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    write_default_site_config(dir, hole.port());
    platform::IniFile ini(platform::IniFile::default_path());
    app::Config config(ini);
    view::AppState state;
    config.preload(state);
    auto program = std::make_unique<Program>(state, config, view::ScreenModeKind::mode_1024);
    std::vector<std::string> shown;
    program->messages().set_override([&](const std::string& text, const std::string&,
                                         platform::MessageButtons, platform::MessageIcon) {
        shown.push_back(text);
        return platform::MessageResult::ok;
    });
    program->net().set_connect_timeout_ms(3000);

    program->start();  // logs in to the default site, which never answers
    // The window is up while the connect still waits.
    EXPECT_TRUE(program->window().isVisible());
    ASSERT_EQ(program->net().connection_count(), 1);
    EXPECT_FALSE(program->net().connection(0)->reader_ended.load());

    // A timer of the UI thread keeps firing while the connect waits and fails.
    // Measured from the first tick, after the window's first paint.
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    qint64 last_tick_ms = -1, longest_gap_ms = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (last_tick_ms >= 0) longest_gap_ms = std::max(longest_gap_ms, now - last_tick_ms);
        last_tick_ms = now;
    });
    timer.start(10);
    ASSERT_TRUE(test::spin_until([&] { return !shown.empty(); }, 15000));
    timer.stop();
    EXPECT_LT(longest_gap_ms, 150);
    // The connection's thread has ended: no second message can follow.
    ASSERT_TRUE(test::spin_until([&] { return program->net().connection_count() == 0; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(shown, std::vector<std::string>{"connect failed"});
    EXPECT_EQ(program->tree().first_child(state.default_site_item), platform::kNoTreeItem);
    program.reset();
    qunsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace orvel::gui
