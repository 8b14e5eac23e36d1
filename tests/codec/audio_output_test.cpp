// The sound output's queue on the in-memory device.
#include "codec/audio_output.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/memory_audio_device.h"

namespace orvel::codec {
namespace {

using platform::MemoryAudioDevice;

std::vector<int16_t> block_of(int16_t value) { return std::vector<int16_t>(1024, value); }

struct Fixture {
    AudioOutput output;
    MemoryAudioDevice* device = nullptr;
    std::vector<std::string> messages;

    Fixture() {
        auto owned = std::make_unique<MemoryAudioDevice>();
        device = owned.get();
        EXPECT_TRUE(
            output.open(std::move(owned), [this](const char* text) { messages.push_back(text); }));
    }
};

// Waits (bounded) until `done` holds.
template <typename F>
bool eventually(F done) {
    for (int i = 0; i < 200 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

TEST(AudioOutput, ThirteenthBlockIsDroppedAndNextBufferStays) {
    Fixture f;
    for (int i = 0; i < kAudioBuffers; ++i)
        EXPECT_TRUE(f.output.queue_block(block_of(static_cast<int16_t>(i + 1)).data()));
    EXPECT_EQ(f.output.free_buffers(), 0);
    EXPECT_EQ(f.output.next_buffer(), 0);  // wrapped from 11 to 0
    EXPECT_FALSE(f.output.queue_block(block_of(99).data()));
    EXPECT_EQ(f.output.next_buffer(), 0);
    EXPECT_EQ(f.device->writes(), 12);
    // The device got the blocks in order, sample for sample.
    const std::vector<uint8_t> played = f.device->played();
    ASSERT_EQ(played.size(), 12u * 2048u);
    EXPECT_EQ(played[0], 1);
    EXPECT_EQ(played[11 * 2048], 12);
    // One completion frees one buffer, zeroed, and the next block goes into it.
    ASSERT_TRUE(f.device->complete_next());
    EXPECT_EQ(f.output.free_buffers(), 1);
    EXPECT_EQ(f.output.buffer(0)[0], 0);
    EXPECT_TRUE(f.output.queue_block(block_of(7).data()));
    EXPECT_EQ(f.output.buffer(0)[0], 7);
    EXPECT_EQ(f.output.next_buffer(), 1);
    f.output.close();
}

TEST(AudioOutput, CompletionOfTheLastBufferZeroesItAndWaitsForMoreAudio) {
    Fixture f;
    ASSERT_TRUE(f.output.queue_block(block_of(0x1234).data()));
    std::atomic<bool> returned{false};
    // The completion runs on a device thread; with nothing queued any more it waits.
    std::thread device_thread([&] {
        f.device->complete_next();
        returned = true;
    });
    ASSERT_TRUE(eventually([&] { return f.output.free_buffers() == kAudioBuffers; }));
    EXPECT_EQ(f.output.buffer(0)[0], 0);
    EXPECT_EQ(f.output.buffer(0)[2047], 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_FALSE(returned.load());
    // New audio ends the wait.
    ASSERT_TRUE(f.output.queue_block(block_of(5).data()));
    EXPECT_TRUE(eventually([&] { return returned.load(); }));
    device_thread.join();
    EXPECT_EQ(f.output.free_buffers(), kAudioBuffers - 1);
}

TEST(AudioOutput, ClosingEndsTheWaitAndDrainsTheDevice) {
    Fixture f;
    ASSERT_TRUE(f.output.queue_block(block_of(1).data()));
    ASSERT_TRUE(f.output.queue_block(block_of(2).data()));
    std::thread device_thread([&] {
        f.device->complete_next();
        f.device->complete_next();
    });
    ASSERT_TRUE(eventually([&] { return f.output.free_buffers() == kAudioBuffers; }));
    f.output.close();
    device_thread.join();
    EXPECT_FALSE(f.output.is_open());
    EXPECT_FALSE(f.output.queue_block(block_of(3).data()));
}

TEST(AudioOutput, FailedOpenShowsTheMessageOnceAndStaysSilent) {
    AudioOutput output;
    std::vector<std::string> messages;
    EXPECT_FALSE(output.open(std::make_unique<MemoryAudioDevice>(false),
                             [&](const char* text) { messages.push_back(text); }));
    EXPECT_EQ(messages, std::vector<std::string>{"Wave Out Open failed"});
    EXPECT_FALSE(output.queue_block(block_of(1).data()));
    EXPECT_EQ(output.free_buffers(), kAudioBuffers);
    output.close();
}

TEST(AudioOutput, ProcessWideOutputQueuesAndReportsFreeBuffers) {
    auto owned = std::make_unique<MemoryAudioDevice>();
    MemoryAudioDevice* device = owned.get();
    audio_output_open(std::move(owned), nullptr);
    audio_queue_block(block_of(4).data());
    EXPECT_EQ(audio_free_buffers(), kAudioBuffers - 1);
    EXPECT_EQ(device->writes(), 1);
    audio_output_close();
    EXPECT_EQ(audio_free_buffers(), kAudioBuffers);
    audio_queue_block(block_of(4).data());  // after close: ignored, no crash
}

}  // namespace
}  // namespace orvel::codec
