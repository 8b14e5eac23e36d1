// One live pane end to end on loopback: the simulator's stream service, the network thread,
// the frame ring, the pane workers, the decoders and the hand-off to a counting renderer.
#include "pane/live_pane.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "codec/decoder_table.h"
#include "pane/pipelines.h"
#include "stream_fixture.h"
#include "view/app_state.h"
#include "view/panes.h"
#include "view/render/stamp.h"

namespace orvel::test {
namespace {

using namespace std::chrono_literals;

class LivePaneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { codec::decoder_table_init(); }
    static void TearDownTestSuite() { codec::decoder_table_shutdown(); }

    LivePaneTest() : pipelines_(state_) {
        pipelines_.env().gpu = &renderer_;
        pipelines_.env().blitter = &renderer_;
        pipelines_.env().ui = &ui_;
    }

    // A live slot for pane `pane` on the loopback server.
    static std::unique_ptr<view::LiveSlot> slot_for(int port, int channel, int pane = 0) {
        auto slot = view::make_live_slot();
        slot->pane = pane;
        std::strcpy(slot->peer_address.data(), "127.0.0.1");
        slot->stream_port = port;
        slot->channel = channel;
        return slot;
    }

    // Waits until `pred` holds or `limit` passes, running the pipelines' reports meanwhile.
    template <class Pred>
    bool eventually(Pred pred, std::chrono::milliseconds limit = 10s) {
        return pump_until(ui_, pred, limit);
    }

    view::AppState state_;
    CountingRenderer renderer_;
    QueuedUiPost ui_;
    pane::PanePipelines pipelines_;
};

// Open descriptors of this process (both ends of the loopback connections).
int open_descriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

dvrsim::StreamConfig config_of(dvrsim::StreamKind kind, int width = 352, int height = 288) {
    dvrsim::StreamConfig c;
    c.camera_count = 4;
    c.loop_frames = 12;
    c.gop = 6;
    c.defaults.kind = kind;
    c.defaults.width = width;
    c.defaults.height = height;
    return c;
}

TEST_F(LivePaneTest, Mpeg4StreamPlaysAndClosesCleanly) {
    LoopbackStreamServer server(config_of(dvrsim::StreamKind::mpeg4));
    const int decoders_before = codec::decoder_live_count();
    auto slot = slot_for(server.port(), 2);
    {
        pane::LivePane live(pipelines_.env(), *slot);
        ASSERT_TRUE(live.start({}, nullptr));
        EXPECT_EQ(renderer_.notice(0), "connecting") << "the pane says it is connecting";
        ASSERT_TRUE(eventually([&] { return renderer_.pane_draws.load() >= 10; }));
        EXPECT_EQ(renderer_.last_width.load(), 352);
        EXPECT_EQ(renderer_.surfaces.load(), 1);
        EXPECT_GT(renderer_.last_luma_range.load(), 60) << "a decoded scene, not a flat picture";
        EXPECT_EQ(renderer_.notice(0), "") << "connected";
        EXPECT_GE(slot->pictures_drawn.load(), 10u);
        live.close();
        EXPECT_EQ(codec::decoder_live_count(), decoders_before) << "decoders go with the close";
    }
    EXPECT_EQ(pipelines_.hub().connection_count(), 0);
}

TEST_F(LivePaneTest, Codec4321StreamPlays) {
    LoopbackStreamServer server(config_of(dvrsim::StreamKind::c4321));
    server.warm(1);
    auto slot = slot_for(server.port(), 1);
    pane::LivePane live(pipelines_.env(), *slot);
    ASSERT_TRUE(live.start({}, nullptr));
    ASSERT_TRUE(eventually([&] { return renderer_.pane_draws.load() >= 5; }));
    EXPECT_GT(renderer_.last_luma_range.load(), 60);
}

TEST_F(LivePaneTest, DualStreamShowsSubThenMainWhenSelected) {
    LoopbackStreamServer server(config_of(dvrsim::StreamKind::dual, 320, 240));
    auto slot = slot_for(server.port(), 3);
    pane::LivePane live(pipelines_.env(), *slot);
    ASSERT_TRUE(live.start({}, nullptr));
    ASSERT_TRUE(eventually([&] { return renderer_.pane_draws.load() >= 5; }));
    EXPECT_TRUE(slot->dual_stream.load());
    EXPECT_EQ(slot->stream_id.load(), dvrsim::stream_id_for(3));
    server.board().select_main(dvrsim::stream_id_for(3), true);
    slot->switch_request = 1;
    ASSERT_TRUE(eventually([&] { return renderer_.high_res_draws.load() >= 3; }));
    EXPECT_EQ(slot->switch_request.load(), 0) << "the switch is done";
}

TEST_F(LivePaneTest, DroppedConnectionReconnectsAndPlaysAgain) {
    auto config = config_of(dvrsim::StreamKind::mpeg4);
    config.faults.drop_after_ms = 400;
    LoopbackStreamServer server(config);
    auto slot = slot_for(server.port(), 1);
    pane::LivePane live(pipelines_.env(), *slot);
    ASSERT_TRUE(live.start({}, nullptr));
    ASSERT_TRUE(eventually([&] { return server.connections() >= 3; }))
        << "the pane reconnects after every drop";
    const int drawn = renderer_.pane_draws.load();
    ASSERT_TRUE(eventually([&] { return renderer_.pane_draws.load() > drawn + 3; }));
}

TEST_F(LivePaneTest, OversizedFrameIsALostConnection) {
    auto config = config_of(dvrsim::StreamKind::mpeg4);
    config.faults.oversize_after_ms = 300;
    LoopbackStreamServer server(config);
    auto slot = slot_for(server.port(), 1);
    pane::LivePane live(pipelines_.env(), *slot);
    ASSERT_TRUE(live.start({}, nullptr));
    ASSERT_TRUE(eventually([&] { return server.connections() >= 2; }));
}

TEST_F(LivePaneTest, FirstConnectionThatFailsIsReportedOnTheUiThread) {
    for (const char* address : {"127.0.0.1", "no.such.host.invalid"}) {
        auto slot = slot_for(1, 1);
        std::strcpy(slot->peer_address.data(), address);
        int failures = 0;
        pane::LivePane live(pipelines_.env(), *slot);
        ASSERT_TRUE(live.start([&] { ++failures; }, nullptr));
        EXPECT_TRUE(eventually([&] { return failures == 1; })) << address;
    }
    EXPECT_EQ(renderer_.pane_draws.load(), 0);
}

TEST_F(LivePaneTest, RepeatedOpenAndCloseLeavesNothingBehind) {
    const int decoders_before = codec::decoder_live_count();
    const int descriptors_before = open_descriptors();
    {
        LoopbackStreamServer server(config_of(dvrsim::StreamKind::mpeg4));
        for (int i = 0; i < 200; ++i) {
            auto slot = slot_for(server.port(), 1 + i % 4);
            pane::LivePane live(pipelines_.env(), *slot);
            ASSERT_TRUE(live.start({}, nullptr));
            if (i % 8 == 0) eventually([&] { return slot->pictures_drawn.load() > 0; }, 2s);
            live.close();
        }
    }
    EXPECT_EQ(codec::decoder_live_count(), decoders_before);
    EXPECT_EQ(pipelines_.hub().connection_count(), 0);
    // Every client socket was closed by the network thread (the server's with the server).
    EXPECT_EQ(open_descriptors(), descriptors_before);
}

// Picture sizes: real 1080p plays whole; a header beyond the limit, or one that lies about the
// pictures, never reaches a decoder's output, says so in the pane and is not reconnected.
TEST_F(LivePaneTest, FullHdPlaysWhole) {
    LoopbackStreamServer server(config_of(dvrsim::StreamKind::mpeg4, 1920, 1080));
    server.warm(1);
    auto slot = slot_for(server.port(), 1);
    pane::LivePane live(pipelines_.env(), *slot);
    ASSERT_TRUE(live.start({}, nullptr));
    ASSERT_TRUE(eventually([&] { return renderer_.pane_draws.load() >= 3; }, 20s));
    EXPECT_EQ(renderer_.last_width.load(), 1920);
    EXPECT_EQ(renderer_.last_height.load(), 1080);
    EXPECT_GT(renderer_.last_luma_range.load(), 60);
}

// Software path, enlarged pane: the stamp is burnt into the picture until the picture is
// zoomed; the zoomed picture comes clean, with the frame's time for the renderer to draw over
// it (a crop would cut the burnt-in stamp off or enlarge it).
TEST_F(LivePaneTest, ZoomedEnlargedPaneHandsItsTimeOverInsteadOfBurningItIn) {
    LoopbackStreamServer server(config_of(dvrsim::StreamKind::mpeg4));
    state_.display_gdi = 1;
    state_.full_view_active = 1;
    state_.selected_pane = 0;
    view::publish_layout(state_);
    auto slot = slot_for(server.port(), 1);
    pane::LivePane live(pipelines_.env(), *slot);
    ASSERT_TRUE(live.start({}, nullptr));
    ASSERT_TRUE(eventually([&] { return renderer_.blits.load() >= 3; }));
    EXPECT_EQ(renderer_.last_overlay_time.load(), 0u);
    const int stamped_white = renderer_.last_corner_white.load();
    EXPECT_GT(stamped_white, 100) << "the digits and separators of the stamp";

    state_.full_view_zoomed = 1;
    int blits = renderer_.blits.load();
    ASSERT_TRUE(eventually([&] { return renderer_.blits.load() >= blits + 3; }));
    const uint32_t time = renderer_.last_overlay_time.load();
    EXPECT_NE(time, 0u);
    EXPECT_EQ(std::string(view::stamp_text(time).data()).size(), 17u);
    EXPECT_LT(renderer_.last_corner_white.load(), stamped_white / 4) << "no stamp in the picture";

    state_.full_view_zoomed = 0;
    blits = renderer_.blits.load();
    ASSERT_TRUE(eventually([&] { return renderer_.blits.load() >= blits + 3; }));
    EXPECT_EQ(renderer_.last_overlay_time.load(), 0u);
    EXPECT_GT(renderer_.last_corner_white.load(), 100);
}

TEST_F(LivePaneTest, SizesThatDoNotFitCloseTheStreamWithANotice) {
    struct Lie {
        int picture_width, picture_height, header_width, header_height;
    };
    for (const Lie lie :
         {Lie{352, 288, 4096, 4096}, Lie{352, 288, 65535, 65535}, Lie{704, 576, 352, 288}}) {
        auto config = config_of(dvrsim::StreamKind::mpeg4, lie.picture_width, lie.picture_height);
        config.defaults.header_width = lie.header_width;
        config.defaults.header_height = lie.header_height;
        config.per_camera[2] = config_of(dvrsim::StreamKind::mpeg4).defaults;  // an honest one
        LoopbackStreamServer server(config);
        auto liar = slot_for(server.port(), 1, 0);
        auto honest = slot_for(server.port(), 2, 1);
        pane::LivePane bad(pipelines_.env(), *liar);
        pane::LivePane good(pipelines_.env(), *honest);
        ASSERT_TRUE(bad.start({}, nullptr));
        ASSERT_TRUE(good.start({}, nullptr));
        ASSERT_TRUE(eventually([&] { return renderer_.notice(0) == "picture size not supported"; }))
            << lie.header_width << "x" << lie.header_height;
        // The other pane goes on playing meanwhile, and the refused stream is not reconnected.
        const int drawn = renderer_.draws_per_pane[1].load();
        ASSERT_TRUE(eventually([&] { return renderer_.draws_per_pane[1].load() >= drawn + 10; }));
        EXPECT_EQ(server.connections(), 2);
        EXPECT_EQ(renderer_.draws_per_pane[0].load(), 0);
        EXPECT_EQ(liar->pictures_drawn.load(), 0u);
    }
}

}  // namespace
}  // namespace orvel::test
