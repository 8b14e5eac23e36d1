// The whole program against the DVR simulator on loopback, offscreen and in the software
// mode: the default site's login auto-plays its cameras, the grid grows to hold them, every
// pane shows pictures, a stopped camera's pane is freed, and stopping the program leaves no
// live slot behind.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/command_ids.h"
#include "app/config.h"
#include "codec/decoder_table.h"
#include "gui/program.h"
#include "gui/render/software_renderer.h"
#include "gui_test_support.h"
#include "platform/ini_file.h"
#include "scenario.h"
#include "server.h"

namespace orvel::gui {
namespace {

constexpr int kCameras = 8;

class ProgramLive : public ::testing::Test {
protected:
    // Cameras of the simulated DVR and scenario lines of its own.
    explicit ProgramLive(int cameras = kCameras, std::string extra_lines = {})
        : cameras_(cameras), extra_lines_(std::move(extra_lines)) {}

    void SetUp() override {
        test::app();
        codec::decoder_table_init();
        std::string scenario_text = "user admin 1234\ndevice 1\nswitch " +
                                    std::to_string(cameras_) +
                                    "\nstream * mpeg4 176x144 noaudio\n" + extra_lines_;
        for (int cam = 1; cam <= cameras_; ++cam)
            scenario_text +=
                "camera " + std::to_string(cam) + " Door " + std::to_string(cam) + "\n";
        dvrsim::Scenario scenario;
        std::string error;
        ASSERT_TRUE(dvrsim::load_scenario_text(scenario_text, scenario, error)) << error;
        server = std::make_unique<dvrsim::Server>(std::move(scenario));
        ASSERT_TRUE(server->start("127.0.0.1", 0, error)) << error;
        const int port = server->command_port();

        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        std::ostringstream ini_text;
        ini_text << "[LOCATION]\nnum=1\npos0=Sim\nip0=127.0.0.1\nuser0=admin\nps0=1234\n"
                 << "port10=" << port << "\nport20=" << port + 1 << "\nport30=" << port + 2
                 << "\n[DEFAULT]\nip=127.0.0.1\nport=" << port
                 << "\n[PLAY]\nAUTOPLAY=TRUE\nDISPLAY=GDI\n";
        std::ofstream(dir.filePath(QStringLiteral("orvelcam.ini")).toStdString()) << ini_text.str();
        ini = std::make_unique<platform::IniFile>(platform::IniFile::default_path());
        config = std::make_unique<app::Config>(*ini);
        config->preload(state);
        program = std::make_unique<Program>(state, *config, view::ScreenModeKind::mode_1280);
        program->messages().set_override([this](const std::string& text, const std::string&,
                                                platform::MessageButtons, platform::MessageIcon) {
            boxes.push_back(text);
            return platform::MessageResult::ok;
        });
        program->start();
    }
    void TearDown() override {
        program.reset();
        server.reset();
        codec::decoder_table_shutdown();
        qunsetenv("XDG_CONFIG_HOME");
    }

    int panes_with_pictures() const {
        int n = 0;
        for (const auto& slot : state.live_slots)
            if (slot && slot->pictures_drawn.load() >= 3) ++n;
        return n;
    }

    int requests_seen() const {
        int n = 0;
        for (const std::string& line : server->log_lines())
            n += line.find("stream: request for channel") != std::string::npos ? 1 : 0;
        return n;
    }

    const int cameras_;
    const std::string extra_lines_;
    QTemporaryDir dir;
    view::AppState state;
    std::unique_ptr<dvrsim::Server> server;
    std::unique_ptr<platform::IniFile> ini;
    std::unique_ptr<app::Config> config;
    std::unique_ptr<Program> program;
    std::vector<std::string> boxes;
};

TEST_F(ProgramLive, LoginAutoPlaysEveryCameraInAGrownGridAndStopLeavesNothing) {
    ASSERT_TRUE(test::spin_until([&] { return state.open_pane_count == kCameras; }, 15000))
        << "open panes: " << state.open_pane_count;
    EXPECT_EQ(state.grid_side, 3);  // eight cameras need a 3 x 3 grid
    ASSERT_TRUE(test::spin_until([&] { return panes_with_pictures() == kCameras; }, 15000))
        << "panes with pictures: " << panes_with_pictures();
    // The pictures reach the screen, pane by pane.
    view::RenderStats* stats = program->live().render_stats();
    ASSERT_NE(stats, nullptr);
    ASSERT_TRUE(test::spin_until(
        [&] {
            for (int p = 0; p < kCameras; ++p)
                if (stats->pane_counts(p).presented == 0) return false;
            return true;
        },
        5000));
    // Captions come from the camera items.
    EXPECT_STREQ(state.live_slots[0]->caption.data(), "Door 1");

    // Stopping the first camera through its tree item frees its pane.
    QtTreeControl& tree = program->tree();
    const platform::TreeItem site = state.default_site_item;
    ASSERT_NE(site, platform::kNoTreeItem);
    const platform::TreeItem first_camera = tree.first_child(site);
    ASSERT_NE(first_camera, platform::kNoTreeItem);
    tree.select_item(first_camera);
    program->shell().on_command(app::id::kStreamStop);
    EXPECT_EQ(state.open_pane_count, kCameras - 1);
    EXPECT_EQ(state.pane_kind[0], view::PANE_FREE);
    EXPECT_EQ(state.live_slots[0], nullptr);

    program->stop();
    for (const auto& slot : state.live_slots) EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(state.open_pane_count, 0);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
}

// A DVR that takes 3 s to answer each stream request: opening its cameras never waits for it.
class ProgramSlowDvr : public ProgramLive {
protected:
    ProgramSlowDvr() : ProgramLive(4, "stream-fault header-delay 3000\n") {}
};

TEST_F(ProgramSlowDvr, AutoPlayAsksForEveryStreamAtOnceAndTheWindowKeepsResponding) {
    // A UI-thread timer: the longest gap between its ticks is how long the thread was held.
    QElapsedTimer since_tick;
    qint64 longest_gap_ms = 0;
    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest_gap_ms = std::max(longest_gap_ms, since_tick.restart());
    });
    ASSERT_TRUE(test::spin_until([&] { return state.open_pane_count == 4; }, 15000));
    since_tick.start();
    tick.start();
    QElapsedTimer opened;
    opened.start();
    EXPECT_TRUE(test::spin_until([&] { return requests_seen() == 4; }, 1000))
        << "requests seen within 1 s of auto-play: " << requests_seen();
    // While the DVR holds the headers back the panes say they are connecting.
    auto* software = dynamic_cast<render::SoftwareRenderer*>(program->live().render_stats());
    ASSERT_NE(software, nullptr);
    EXPECT_TRUE(test::spin_until([&] { return software->pane_notice(3) == "connecting"; }, 1000));
    ASSERT_TRUE(test::spin_until([&] { return panes_with_pictures() == 4; }, 15000));
    EXPECT_GE(opened.elapsed(), 2000) << "pictures came only after the delayed headers";
    EXPECT_LT(longest_gap_ms, 150) << "the UI thread was held " << longest_gap_ms << " ms";
    EXPECT_EQ(software->pane_notice(3), "");
}

}  // namespace
}  // namespace orvel::gui
