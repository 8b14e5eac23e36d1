// The ALSA adapter on the library's null device: every written buffer is reported, buffers
// still queued at close are reported before the close, and close() ends its thread.
#include "platform/audio/audio_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "../support/temp_dir.h"

namespace orvel::platform {
namespace {

struct CountingSink final : AudioDeviceSink {
    std::atomic<int> done{0};
    std::atomic<int> closed{0};
    void on_buffer_done(int) override { ++done; }
    void on_device_closed() override { ++closed; }
};

TEST(AlsaAudioDevice, ReportsEachBufferOrFailsCleanly) {
    // A configuration whose default device is ALSA's null plugin, so the playing path runs on
    // machines without sound; set before the library reads any configuration.
    const orvel::test::TempDir dir;
    const std::string config = dir.file("alsa_null.conf").string();
    std::ofstream(config) << "pcm.!default { type null }\n";
    ::setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
    CountingSink sink;
    std::unique_ptr<AudioDevice> device = make_alsa_audio_device();
    if (!device->open(&sink)) {
        EXPECT_FALSE(device->write(0, nullptr, 0));
        device->close();
        EXPECT_EQ(sink.closed.load(), 0);
        return;
    }
    static const std::vector<uint8_t> silence(2048, 0);
    ASSERT_TRUE(device->write(0, silence.data(), silence.size()));
    ASSERT_TRUE(device->write(1, silence.data(), silence.size()));
    for (int i = 0; i < 300 && sink.done.load() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(sink.done.load(), 2);
    // Buffers still queued at close are reported done before the close report.
    ASSERT_TRUE(device->write(2, silence.data(), silence.size()));
    device->close();
    EXPECT_EQ(sink.done.load(), 3);
    EXPECT_EQ(sink.closed.load(), 1);
    device->close();  // idempotent
}

}  // namespace
}  // namespace orvel::platform
