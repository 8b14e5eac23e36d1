// The grid changes while panes play: the shell publishes each layout whole and the pipelines
// draw with one layout or the next, never a torn one (run under ThreadSanitizer).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "../support/fake_ports.h"
#include "../support/temp_dir.h"
#include "app/command_ids.h"
#include "app/shell.h"
#include "codec/decoder_table.h"
#include "pane/live_panes.h"
#include "pane/pipelines.h"
#include "stream_fixture.h"

namespace orvel::test {
namespace {

using namespace std::chrono_literals;

TEST(LayoutWhilePlaying, FiftyLayoutChangesWithSixteenPanesPlaying) {
    codec::decoder_table_init();
    TempDir dir;
    platform::IniFile ini{dir.file("orvelcam.ini")};
    app::Config config{ini};
    view::AppState state;
    FakeMessageBox messages;
    FakeTree tree;
    FakeMenus menus;
    FakeControls controls;
    FakeTimers timers;
    FakeSleeper sleeper;
    app::CommandDispatcher dispatcher;
    app::Shell shell(state, config,
                     app::ShellPorts{messages, tree, menus, controls, timers, sleeper}, dispatcher);
    shell.initialise();
    state.display_gdi = 1;  // the software path draws where the published layout says
    dispatcher.dispatch(app::id::kSplit16);

    dvrsim::StreamConfig stream;
    stream.camera_count = 16;
    stream.loop_frames = 10;
    stream.gop = 5;
    stream.defaults.width = 176;
    stream.defaults.height = 144;
    stream.defaults.audio = false;
    LoopbackStreamServer server(stream);
    CountingRenderer renderer;
    QueuedUiPost ui;
    {
        pane::PanePipelines pipelines(state);
        pipelines.env().blitter = &renderer;
        pipelines.env().ui = &ui;
        pane::LivePanes panes(state, shell, messages, nullptr, pipelines.env());
        for (int cam = 1; cam <= 16; ++cam)
            ASSERT_EQ(panes.open_live_pane("127.0.0.1", server.port() - 1, cam, "Cam--x", false),
                      cam - 1);
        auto all_drew_since = [&](const std::array<int, 16>& before) {
            for (int p = 0; p < 16; ++p)
                if (renderer.draws_per_pane[static_cast<size_t>(p)].load() <=
                    before[static_cast<size_t>(p)])
                    return false;
            return true;
        };
        auto snapshot = [&] {
            std::array<int, 16> counts{};
            for (int p = 0; p < 16; ++p)
                counts[static_cast<size_t>(p)] =
                    renderer.draws_per_pane[static_cast<size_t>(p)].load();
            return counts;
        };
        auto wait_all_drew = [&](const std::array<int, 16>& before) {
            const auto end = std::chrono::steady_clock::now() + 20s;
            while (!all_drew_since(before) && std::chrono::steady_clock::now() < end) {
                ui.pump();
                std::this_thread::sleep_for(5ms);
            }
            return all_drew_since(before);
        };
        ASSERT_TRUE(wait_all_drew({}));
        const int commands[] = {app::id::kSplit25, app::id::kSplit36, app::id::kSplit16};
        for (int i = 0; i < 50; ++i) {
            dispatcher.dispatch(commands[i % 3]);
            std::this_thread::sleep_for(2ms);  // let frames meet the layout in between
        }
        EXPECT_EQ(state.grid_side, 6);  // the fiftieth change is to 6 x 6
        // After the changes every pane draws again, in its cell of the last grid.
        ASSERT_TRUE(wait_all_drew(snapshot()));
        const view::GridLayout last = state.layout.read();
        const auto before = snapshot();
        ASSERT_TRUE(wait_all_drew(before));
        for (int p = 0; p < 16; ++p)
            EXPECT_EQ(renderer.dest_of(p), view::software_dest_rect(last, p, false, false)) << p;
        EXPECT_TRUE(messages.shown.empty());
    }
    codec::decoder_table_shutdown();
}

}  // namespace
}  // namespace orvel::test
