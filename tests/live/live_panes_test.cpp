// Live panes in the application state: choosing panes, growing the grid, and closing every
// pane so that no thread, socket or decoder is left behind.
#include "pane/live_panes.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "../support/fake_ports.h"
#include "codec/decoder_table.h"
#include "pane/pipelines.h"
#include "stream_fixture.h"

namespace orvel::test {
namespace {

using namespace std::chrono_literals;

int open_descriptors() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d) != nullptr) ++n;
        ::closedir(d);
    }
    return n;
}

struct GrowingLayout : view::PaneLayoutHooks {
    std::vector<int> applied;
    void leave_full_view() override {}
    bool apply_layout(int pane_count) override {
        applied.push_back(pane_count);
        return true;
    }
};

class LivePanesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { codec::decoder_table_init(); }
    static void TearDownTestSuite() { codec::decoder_table_shutdown(); }
    LivePanesTest() : pipelines_(state_) {
        pipelines_.env().gpu = &renderer_;
        pipelines_.env().blitter = &renderer_;
        pipelines_.env().ui = &ui_;
    }
    view::AppState state_;
    CountingRenderer renderer_;
    QueuedUiPost ui_;
    pane::PanePipelines pipelines_;
    GrowingLayout layout_;
    FakeMessageBox messages_;
};

dvrsim::StreamConfig small_config() {
    dvrsim::StreamConfig c;
    c.camera_count = 16;
    c.loop_frames = 10;
    c.gop = 5;
    c.defaults.audio = false;
    return c;
}

TEST_F(LivePanesTest, EightCamerasFillAThreeByThreeGridAndAllPlay) {
    const int fds_before = open_descriptors();
    const int decoders_before = codec::decoder_live_count();
    {
        LoopbackStreamServer server(small_config());
        pane::LivePanes panes(state_, layout_, messages_, nullptr, pipelines_.env());
        // The command port is the stream port - 1.
        for (int cam = 1; cam <= 8; ++cam) {
            const std::string text =
                "Cam 0" + std::to_string(cam) + "--Gate " + std::to_string(cam);
            EXPECT_EQ(panes.open_live_pane("127.0.0.1", server.port() - 1, cam, text, false),
                      cam - 1);
        }
        EXPECT_EQ(state_.grid_side, 3) << "the fifth open grew the grid";
        EXPECT_EQ(layout_.applied, std::vector<int>{9});
        EXPECT_EQ(state_.open_pane_count, 8);
        EXPECT_TRUE(view::check_invariants(state_));
        EXPECT_STREQ(state_.live_slots[2]->caption.data(), "Gate 3");
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        auto all_drawn = [&] {
            for (int p = 0; p < 8; ++p)
                if (renderer_.draws_per_pane[static_cast<size_t>(p)].load() < 5) return false;
            return true;
        };
        while (!all_drawn() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(20ms);
        EXPECT_TRUE(all_drawn()) << "every pane receives and displays frames";

        EXPECT_TRUE(panes.close_live_pane(1));
        EXPECT_FALSE(panes.close_live_pane(1)) << "closing a closed pane changes nothing";
        EXPECT_EQ(state_.open_pane_count, 7);
        EXPECT_EQ(panes.open_live_pane("127.0.0.1", server.port() - 1, 9, "Cam 09--Yard", false), 1)
            << "the freed pane is reused";
        panes.close_all();
        EXPECT_EQ(state_.open_pane_count, 0);
        EXPECT_TRUE(view::check_invariants(state_));
    }
    EXPECT_EQ(codec::decoder_live_count(), decoders_before);
    EXPECT_EQ(open_descriptors(), fds_before) << "no socket left open (client or simulator)";
}

TEST_F(LivePanesTest, FailedOpenLeavesThePaneFree) {
    pane::LivePanes panes(state_, layout_, messages_, nullptr, pipelines_.env());
    std::vector<int> failed;
    panes.on_open_failed = [&](int pane) { failed.push_back(pane); };
    // Opening does not wait for the network: the pane is taken while it connects ...
    EXPECT_EQ(panes.open_live_pane("127.0.0.1", 0, 1, "Cam 01--x", false), 0);
    // ... and given back once the connection has failed.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (failed.empty() && std::chrono::steady_clock::now() < deadline) {
        ui_.pump();
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(failed, std::vector<int>{0});
    EXPECT_EQ(state_.open_pane_count, 0);
    EXPECT_EQ(state_.pane_kind[0], view::PANE_FREE);
    EXPECT_FALSE(state_.live_slots[0]);
    EXPECT_TRUE(view::check_invariants(state_));
}

TEST(LivePaneCaption, TakesTheTextAfterTheDashes) {
    EXPECT_EQ(pane::caption_from_item_text("Cam 02--(Location)"), "(Location)");
    EXPECT_EQ(pane::caption_from_item_text("Cam 02--"), "");
    EXPECT_EQ(pane::caption_from_item_text("Front door"), "Front door") << "no dashes: whole text";
}

}  // namespace
}  // namespace orvel::test
