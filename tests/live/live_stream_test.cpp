// The live path end to end on loopback: the simulator's stream service, the client's stream
// connection and receiving thread, the display threads and the decoders.
#include "net/stream/live_stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "codec/decoder_table.h"
#include "stream_fixture.h"
#include "view/app_state.h"
#include "view/channel_slots.h"

namespace orvel::test {
namespace {

using namespace std::chrono_literals;

class LiveStreamTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { codec::decoder_table_init(); }
    static void TearDownTestSuite() { codec::decoder_table_shutdown(); }

    LiveStreamTest() {
        env_.display.state = &state_;
        env_.display.gpu = &renderer_;
        env_.display.blitter = &renderer_;
    }

    // Waits until `pred` holds or `limit` passes.
    template <class Pred>
    static bool eventually(Pred pred, std::chrono::milliseconds limit = 5s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (pred()) return true;
            std::this_thread::sleep_for(10ms);
        }
        return pred();
    }

    view::AppState state_;
    CountingRenderer renderer_;
    net::LiveStreamEnv env_;
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

TEST_F(LiveStreamTest, Mpeg4StreamPlaysAndClosesCleanly) {
    LoopbackStreamServer server(config_of(dvrsim::StreamKind::mpeg4));
    const int decoders_before = codec::decoder_live_count();
    auto slot = view::make_live_slot();
    slot->pane = 0;
    ASSERT_TRUE(net::stream_open(*slot, "127.0.0.1", server.port(), 2, env_));
    EXPECT_EQ(slot->picture_width, 352);
    EXPECT_EQ(slot->decoders[1] >= 0, true) << "type-1 decoder for an MPEG-4 marker";
    EXPECT_EQ(renderer_.surfaces.load(), 1);
    ASSERT_TRUE(eventually([&] { return renderer_.pane_draws.load() >= 10; }));
    EXPECT_GT(renderer_.last_luma_range.load(), 60) << "a decoded scene, not a flat picture";
    EXPECT_TRUE(slot->stamp.date_built);
    ASSERT_TRUE(net::stream_stop(*slot, 2000));
    for (int32_t& h : slot->decoders)
        if (h != view::kNoDecoder) codec::decoder_destroy(h), h = view::kNoDecoder;
    EXPECT_EQ(codec::decoder_live_count(), decoders_before);
    EXPECT_EQ(slot->socket_fd.load(), -1);
}

TEST_F(LiveStreamTest, Codec4321StreamUsesTheTypeTwoDecoder) {
    LoopbackStreamServer server(config_of(dvrsim::StreamKind::c4321));
    auto slot = view::make_live_slot();
    ASSERT_TRUE(net::stream_open(*slot, "127.0.0.1", server.port(), 1, env_));
    EXPECT_GE(slot->decoders[0], 0);
    EXPECT_EQ(slot->decoders[1], view::kNoDecoder);
    ASSERT_TRUE(eventually([&] { return renderer_.pane_draws.load() >= 5; }));
    EXPECT_GT(renderer_.last_luma_range.load(), 60);
    ASSERT_TRUE(net::stream_stop(*slot, 2000));
    for (int32_t h : slot->decoders)
        if (h != view::kNoDecoder) codec::decoder_destroy(h);
}

TEST_F(LiveStreamTest, DualStreamShowsSubThenMainWhenSelected) {
    LoopbackStreamServer server(config_of(dvrsim::StreamKind::dual, 320, 240));
    auto slot = view::make_live_slot();
    ASSERT_TRUE(net::stream_open(*slot, "127.0.0.1", server.port(), 3, env_));
    EXPECT_TRUE(slot->dual_stream.load());
    EXPECT_EQ(slot->main_stream_width, 960) << "a 320-wide sub stream pairs with 960 x 720";
    EXPECT_GE(slot->decoders[2], 0);
    EXPECT_GE(slot->decoders[3], 0);
    ASSERT_TRUE(eventually([&] { return renderer_.pane_draws.load() >= 5; }));
    server.board().select_main(dvrsim::stream_id_for(3), true);
    slot->switch_request = 1;
    ASSERT_TRUE(eventually([&] { return renderer_.high_res_draws.load() >= 3; }));
    EXPECT_TRUE(slot->showing_main.load());
    ASSERT_TRUE(net::stream_stop(*slot, 2000));
    for (int32_t h : slot->decoders)
        if (h != view::kNoDecoder) codec::decoder_destroy(h);
}

TEST_F(LiveStreamTest, DroppedConnectionReconnectsAndPlaysAgain) {
    auto config = config_of(dvrsim::StreamKind::mpeg4);
    config.faults.drop_after_ms = 400;
    LoopbackStreamServer server(config);
    auto slot = view::make_live_slot();
    ASSERT_TRUE(net::stream_open(*slot, "127.0.0.1", server.port(), 1, env_));
    ASSERT_TRUE(eventually([&] { return server.connections() >= 3; }))
        << "the pane reconnects after every drop";
    const int drawn = renderer_.pane_draws.load();
    ASSERT_TRUE(eventually([&] { return renderer_.pane_draws.load() > drawn + 3; }));
    ASSERT_TRUE(net::stream_stop(*slot, 2000));
    for (int32_t h : slot->decoders)
        if (h != view::kNoDecoder) codec::decoder_destroy(h);
}

TEST_F(LiveStreamTest, OversizedFrameIsALostConnection) {
    // Only the dual form's 32-bit length can announce a frame larger than a ring entry.
    auto config = config_of(dvrsim::StreamKind::dual);
    config.faults.oversize_after_ms = 300;
    LoopbackStreamServer server(config);
    // The server keeps the connection after the oversized frame: only the client's own
    // verdict on that frame makes it connect again.
    server.hold_open = true;
    auto slot = view::make_live_slot();
    ASSERT_TRUE(net::stream_open(*slot, "127.0.0.1", server.port(), 1, env_));
    ASSERT_TRUE(eventually([&] { return server.connections() >= 2; }));
    ASSERT_TRUE(net::stream_stop(*slot, 2000));
    for (int32_t h : slot->decoders)
        if (h != view::kNoDecoder) codec::decoder_destroy(h);
}

TEST_F(LiveStreamTest, RefusedConnectionFailsTheOpen) {
    auto slot = view::make_live_slot();
    EXPECT_FALSE(net::stream_open(*slot, "127.0.0.1", 1, 1, env_));
    EXPECT_FALSE(net::stream_open(*slot, "no.such.host.invalid", 9001, 1, env_));
    EXPECT_EQ(slot->socket_fd.load(), -1);
    EXPECT_FALSE(slot->receive_thread.joinable());
}

TEST_F(LiveStreamTest, RepeatedOpenAndCloseLeavesNothingBehind) {
    const int decoders_before = codec::decoder_live_count();
    const int descriptors_before = open_descriptors();
    {
        LoopbackStreamServer server(config_of(dvrsim::StreamKind::mpeg4));
        for (int i = 0; i < 200; ++i) {
            auto slot = view::make_live_slot();
            ASSERT_TRUE(net::stream_open(*slot, "127.0.0.1", server.port(), 1 + i % 4, env_));
            if (i % 8 == 0) std::this_thread::sleep_for(60ms);
            ASSERT_TRUE(net::stream_stop(*slot, 2000));
            EXPECT_FALSE(slot->receive_thread.joinable());
            EXPECT_FALSE(slot->display_thread.joinable());
            for (int32_t h : slot->decoders)
                if (h != view::kNoDecoder) codec::decoder_destroy(h);
        }
    }
    EXPECT_EQ(codec::decoder_live_count(), decoders_before);
    // Every client socket was closed by its own receiving thread (the server's are closed with
    // the server).
    EXPECT_EQ(open_descriptors(), descriptors_before);
}

}  // namespace
}  // namespace orvel::test
