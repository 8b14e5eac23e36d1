#pragma once
// An audio device that keeps written buffers in memory, for tests. Nothing completes on its
// own: the test completes buffers in order with complete_next(), on the thread it chooses.
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/audio/audio_device.h"

namespace orvel::platform {

class MemoryAudioDevice final : public AudioDevice {
public:
    explicit MemoryAudioDevice(bool open_succeeds = true) : open_succeeds_(open_succeeds) {}

    bool open(AudioDeviceSink* sink) override;
    bool write(int buffer_index, const uint8_t* data, std::size_t bytes) override;
    void reset() override;
    void close() override;

    // Reports the oldest pending buffer as done (the sink runs on the calling thread). False
    // when nothing is pending. Any thread.
    bool complete_next();
    // Number of written buffers not yet completed. Any thread.
    std::size_t pending() const;
    // Every byte written so far, in order. Any thread.
    std::vector<uint8_t> played() const;
    int writes() const;
    bool closed() const;

private:
    bool open_succeeds_;
    AudioDeviceSink* sink_ = nullptr;
    mutable std::mutex mutex_;
    std::deque<int> pending_;
    std::vector<uint8_t> played_;
    int writes_ = 0;
    bool open_ = false;
    bool closed_ = false;
};

}  // namespace orvel::platform
