// The whole program against the DVR simulator on loopback, offscreen and in the software
// mode: the default site's login auto-plays its cameras, the grid grows to hold them, every
// pane shows pictures, a stopped camera's pane is freed, and stopping the program leaves no
// live slot behind.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/command_ids.h"
#include "app/config.h"
#include "codec/decoder_table.h"
#include "gui/program.h"
#include "gui/render/software_renderer.h"
#include "gui/video_area.h"
#include "gui_test_support.h"
#include "program_fixture.h"
#include "platform/ini_file.h"
#include "platform/ports/ui_channel.h"
#include "scenario.h"
#include "server.h"

namespace orvel::gui {
namespace {

constexpr int kCameras = 8;

class ProgramLive : public test::ProgramFixture {
protected:
    // Cameras of the simulated DVR and scenario lines of its own.
    explicit ProgramLive(int cameras = kCameras, std::string extra_lines = {})
        : cameras_(cameras), extra_lines_(std::move(extra_lines)) {}

    void SetUp() override {
        std::string scenario_text = "user admin 1234\ndevice 1\nswitch " +
                                    std::to_string(cameras_) +
                                    "\nstream * mpeg4 176x144 noaudio\n" + extra_lines_;
        for (int cam = 1; cam <= cameras_; ++cam)
            scenario_text +=
                "camera " + std::to_string(cam) + " Door " + std::to_string(cam) + "\n";
        dvrsim::Scenario scenario;
        std::string error;
        ASSERT_TRUE(dvrsim::load_scenario_text(scenario_text, scenario, error)) << error;
        const int port = start_server(std::move(scenario));
        ASSERT_GT(port, 0);
        std::ostringstream ini_text;
        ini_text << "[LOCATION]\nnum=1\npos0=Sim\nip0=127.0.0.1\nuser0=admin\nps0=1234\n"
                 << "port10=" << port << "\nport20=" << port + 1 << "\nport30=" << port + 2
                 << "\n[DEFAULT]\nip=127.0.0.1\nport=" << port
                 << "\n[PLAY]\nAUTOPLAY=TRUE\nDISPLAY=GDI\n";
        start_program(ini_text.str(), view::ScreenModeKind::mode_1280);
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

// The full-screen window is larger than the video window: the remembered click point (the
// selection frame, the zoom button) keeps marking the pane it marked, in both directions.
TEST_F(ProgramLive, TheClickedPaneStaysMarkedAcrossTheFullScreenWindow) {
    ASSERT_TRUE(test::spin_until([&] { return state.open_pane_count == kCameras; }, 15000));
    ASSERT_EQ(state.grid_side, 3);
    auto centre = [](const platform::Rect& r) {
        return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    };
    auto marked = [&] { return view::pane_at(state, state.last_click_x, state.last_click_y); };
    // Clicks near a cell's corner: scaled to the other window's size they leave the cell.
    VideoWindow* video = program->window().video_area()->video_window();
    const platform::Rect fourth = view::pane_cell(state, 4);
    QTest::mouseClick(video, Qt::LeftButton, {}, QPoint(fourth.left + 5, fourth.top + 5));
    ASSERT_EQ(state.selected_pane.load(), 4);

    program->shell().on_command(app::id::kFullScreen);
    ASSERT_EQ(state.full_screen_active.load(), 1);
    EXPECT_EQ(marked(), 4);
    QWidget* full_screen = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("FULLVIEW") && w->isVisible()) full_screen = w;
    ASSERT_NE(full_screen, nullptr);
    const platform::Rect fifth = view::grid_cell(5, 3, full_screen->width(), full_screen->height());
    QTest::mouseClick(full_screen, Qt::LeftButton, {}, QPoint(fifth.left + 5, fifth.bottom - 5));
    EXPECT_EQ(state.selected_pane.load(), 5);
    QTest::keyClick(full_screen, Qt::Key_Escape);
    ASSERT_EQ(state.full_screen_active.load(), 0);
    EXPECT_EQ(marked(), 5);
    // The frame of the video window sits on that pane, and the zoom button enlarges it.
    const QRect frame = VideoWindow::selection_frame(
        {state.grid_side, false, state.last_click_x, state.last_click_y}, video->width(),
        video->height());
    EXPECT_TRUE(frame.contains(centre(view::pane_cell(state, 5)))) << frame.x() << "," << frame.y();
    program->shell().on_command(app::id::kZoom);
    EXPECT_EQ(state.full_view_active.load(), 1);
    EXPECT_EQ(state.selected_pane.load(), 5);
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
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { longest_gap_ms = std::max(longest_gap_ms, since_tick.restart()); });
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

// Three cameras in four panes; camera 1 sends a dual stream (a 352 x 288 sub stream, a
// 1280 x 720 main stream on request).
class ProgramDual : public ProgramLive {
protected:
    ProgramDual() : ProgramLive(3, "stream 1 dual 352x288\n") {}

    int stream_selects(const char* which) const {
        int n = 0;
        for (const std::string& line : server->log_lines())
            n += line.find(std::string("stream-select ") + which) != std::string::npos ? 1 : 0;
        return n;
    }
};

TEST_F(ProgramDual, DoubleClickShowsTheMainPictureAndAnotherReturnsToTheSubStream) {
    ASSERT_TRUE(test::spin_until([&] { return panes_with_pictures() == 3; }, 20000));
    view::LiveSlot& dual = *state.live_slots[0];
    ASSERT_EQ(dual.dual_stream.load(), 1);
    VideoWindow* window = program->window().video_area()->video_window();
    const platform::Rect cell = view::pane_cell(state, 0);
    const QPoint centre((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);

    // The empty pane first: nothing is enlarged.
    QTest::mouseDClick(window, Qt::LeftButton, {}, centre + QPoint(cell.width(), cell.height()));
    EXPECT_EQ(state.full_view_active.load(), 0);

    QTest::mouseDClick(window, Qt::LeftButton, {}, centre);
    EXPECT_EQ(state.full_view_active.load(), 1);
    EXPECT_EQ(state.selected_pane.load(), 0);
    // The DVR is asked for the main stream and the pane shows it from its first key frame.
    ASSERT_TRUE(test::spin_until([&] { return stream_selects("main") == 1; }, 5000));
    ASSERT_TRUE(test::spin_until([&] { return dual.switch_request.load() == 0; }, 10000));
    const std::uint32_t drawn = dual.pictures_drawn.load();
    ASSERT_TRUE(test::spin_until([&] { return dual.pictures_drawn.load() > drawn + 3; }, 10000));
    // The other panes go on receiving but draw nothing while one pane fills the area.
    const std::uint32_t other_drawn = state.live_slots[1]->pictures_drawn.load();
    const std::uint32_t other_frames = state.live_slots[1]->frames_queued.load();
    ASSERT_TRUE(test::spin_until(
        [&] { return state.live_slots[1]->frames_queued.load() > other_frames + 5; }, 10000));
    EXPECT_LE(state.live_slots[1]->pictures_drawn.load(), other_drawn + 1);

    // A double click anywhere returns: the sub stream is asked for again.
    QTest::mouseDClick(window, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(state.full_view_active.load(), 0);
    ASSERT_TRUE(test::spin_until([&] { return stream_selects("sub") == 1; }, 5000));
    ASSERT_TRUE(test::spin_until([&] { return dual.switch_request.load() == 0; }, 15000));
    EXPECT_TRUE(boxes.empty()) << boxes.front();
}

// Real wheel and drag events on the enlarged pane, software path: the picture is drawn from
// the zoomed part, the point under the cursor stays put, and leaving shows it whole again.
TEST_F(ProgramDual, WheelZoomsTheEnlargedPaneAboutTheCursorAndDragPans) {
    ASSERT_TRUE(test::spin_until([&] { return panes_with_pictures() == 3; }, 20000));
    VideoWindow* window = program->window().video_area()->video_window();
    render::SoftwareRenderer& software = *program->live().software_renderer();
    auto wheel = [&](QPointF at, int notches) {
        QWheelEvent event(at, window->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(window, &event);
    };
    // Over the grid the wheel does nothing.
    wheel(QPointF(20, 20), 3);
    EXPECT_FALSE(program->live().zoom().zoomed());

    const platform::Rect cell = view::pane_cell(state, 0);
    QTest::mouseDClick(window, Qt::LeftButton, {},
                       QPoint((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2));
    ASSERT_EQ(state.full_view_active.load(), 1);
    // The main picture (352 x 288) drawn whole.
    ASSERT_TRUE(test::spin_until([&] { return software.drawn_source(0).width == 352; }, 15000));
    const view::SourceRect whole = software.drawn_source(0);
    ASSERT_EQ(whole.height, 288);

    const QPoint cursor(window->width() / 4, window->height() * 3 / 4);
    const double fx = static_cast<double>(cursor.x()) / window->width();
    const double fy = static_cast<double>(cursor.y()) / window->height();
    wheel(cursor, 2);
    const double factor = std::pow(8.0, 2.0 / 8.0);
    ASSERT_TRUE(test::spin_until(
        [&] { return std::abs(software.drawn_source(0).width - 352 / factor) < 1e-6; }, 5000));
    view::SourceRect zoomed = software.drawn_source(0);
    EXPECT_NEAR(zoomed.height, 288 / factor, 1e-6);
    EXPECT_NEAR(zoomed.left + fx * zoomed.width, fx * 352, 1e-6);
    EXPECT_NEAR(zoomed.top + fy * zoomed.height, fy * 288, 1e-6);

    // A drag to the left by a tenth of the window shows a tenth of the view further right.
    const QPoint from(window->width() / 2, window->height() / 2);
    const QPoint to = from - QPoint(window->width() / 10, 0);
    QMouseEvent press(QEvent::MouseButtonPress, from, window->mapToGlobal(from), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &press);
    QMouseEvent move(QEvent::MouseMove, to, window->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(window, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, to, window->mapToGlobal(to), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(window, &release);
    const double expected_left =
        zoomed.left + static_cast<double>(window->width() / 10) / window->width() * zoomed.width;
    ASSERT_TRUE(test::spin_until(
        [&] { return std::abs(software.drawn_source(0).left - expected_left) < 1e-6; }, 5000));
    EXPECT_NEAR(software.drawn_source(0).top, zoomed.top, 1e-6);

    // A double click still leaves the full view, and the zoom starts over.
    QTest::mouseDClick(window, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(state.full_view_active.load(), 0);
    EXPECT_FALSE(program->live().zoom().zoomed());
    QTest::mouseDClick(window, Qt::LeftButton, {},
                       QPoint((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2));
    ASSERT_EQ(state.full_view_active.load(), 1);
    ASSERT_TRUE(test::spin_until([&] { return software.drawn_source(0).width == 352; }, 15000));
    EXPECT_EQ(software.drawn_source(0).left, 0);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
}

class ProgramSixteen : public ProgramLive {
protected:
    ProgramSixteen() : ProgramLive(16) {}

    // Every open pane has drawn `more` pictures beyond `before`.
    bool all_drew_more(const std::vector<std::uint32_t>& before, std::uint32_t more) const {
        for (std::size_t p = 0; p < before.size(); ++p) {
            const auto& slot = state.live_slots[p];
            if (!slot || slot->pictures_drawn.load() < before[p] + more) return false;
        }
        return true;
    }
    std::vector<std::uint32_t> drawn_now() const {
        std::vector<std::uint32_t> out;
        for (int p = 0; p < 16; ++p) {
            const auto& slot = state.live_slots[static_cast<std::size_t>(p)];
            out.push_back(slot ? slot->pictures_drawn.load() : 0);
        }
        return out;
    }
};

TEST_F(ProgramSixteen, SixteenPanesKeepPlayingAcrossDisplaySwitchesAndFullScreen) {
    ASSERT_TRUE(test::spin_until([&] { return panes_with_pictures() == 16; }, 30000));
    const std::uint32_t requests = static_cast<std::uint32_t>(requests_seen());
    // Whichever path the switch ends on (the GPU path, or the software path when this
    // display has none), every pane goes on drawing on its own stream.
    for (const char* mode : {"DIRECTDRAW", "GDI", "DIRECTDRAW", "GDI"}) {
        const std::vector<std::uint32_t> before = drawn_now();
        program->handle_private_message(platform::kMsgDisplayModeChanged,
                                        reinterpret_cast<std::intptr_t>(mode), 0);
        EXPECT_TRUE(test::spin_until([&] { return all_drew_more(before, 5); }, 15000)) << mode;
        EXPECT_EQ(state.open_pane_count, 16) << mode;
    }
    // The full-screen window holds the panes, and they go on drawing there.
    program->shell().on_command(app::id::kFullScreen);
    EXPECT_EQ(state.full_screen_active.load(), 1);
    std::vector<std::uint32_t> before = drawn_now();
    EXPECT_TRUE(test::spin_until([&] { return all_drew_more(before, 5); }, 15000));
    // Escape in the full-screen window closes it from inside its own key handler.
    QWidget* full_screen = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("FULLVIEW") && w->isVisible()) full_screen = w;
    ASSERT_NE(full_screen, nullptr);
    QTest::keyClick(full_screen, Qt::Key_Escape);
    EXPECT_EQ(state.full_screen_active.load(), 0);
    before = drawn_now();
    EXPECT_TRUE(test::spin_until([&] { return all_drew_more(before, 5); }, 15000));
    // No stream was opened again; the only message is the GPU path's own failure on a
    // display without one.
    EXPECT_EQ(static_cast<std::uint32_t>(requests_seen()), requests);
    for (const std::string& text : boxes) EXPECT_EQ(text, "create device failed");
}

}  // namespace
}  // namespace orvel::gui
