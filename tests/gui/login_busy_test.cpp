// A site's login reply handed to a user-interface thread that is busy for longer than any
// hand-over bound is still applied, and the program then stops without waiting on anything.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "app/config.h"
#include "gui/program.h"
#include "gui_test_support.h"
#include "platform/ini_file.h"
#include "scenario.h"
#include "server.h"

namespace orvel::gui {
namespace {

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
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    std::ostringstream ini_text;
    ini_text << "[LOCATION]\nnum=1\npos0=Sim\nip0=127.0.0.1\nuser0=admin\nps0=1234\nport10=" << port
             << "\n[DEFAULT]\nip=127.0.0.1\nport=" << port
             << "\n[PLAY]\nAUTOPLAY=FALSE\nDISPLAY=GDI\n";
    std::ofstream(dir.filePath(QStringLiteral("orvelcam.ini")).toStdString()) << ini_text.str();
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

}  // namespace
}  // namespace orvel::gui
