// Cutting a stream into whole frames, one per ring entry, without waiting: the producer stops
// when no entry is free and goes on when the consumer frees one.
#include "net/stream/frame_ring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "net/stream/stream_recorder.h"

namespace orvel::net {
namespace {

// Entries of 4 KiB keep the test light; the cutting does not depend on the entry size.
constexpr std::size_t kEntry = 4096;

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

struct CountingRecorder : StreamRecorder {
    std::vector<std::size_t> sizes;
    void on_stream_header(const uint8_t*) override {}
    void on_frame(const uint8_t*, std::size_t bytes) override { sizes.push_back(bytes); }
    void on_stream_end() override {}
};

// One receive of `bytes` (as much as the receive area takes) and the cut that follows.
SplitResult receive(FrameRing& ring, const std::vector<uint8_t>& bytes, bool dual,
                    StreamRecorder* recorder = nullptr) {
    const std::span<uint8_t> area = ring.receive_area();
    if (area.size() < bytes.size()) {
        ADD_FAILURE() << "receive area " << area.size() << " < " << bytes.size();
        return SplitResult::kFull;
    }
    std::memcpy(area.data(), bytes.data(), bytes.size());
    return ring.commit_received(bytes.size(), dual, recorder);
}

std::vector<uint8_t> front_bytes(const FrameRing& ring) {
    RingEntryInfo info;
    const uint8_t* at = ring.front(&info);
    return at ? std::vector<uint8_t>(at, at + info.bytes) : std::vector<uint8_t>{};
}

TEST(FrameRing, TwoFramesInOneReceiveGetAnEntryEach) {
    FrameRing ring(12, kEntry);
    const auto a = std_frame(100, 0xAA), b = std_frame(50, 0xBB);
    CountingRecorder recorder;
    EXPECT_EQ(receive(ring, concat(a, b), false, &recorder), SplitResult::kNeedMore);
    EXPECT_EQ(ring.queued(), 2);
    EXPECT_EQ(front_bytes(ring), a);
    ring.pop();
    EXPECT_EQ(front_bytes(ring), b) << "next frame at offset 0 of its own entry";
    EXPECT_EQ(recorder.sizes, (std::vector<std::size_t>{112, 62})) << "the recorder sees each";
}

TEST(FrameRing, DualFrameSplitAcrossReceives) {
    FrameRing ring(12, kEntry);
    const auto f = dual_frame(1000, 0x5A);
    const std::vector<uint8_t> head(f.begin(), f.begin() + 10),
        mid(f.begin() + 10, f.begin() + 510), tail(f.begin() + 510, f.end());
    EXPECT_EQ(receive(ring, head, true), SplitResult::kNeedMore) << "header incomplete";
    EXPECT_EQ(receive(ring, mid, true), SplitResult::kNeedMore);
    EXPECT_EQ(ring.queued(), 0);
    EXPECT_EQ(receive(ring, tail, true), SplitResult::kNeedMore);
    EXPECT_EQ(ring.queued(), 1);
    EXPECT_EQ(front_bytes(ring), f);
}

TEST(FrameRing, HeaderOnlyFrameWaitsForTheNextByte) {
    // A frame of payload 0 is exactly its header: it is cut once more bytes follow it.
    FrameRing ring(12, kEntry);
    EXPECT_EQ(receive(ring, std_frame(0, 0), false), SplitResult::kNeedMore);
    EXPECT_EQ(ring.queued(), 0);
    EXPECT_EQ(receive(ring, std_frame(4, 1), false), SplitResult::kNeedMore);
    EXPECT_EQ(ring.queued(), 2);
}

TEST(FrameRing, OversizedFrameIsALostConnection) {
    FrameRing ring(12, kEntry);
    auto big = dual_frame(0, 0);
    big[4] = big[5] = big[6] = big[7] = 0xFF;  // 4 GiB announced
    big.push_back(0);
    EXPECT_EQ(receive(ring, big, true), SplitResult::kOversized);
    EXPECT_EQ(ring.queued(), 0);
    FrameRing r2(12, kEntry);
    const auto too_big = std_frame(4085, 0);  // 4097 bytes: known from its header alone
    EXPECT_EQ(receive(r2, std::vector<uint8_t>(too_big.begin(), too_big.begin() + 20), false),
              SplitResult::kOversized);
    FrameRing r3(12, kEntry);
    EXPECT_EQ(receive(r3, std_frame(4084, 0), false), SplitResult::kNeedMore) << "exactly fits";
    EXPECT_EQ(r3.queued(), 1);
}

TEST(FrameRing, FullRingKeepsTheNextFrameUntilAnEntryIsFree) {
    FrameRing ring(3, kEntry);
    const auto a = std_frame(10, 1), b = std_frame(20, 2), c = std_frame(30, 3);
    EXPECT_EQ(receive(ring, a, false), SplitResult::kNeedMore);
    EXPECT_EQ(receive(ring, b, false), SplitResult::kNeedMore);
    // The third frame fills the last entry and brings the start of a fourth with it.
    const auto d = std_frame(40, 4);
    EXPECT_EQ(receive(ring, concat(c, d), false), SplitResult::kFull);
    EXPECT_EQ(ring.queued(), 3);
    EXPECT_TRUE(ring.receive_area().empty()) << "no receive while the next frame has no entry";
    EXPECT_TRUE(ring.room_wanted());
    EXPECT_TRUE(ring.pop()) << "the consumer's pop says the producer waits";
    EXPECT_EQ(ring.resume(false, nullptr), SplitResult::kNeedMore);
    EXPECT_FALSE(ring.room_wanted());
    EXPECT_EQ(ring.queued(), 3) << "the waiting frame was moved and queued";
    ring.pop();
    ring.pop();
    EXPECT_EQ(front_bytes(ring), d);
    EXPECT_FALSE(ring.pop()) << "nobody waits now";
}

TEST(FrameRing, ItemsWaitForAWholeFrameAndAFreeEntry) {
    FrameRing ring(2, kEntry);
    const uint8_t header[28] = {1, 2, 3};
    const auto f = std_frame(20, 7);
    EXPECT_EQ(receive(ring, std::vector<uint8_t>(f.begin(), f.begin() + 5), false),
              SplitResult::kNeedMore);
    EXPECT_FALSE(ring.push_item(RingItem::stream_header, header, sizeof header))
        << "a partly received frame occupies the entry";
    ring.drop_partial();
    EXPECT_TRUE(ring.push_item(RingItem::stream_header, header, sizeof header));
    EXPECT_EQ(receive(ring, f, false), SplitResult::kNeedMore);
    EXPECT_FALSE(ring.push_item(RingItem::notice, header, 1)) << "ring full";
    RingEntryInfo info;
    const uint8_t* first = ring.front(&info);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(info.kind, RingItem::stream_header);
    EXPECT_EQ(info.bytes, 28u);
    EXPECT_EQ(first[2], 3);
}

}  // namespace
}  // namespace orvel::net
