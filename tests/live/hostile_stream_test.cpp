// A DVR that misbehaves on one camera's stream while the other cameras behave: the hostile
// pane loses its stream, reconnects and plays again, and the other panes never stop. Real
// simulator stream service on loopback, real network thread, ring, workers and decoders.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "codec/decoder_table.h"
#include "net/stream/stream_recorder.h"
#include "pane/live_pane.h"
#include "pane/pipelines.h"
#include "stream_fixture.h"
#include "view/app_state.h"

namespace orvel::test {
namespace {

using namespace std::chrono_literals;

// What a recording would see of the hostile stream: headers, whole frames, ends.
struct StreamEvents final : net::StreamRecorder {
    std::atomic<int> headers{0}, frames{0}, ends{0};
    std::atomic<bool> frame_after_end_without_header{false};
    void on_stream_header(const uint8_t*) override { headers.fetch_add(1); }
    void on_frame(const uint8_t*, std::size_t) override {
        if (ends.load() >= headers.load()) frame_after_end_without_header = true;
        frames.fetch_add(1);
    }
    void on_stream_end() override { ends.fetch_add(1); }
};

class HostileStreamTest : public ::testing::Test {
protected:
    static constexpr int kPanes = 3;  // camera 1 is hostile, 2 and 3 behave
    static void SetUpTestSuite() { codec::decoder_table_init(); }
    static void TearDownTestSuite() { codec::decoder_table_shutdown(); }

    HostileStreamTest() : pipelines_(state_) {
        pipelines_.env().gpu = &renderer_;
        pipelines_.env().blitter = &renderer_;
        pipelines_.env().ui = &ui_;
        config_.camera_count = kPanes;
        config_.loop_frames = 12;
        config_.gop = 6;
        config_.defaults.audio = false;
        config_.faults.camera = 1;
    }

    // Opens camera p + 1 in pane p for every pane; the hostile pane's stream goes to `events_`.
    void open_all(LoopbackStreamServer& server) {
        for (int p = 0; p < kPanes; ++p) {
            auto slot = view::make_live_slot();
            slot->pane = p;
            std::strcpy(slot->peer_address.data(), "127.0.0.1");
            slot->stream_port = server.port();
            slot->channel = p + 1;
            panes_[p] = std::make_unique<pane::LivePane>(pipelines_.env(), *slot);
            ASSERT_TRUE(panes_[p]->start({}, p == 0 ? &events_ : nullptr));
            slots_[p] = std::move(slot);
        }
    }
    uint64_t drawn(int pane) const { return slots_[pane]->pictures_drawn.load(); }

    template <class Pred>
    bool eventually(Pred pred, std::chrono::milliseconds limit = 10s) {
        return pump_until(ui_, pred, limit);
    }
    // The well-behaved panes each show `pictures` more while the hostile one is dealt with.
    bool others_advance(int pictures, std::chrono::milliseconds limit = 10s) {
        const uint64_t from1 = drawn(1), from2 = drawn(2);
        return eventually(
            [&] { return drawn(1) >= from1 + pictures && drawn(2) >= from2 + pictures; }, limit);
    }
    void TearDown() override {
        for (auto& p : panes_)
            if (p) p->close();
        EXPECT_EQ(pipelines_.hub().connection_count(), 0);
    }

    view::AppState state_;
    CountingRenderer renderer_;
    QueuedUiPost ui_;
    pane::PanePipelines pipelines_;
    dvrsim::StreamConfig config_;
    StreamEvents events_;
    std::unique_ptr<view::LiveSlot> slots_[kPanes];
    std::unique_ptr<pane::LivePane> panes_[kPanes];
};

TEST_F(HostileStreamTest, GarbageBytesAreALostStreamThatReconnectsWhileOthersPlay) {
    config_.faults.garbage_after_ms = 500;
    LoopbackStreamServer server(config_);
    open_all(server);
    // Each connection of camera 1 plays half a second, then sends 4 KiB of random bytes and
    // closes: the pane takes its stream again and again and draws between the bursts.
    ASSERT_TRUE(
        eventually([&] { return events_.ends.load() >= 3 && events_.headers.load() >= 4; }, 20s));
    const uint64_t hostile = drawn(0);
    EXPECT_TRUE(eventually([&] { return drawn(0) > hostile; })) << "plays again after a burst";
    EXPECT_TRUE(others_advance(25));
    EXPECT_FALSE(events_.frame_after_end_without_header.load());
    EXPECT_EQ(renderer_.notice(1), "");
    EXPECT_EQ(renderer_.notice(2), "");
}

TEST_F(HostileStreamTest, StallInTheMiddleOfAFrameIsLostAfterTheSilenceBound) {
    config_.faults.stall_mid_frame_after_ms = 400;
    LoopbackStreamServer server(config_);
    open_all(server);
    ASSERT_TRUE(eventually([&] { return drawn(0) >= 3; }));
    // The DVR hangs half way through a frame: the other panes play on all the while ...
    const int frames_before_stall = events_.frames.load();
    EXPECT_TRUE(others_advance(100));
    // ... and after the silence bound the stream counts as lost (the half frame never reaches
    // a recording) and is taken again.
    ASSERT_TRUE(eventually([&] { return events_.ends.load() >= 1 && events_.headers.load() >= 2; },
                           std::chrono::milliseconds(net::kStreamStallTimeoutMs + 10'000)));
    EXPECT_GE(events_.frames.load(), frames_before_stall);
    const uint64_t hostile = drawn(0);
    EXPECT_TRUE(eventually([&] { return drawn(0) > hostile; })) << "plays again";
    EXPECT_FALSE(events_.frame_after_end_without_header.load());
}

TEST_F(HostileStreamTest, HeaderThatChangesSizeAndCodecBetweenReconnectsIsFollowed) {
    config_.faults.drop_after_ms = 700;
    dvrsim::StreamSettings other;
    other.kind = dvrsim::StreamKind::c4321;
    other.width = 704;
    other.height = 576;
    other.audio = false;
    config_.alternate[1] = other;  // every second connection of camera 1
    LoopbackStreamServer server(config_);
    server.warm(1);
    open_all(server);
    // The pane's surface follows each header: CIF MPEG-4, then 4CIF codec 4321, then CIF again,
    // with pictures drawn at each size.
    for (const int width : {352, 704, 352}) {
        ASSERT_TRUE(eventually([&] { return renderer_.surface_width[0].load() == width; }, 20s))
            << width;
        const uint64_t at = drawn(0);
        EXPECT_TRUE(eventually([&] { return drawn(0) > at; })) << width;
    }
    EXPECT_EQ(renderer_.notice(0), "") << "both sizes are supported";
    EXPECT_TRUE(others_advance(25));
    EXPECT_EQ(renderer_.surface_width[1].load(), 352);
}

}  // namespace
}  // namespace orvel::test
