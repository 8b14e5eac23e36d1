// The shell's view modes against fake ports and recording hooks: the pane full view, the
// full-screen window, the display-mode switch, and what a failed rebuild leaves behind.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../support/fake_ports.h"
#include "../support/temp_dir.h"
#include "app/command_ids.h"
#include "app/shell.h"
#include "app/strings.h"

namespace orvel::app {
namespace {

struct ViewModes : ::testing::Test {
    test::TempDir dir;
    platform::IniFile ini{dir.file("orvelcam.ini")};
    Config config{ini};
    std::unique_ptr<view::AppState> state = std::make_unique<view::AppState>();
    test::FakeMessageBox messages;
    test::FakeTree tree;
    test::FakeMenus menus;
    test::FakeControls controls;
    test::FakeTimers timers;
    test::FakeSleeper sleeper;
    CommandDispatcher dispatcher;
    std::unique_ptr<Shell> shell;
    view::RendererState gpu_state;
    std::vector<std::string> calls;  // the hooks in the order they ran
    bool rebuild_ok = true, retarget_ok = true, gpu_ok = true;

    // Draw-enabled flags of the open live slots as one string ("1" per slot).
    std::string drawing() const {
        std::string out;
        for (const auto& s : state->live_slots)
            if (s) out += static_cast<char>('0' + s->draw_enabled.load());
        return out;
    }
    void record(const std::string& what) { calls.push_back(what + " draw=" + drawing()); }

    void SetUp() override {
        menus.append_item(platform::MenuId::audio, id::kAudioSilence, "silence");
        shell = std::make_unique<Shell>(
            *state, config, ShellPorts{messages, tree, menus, controls, timers, sleeper},
            dispatcher);
        ShellHooks& h = shell->hooks();
        h.renderer_create = [this] { state->renderer = &gpu_state; };
        h.renderer_rebuild = [this](int count) {
            record("rebuild " + std::to_string(count));
            return rebuild_ok;
        };
        h.renderer_full_view = [this](int pane) {
            record("gpu full view " + std::to_string(pane));
            return true;
        };
        h.renderer_restore_grid = [this] { record("gpu grid"); };
        h.renderer_release = [this] { record("release"); };
        h.renderer_retarget = [this](bool full_screen) {
            record(full_screen ? "retarget full screen" : "retarget video window");
            return retarget_ok;
        };
        h.renderer_switch = [this](bool gpu) {
            record(gpu ? "switch gpu" : "switch software");
            return gpu ? gpu_ok : true;
        };
        h.stream_select_main = [this](int pane) { record("main " + std::to_string(pane)); };
        h.stream_select_sub = [this](int pane) { record("sub " + std::to_string(pane)); };
        h.open_full_screen_window = [this] { record("open window"); };
        h.close_full_screen_window = [this] { record("close window"); };
        shell->initialise();
        shell->split_change(3);  // 9 panes on the 808 x 657 window
        calls.clear();
        sleeper.sleeps.clear();
    }
    void open_live(int pane) {
        const auto i = static_cast<std::size_t>(pane);
        state->live_slots[i] = view::make_live_slot();
        state->live_slots[i]->pane = pane;
        state->pane_kind[i] = view::PANE_LIVE;
    }
};

TEST_F(ViewModes, DoubleClickEnlargesAPaneWithAPictureAndAnyDoubleClickReturns) {
    open_live(4);
    // A double click on an empty pane does nothing.
    shell->video_double_click(10, 10);
    EXPECT_EQ(state->full_view_active.load(), 0);
    EXPECT_TRUE(calls.empty());

    shell->video_double_click(300, 250);  // pane 4 of nine
    EXPECT_EQ(state->full_view_active.load(), 1);
    EXPECT_EQ(state->selected_pane.load(), 4);
    EXPECT_EQ(calls, (std::vector<std::string>{"gpu full view 4 draw=1", "main 4 draw=1"}));
    EXPECT_EQ(controls.invalidated.back(), (platform::Rect{0, 0, 1024, 768}));
    // Layout commands wait until the grid is back.
    shell->on_command(id::kSplit16);
    EXPECT_EQ(state->grid_side, 3);

    calls.clear();
    shell->video_double_click(10, 10);  // anywhere
    EXPECT_EQ(state->full_view_active.load(), 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"sub 4 draw=1", "gpu grid draw=1"}));
    EXPECT_TRUE(sleeper.taken().empty()) << "waits on the draw gate, not a fixed sleep";

    // The software path has no renderer to tell, the streams are switched the same.
    state->display_gdi.store(1);
    calls.clear();
    shell->video_double_click(300, 250);
    shell->video_double_click(300, 250);
    EXPECT_EQ(calls, (std::vector<std::string>{"main 4 draw=1", "sub 4 draw=1"}));
}

TEST_F(ViewModes, ZoomButtonTakesTheRememberedPaneAndTheMenuItsOwn) {
    open_live(4);
    open_live(8);
    state->last_click_x = 300;
    state->last_click_y = 250;
    shell->on_command(id::kZoom);
    EXPECT_EQ(state->selected_pane.load(), 4);
    shell->on_command(id::kZoom);
    EXPECT_EQ(state->full_view_active.load(), 0);

    state->menu_pane = 8;
    shell->on_command(id::kPaneZoom);
    EXPECT_EQ(state->full_view_active.load(), 1);
    EXPECT_EQ(state->selected_pane.load(), 8);
    shell->on_command(id::kPaneZoom);
    EXPECT_EQ(state->full_view_active.load(), 0);
    // The remembered point on an empty pane enlarges nothing.
    state->last_click_x = 10;
    state->last_click_y = 10;
    shell->on_command(id::kZoom);
    EXPECT_EQ(state->full_view_active.load(), 0);
}

TEST_F(ViewModes, AFailedRebuildWarnsReleasesAndLeavesDrawingOffButTheProgramGoesOn) {
    open_live(0);
    open_live(1);
    rebuild_ok = false;
    EXPECT_FALSE(shell->set_layout(16));
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.shown.back().text, strings::kStr61DisplayNotSupported);
    EXPECT_EQ(messages.shown.back().icon, platform::MessageIcon::warning);
    EXPECT_EQ(calls, (std::vector<std::string>{"rebuild 16 draw=00", "release draw=00"}));
    EXPECT_EQ(state->renderer, nullptr);
    EXPECT_EQ(drawing(), "00");

    // Without a renderer the next layout change has nothing to rebuild and draws again.
    calls.clear();
    state->grid_side = 2;
    EXPECT_TRUE(shell->set_layout(4));
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(drawing(), "11");
}

TEST_F(ViewModes, TargetsAreRebuiltOnlyAfterThePictureBeingDrawnIsFinished) {
    open_live(4);
    std::atomic<bool> holding{false}, left{false};
    std::thread pipeline([&] {
        view::DrawGate::Pass pass(state->draw_gate);  // a picture in progress
        holding = true;
        while (!state->draw_gate.draining()) std::this_thread::yield();
        left = true;
    });
    while (!holding) std::this_thread::yield();
    bool finished_before_retarget = false;
    shell->hooks().renderer_retarget = [&](bool) {
        finished_before_retarget = left.load();
        return true;
    };
    shell->on_command(id::kFullScreen);
    pipeline.join();
    EXPECT_TRUE(finished_before_retarget);
    EXPECT_EQ(state->full_screen_active.load(), 1);
}

TEST_F(ViewModes, FullScreenRetargetsWithDrawingStoppedAndEscapeReturns) {
    open_live(4);
    shell->video_double_click(300, 250);
    calls.clear();
    sleeper.sleeps.clear();

    shell->on_command(id::kFullScreen);
    EXPECT_EQ(calls, (std::vector<std::string>{"open window draw=1", "sub 4 draw=0",
                                               "retarget full screen draw=0"}));
    EXPECT_TRUE(sleeper.taken().empty()) << "waits on the draw gate, not a fixed sleep";
    EXPECT_EQ(state->full_screen_active.load(), 1);
    EXPECT_EQ(state->full_view_active.load(), 0);
    EXPECT_EQ(state->live_slots[4]->full_screen_target.load(), 1);
    EXPECT_EQ(drawing(), "1");
    // Picking and the full view work on the full-screen window's panes (1024 x 768 / 3).
    shell->video_double_click(341 + 10, 256 + 10);
    EXPECT_EQ(state->full_view_active.load(), 1);
    EXPECT_EQ(state->selected_pane.load(), 4);
    shell->video_double_click(5, 5);

    calls.clear();
    shell->on_command(id::kControlFullScreen);  // Escape and the control menu's "fullscreen"
    EXPECT_EQ(calls,
              (std::vector<std::string>{"close window draw=1", "retarget video window draw=0"}));
    EXPECT_EQ(state->full_screen_active.load(), 0);
    EXPECT_EQ(state->live_slots[4]->full_screen_target.load(), 0);
    EXPECT_EQ(drawing(), "1");

    // A retarget that fails keeps the window open with drawing stopped.
    retarget_ok = false;
    calls.clear();
    shell->on_command(id::kFullScreen);
    EXPECT_EQ(messages.shown.back().text, strings::kStr61DisplayNotSupported);
    EXPECT_EQ(calls.back(), "release draw=0");
    EXPECT_EQ(state->full_screen_active.load(), 1);
    EXPECT_EQ(drawing(), "0");
}

TEST_F(ViewModes, DisplaySwitchKeepsPanesOpenAndFallsBackToSoftwareWithGdiWritten) {
    open_live(4);
    shell->video_double_click(300, 250);
    calls.clear();
    sleeper.sleeps.clear();
    const char gdi[] = "GDI";
    shell->handle_private_message(platform::kMsgDisplayModeChanged,
                                  reinterpret_cast<std::intptr_t>(gdi), 0);
    // The full view is left first, with drawing stopped; the slot stays open.
    EXPECT_EQ(calls, (std::vector<std::string>{"sub 4 draw=0", "gpu grid draw=0",
                                               "switch software draw=0"}));
    EXPECT_EQ(state->full_view_active.load(), 0);
    EXPECT_EQ(state->display_gdi.load(), 1);
    EXPECT_EQ(drawing(), "1");
    ASSERT_NE(state->live_slots[4], nullptr);

    // The GPU path cannot be made: the software path stays, and the next start uses it.
    config.set_display(false);
    gpu_ok = false;
    calls.clear();
    const char direct[] = "DIRECTDRAW";
    shell->handle_private_message(platform::kMsgDisplayModeChanged,
                                  reinterpret_cast<std::intptr_t>(direct), 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"switch gpu draw=0", "switch software draw=0"}));
    EXPECT_EQ(state->display_gdi.load(), 1);
    EXPECT_TRUE(config.display_is_gdi());
    EXPECT_EQ(drawing(), "1");

    gpu_ok = true;
    shell->handle_private_message(platform::kMsgDisplayModeChanged,
                                  reinterpret_cast<std::intptr_t>(direct), 0);
    EXPECT_EQ(state->display_gdi.load(), 0);
}

}  // namespace
}  // namespace orvel::app
