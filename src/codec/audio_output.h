#pragma once
// The one sound output of the process: 12 buffers of 2048 bytes (1024 samples, 128 ms at
// 8000 Hz) cycling free -> queued -> done (zeroed) -> free on an audio device.
//
// Producer: the decode or playback thread of the pane being heard (one at a time). Consumer:
// the device's completion thread. Only the free-buffer count is changed by both, atomically.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/audio/audio_device.h"

namespace orvel::codec {

inline constexpr int kAudioBuffers = 12;
inline constexpr int kAudioBufferBytes = 2048;
inline constexpr const char* kWaveOutOpenFailed = "Wave Out Open failed";

// Shows a message box without owner and with an empty caption.
using MessageBoxFn = std::function<void(const char* text)>;

class AudioOutput final : public platform::AudioDeviceSink {
public:
    AudioOutput() = default;
    ~AudioOutput() override;
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Opens `device`. On failure shows kWaveOutOpenFailed through `message_box` and stays
    // silent for the rest of the run (queueing is skipped). UI thread, once.
    bool open(std::unique_ptr<platform::AudioDevice> device, const MessageBoxFn& message_box);
    // Clears the device field first (ending any wait of the completion call), then resets and
    // closes the device. UI thread; idempotent.
    void close();

    // Copies one block of 1024 samples into the next buffer and queues it. Returns false when
    // the block was dropped: no device, or all 12 buffers queued. Producer thread.
    bool queue_block(const int16_t* samples);

    // Buffers not queued on the device (0..12). Any thread.
    int free_buffers() const { return free_buffers_.load(); }
    // Index of the buffer filled next. Producer thread (tests: while no producer runs).
    int next_buffer() const { return next_buffer_; }
    // The bytes of buffer `index`. Tests only, while the buffer is not being filled.
    const uint8_t* buffer(int index) const { return buffers_[index]; }
    bool is_open() const { return device_.load() != nullptr; }

    // Device completion thread: zeroes the finished buffer and returns it to the free count;
    // while nothing is queued any more, waits in 20 ms steps until audio is queued again or
    // the output closes.
    void on_buffer_done(int buffer_index) override;
    void on_device_closed() override {}

private:
    std::unique_ptr<platform::AudioDevice> owned_;
    std::atomic<platform::AudioDevice*> device_{nullptr};
    std::mutex producer_lock_;  // keeps close() from pulling the device from under a write
    alignas(64) uint8_t buffers_[kAudioBuffers][kAudioBufferBytes] = {};
    int next_buffer_ = 0;
    std::atomic<int> free_buffers_{kAudioBuffers};
};

// The process-wide output used by the pane threads.
// Start-up (UI thread): creates and opens the output on `device`.
void audio_output_open(std::unique_ptr<platform::AudioDevice> device,
                       const MessageBoxFn& message_box);
// Exit (UI thread, after the pane threads have stopped): closes and frees it.
void audio_output_close();
// Producer thread: queues one block of 1024 samples; dropped when full or not open.
void audio_queue_block(const int16_t* samples);
// Any thread: the free-buffer count (12 when no output is open).
int audio_free_buffers();

}  // namespace orvel::codec
