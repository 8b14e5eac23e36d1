#include "net/stream/frame_split.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <thread>
#include <vector>

namespace orvel::net {
namespace {

// A small ring with the same bookkeeping as a slot's (entries of 4 KiB keep the test light).
struct TestRing {
    std::array<std::array<uint8_t, 4096>, 12> ring{};
    int32_t ring_write = 0;
    int32_t ring_fill = 0;
    std::atomic<int32_t> ring_count{0};
    std::atomic<uint8_t> receiving{1};

    // Simulates one receive of `bytes` into the entry being filled.
    SplitResult receive(const std::vector<uint8_t>& bytes, bool dual, FrameSink* sink = nullptr) {
        std::memcpy(ring[ring_write].data() + ring_fill, bytes.data(), bytes.size());
        return frame_split(*this, static_cast<int>(bytes.size()), dual, sink);
    }
};

std::vector<uint8_t> std_frame(uint16_t payload, uint8_t fill) {
    std::vector<uint8_t> f(12 + payload, fill);
    f[0] = 0;
    f[1] = 0;
    f[2] = static_cast<uint8_t>(payload);
    f[3] = static_cast<uint8_t>(payload >> 8);
    return f;
}

std::vector<uint8_t> dual_frame(uint32_t payload, uint8_t fill) {
    std::vector<uint8_t> f(16 + payload, fill);
    f[0] = 2;
    for (int i = 0; i < 4; ++i) f[4 + i] = static_cast<uint8_t>(payload >> (8 * i));
    return f;
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct CountingSink : FrameSink {
    std::vector<int> sizes;
    void on_frame(const uint8_t*, int bytes) override { sizes.push_back(bytes); }
};

TEST(FrameSplit, TwoFramesInOneReceiveGetAnEntryEach) {
    auto r = std::make_unique<TestRing>();
    const auto a = std_frame(100, 0xAA), b = std_frame(50, 0xBB);
    CountingSink sink;
    EXPECT_EQ(r->receive(concat(a, b), false, &sink), SplitResult::kNeedMore);
    EXPECT_EQ(r->ring_count.load(), 2);
    EXPECT_EQ(r->ring_write, 2);
    EXPECT_EQ(r->ring_fill, 0);
    EXPECT_EQ(0, std::memcmp(r->ring[0].data(), a.data(), a.size()));
    EXPECT_EQ(0, std::memcmp(r->ring[1].data(), b.data(), b.size())) << "next frame at offset 0";
    EXPECT_EQ(sink.sizes, (std::vector<int>{112, 62}));
}

TEST(FrameSplit, DualFrameSplitAcrossReceives) {
    auto r = std::make_unique<TestRing>();
    const auto f = dual_frame(1000, 0x5A);
    std::vector<uint8_t> head(f.begin(), f.begin() + 10), rest(f.begin() + 10, f.end());
    EXPECT_EQ(r->receive(head, true), SplitResult::kNeedMore) << "header incomplete";
    EXPECT_EQ(r->ring_count.load(), 0);
    std::vector<uint8_t> mid(rest.begin(), rest.begin() + 500), tail(rest.begin() + 500, rest.end());
    EXPECT_EQ(r->receive(mid, true), SplitResult::kNeedMore);
    EXPECT_EQ(r->ring_count.load(), 0);
    EXPECT_EQ(r->receive(tail, true), SplitResult::kNeedMore);
    EXPECT_EQ(r->ring_count.load(), 1);
    EXPECT_EQ(r->ring_fill, 0);
    EXPECT_EQ(0, std::memcmp(r->ring[0].data(), f.data(), f.size()));
}

TEST(FrameSplit, HeaderOnlyFrameWaitsForTheNextByte) {
    // A frame of payload 0 is exactly its header: ring_fill == header does not yet split,
    // matching the stream's rule that a header alone is not a frame until more bytes come.
    auto r = std::make_unique<TestRing>();
    EXPECT_EQ(r->receive(std_frame(0, 0), false), SplitResult::kNeedMore);
    EXPECT_EQ(r->ring_count.load(), 0);
    EXPECT_EQ(r->receive(std_frame(4, 1), false), SplitResult::kNeedMore);
    EXPECT_EQ(r->ring_count.load(), 2);
}

TEST(FrameSplit, OversizedFrameIsALostConnection) {
    auto r = std::make_unique<TestRing>();
    auto big = dual_frame(0, 0);
    big[4] = 0xFF, big[5] = 0xFF, big[6] = 0xFF, big[7] = 0xFF;  // 4 GiB announced
    big.push_back(0);
    EXPECT_EQ(r->receive(big, true), SplitResult::kOversized);
    EXPECT_EQ(r->ring_count.load(), 0);
    auto r2 = std::make_unique<TestRing>();
    EXPECT_EQ(r2->receive(std_frame(4085, 0), false), SplitResult::kOversized) << "4097 bytes";
    auto r3 = std::make_unique<TestRing>();
    EXPECT_EQ(r3->receive(std_frame(4084, 0), false), SplitResult::kNeedMore) << "exactly fits";
    EXPECT_EQ(r3->ring_count.load(), 1);
}

TEST(FrameSplit, FullRingHoldsTheSurplusUntilAnEntryIsFree) {
    auto r = std::make_unique<TestRing>();
    r->ring_count = 11;
    r->ring_write = 3;
    const auto a = std_frame(10, 1), b = std_frame(20, 2);
    std::thread consumer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        r->ring_count.fetch_sub(1);  // the display thread frees one entry
    });
    EXPECT_EQ(r->receive(concat(a, b), false), SplitResult::kNeedMore);
    consumer.join();
    EXPECT_EQ(r->ring_count.load(), 12) << "second frame queued after the wait";
    EXPECT_EQ(0, std::memcmp(r->ring[4].data(), b.data(), b.size()));
}

TEST(FrameSplit, ClosingWhileTheRingIsFullStopsTheWait) {
    auto r = std::make_unique<TestRing>();
    r->ring_count = 11;
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        r->receiving = 0;
    });
    EXPECT_EQ(r->receive(concat(std_frame(10, 1), std_frame(10, 2)), false), SplitResult::kStopped);
    closer.join();
}

}  // namespace
}  // namespace orvel::net
