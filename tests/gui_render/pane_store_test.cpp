// The per-pane picture store: what the display threads hand over is what the UI thread shows,
// newest first, with no torn pictures and honest counts.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "gui/render/pane_store.h"

namespace orvel::gui::render {
namespace {

FrameInfo info_with(int width, uint32_t tag) {
    FrameInfo info;
    info.width = width;
    info.height = 1;
    info.packed_time = tag;
    return info;
}

TEST(PaneStore, UiTakesOnlyTheNewestPictureAndCountsTheReplacedOnes) {
    PaneStore store;
    ASSERT_TRUE(store.reserve(3, 8));
    const uint8_t a[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    const uint8_t b[8] = {2, 2, 2, 2, 2, 2, 2, 2};
    EXPECT_TRUE(store.write(3, a, 8, info_with(4, 1)));
    EXPECT_TRUE(store.write(3, b, 8, info_with(4, 2)));
    EXPECT_TRUE(store.take_any_fresh());
    EXPECT_FALSE(store.take_any_fresh());

    FrameInfo got;
    ASSERT_TRUE(store.take_fresh(3, &got));
    EXPECT_EQ(got.packed_time, 2u);
    EXPECT_FALSE(store.take_fresh(3, &got));  // nothing newer
    const uint8_t* shown = store.begin_present(3, &got);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(std::memcmp(shown, b, 8), 0);
    // A writer goes on while the UI reads: the shown picture stays intact.
    EXPECT_TRUE(store.write(3, a, 8, info_with(4, 3)));
    EXPECT_TRUE(store.write(3, a, 8, info_with(4, 4)));
    EXPECT_EQ(std::memcmp(shown, b, 8), 0);
    store.end_present(3);

    const view::PaneFrameCounts counts = store.counts(3);
    EXPECT_EQ(counts.drawn, 4u);
    EXPECT_EQ(counts.replaced, 2u);
}

TEST(PaneStore, WrongSizeAndBadSlotsAreRefused) {
    PaneStore store;
    const uint8_t pixels[16] = {};
    EXPECT_FALSE(store.write(0, pixels, 16, {}));  // no buffers yet
    ASSERT_TRUE(store.reserve(0, 16));
    EXPECT_FALSE(store.write(0, pixels, 8, {}));
    EXPECT_FALSE(store.write(-1, pixels, 16, {}));
    EXPECT_FALSE(store.write(PaneStore::kSlots, pixels, 16, {}));
    EXPECT_FALSE(store.reserve(PaneStore::kSlots, 16));
    // Two writers of one pane: the second gets nothing rather than the same buffer.
    uint8_t* first = store.begin_write(0, 16);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(store.begin_write(0, 16), nullptr);
    store.abort_write(0);
    EXPECT_NE(store.begin_write(0, 16), nullptr);
    store.abort_write(0);
}

TEST(PaneStore, ReserveAndClearForgetPictures) {
    PaneStore store;
    ASSERT_TRUE(store.reserve(1, 4));
    const uint8_t p[4] = {9, 9, 9, 9};
    ASSERT_TRUE(store.write(1, p, 4, {}));
    ASSERT_TRUE(store.take_fresh(1, nullptr));
    store.clear(1);
    EXPECT_EQ(store.begin_present(1, nullptr), nullptr);
    ASSERT_TRUE(store.write(1, p, 4, {}));
    ASSERT_TRUE(store.reserve(1, 12));  // a new size drops the waiting picture too
    EXPECT_FALSE(store.take_fresh(1, nullptr));
    EXPECT_EQ(store.buffer_bytes(1), 12u);
    store.release(1);
    EXPECT_EQ(store.buffer_bytes(1), 0u);
}

TEST(PaneStore, CaptionIsCutToItsBuffer) {
    FrameInfo info;
    const std::string long_caption(300, 'x');
    info.set_caption(long_caption);
    EXPECT_EQ(info.caption_text().size(), kCaptionMaxBytes);
    info.set_caption("Cam 01--Gate");
    EXPECT_EQ(info.caption_text(), "Cam 01--Gate");
}

TEST(LatencyRecorder, QuantilesComeFromTheBuckets) {
    LatencyRecorder rec;
    for (int i = 0; i < 98; ++i) rec.record_ns(10'200'000);  // 10.2 ms
    rec.record_ns(100'000'000);                               // 100 ms
    rec.record_ns(int64_t{60} * 1'000'000'000);               // far beyond: last bucket
    rec.record_ns(-5);                                        // ignored
    const view::LatencyHistogram h = rec.snapshot();
    EXPECT_EQ(h.total(), 100u);
    EXPECT_EQ(h.quantile_us(0.5), 10'500);
    EXPECT_EQ(h.quantile_us(0.99), 100'500);
    EXPECT_EQ(h.quantile_us(1.0), int64_t{view::kLatencyBucketCount} * view::kLatencyBucketUs);
    rec.reset();
    EXPECT_EQ(rec.snapshot().quantile_us(0.5), 0);
}

// One display thread per pane writes patterned pictures as fast as it can while the "UI"
// presents and a third thread resizes now and then: every presented picture must be whole.
TEST(PaneStore, ConcurrentWritersReaderAndResizeNeverTearAPicture) {
    PaneStore store;
    constexpr int kPanes = 3;
    constexpr size_t kBytes = 4096;
    for (int p = 0; p < kPanes; ++p) ASSERT_TRUE(store.reserve(p, kBytes));
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int p = 0; p < kPanes; ++p) {
        writers.emplace_back([&, p] {
            std::vector<uint8_t> picture(kBytes);
            for (uint32_t n = 1; !stop.load(); ++n) {
                std::memset(picture.data(), static_cast<int>(n & 0xFF), kBytes);
                store.write(p, picture.data(), kBytes, info_with(static_cast<int>(kBytes), n));
            }
        });
    }
    std::thread resizer([&] {
        for (int i = 0; i < 20 && !stop.load(); ++i) {
            // Half size: the writer's pictures no longer fit and are dropped meanwhile.
            store.reserve(1, i % 2 ? kBytes / 2 : kBytes);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        store.reserve(1, kBytes);
    });
    int presented = 0;
    bool torn = false;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (presented < 300 && !torn && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::yield();
        for (int p = 0; p < kPanes; ++p) {
            FrameInfo info;
            if (!store.take_fresh(p, &info)) continue;
            const uint8_t* pixels = store.begin_present(p, &info);
            if (!pixels) continue;
            const uint8_t first = pixels[0];
            EXPECT_EQ(first, static_cast<uint8_t>(info.packed_time & 0xFF));
            ASSERT_EQ(info.width, static_cast<int>(kBytes));
            for (size_t i = 1; i < kBytes; ++i)
                if (pixels[i] != first) torn = true;
            store.end_present(p);
            store.count_presented(p);
            ++presented;
        }
    }
    stop = true;
    for (auto& t : writers) t.join();
    resizer.join();
    EXPECT_FALSE(torn);
    EXPECT_GT(presented, 0);
    for (int p = 0; p < kPanes; ++p) {
        const view::PaneFrameCounts c = store.counts(p);
        EXPECT_LE(c.presented + c.replaced, c.drawn);
    }
}

}  // namespace
}  // namespace orvel::gui::render
