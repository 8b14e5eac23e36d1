#pragma once
// The audio device port: a sound output that plays fixed buffers of 16-bit mono samples at
// 8000 Hz in the order they were written and reports each finished buffer.
//
// The owner keeps its buffers alive from open() until close() returns; the device only reads
// them. Completions and the close report arrive on the device's own completion thread (for the
// in-memory device: on the thread that asks it to complete).
#include <cstddef>
#include <cstdint>
#include <memory>

namespace orvel::platform {

inline constexpr int kAudioSampleRate = 8000;

// Receives what the device reports. Called on the device's completion thread.
class AudioDeviceSink {
public:
    virtual ~AudioDeviceSink() = default;
    // A written buffer has finished playing (or was dropped by reset/close).
    virtual void on_buffer_done(int buffer_index) = 0;
    // The device is closing; no further completion follows.
    virtual void on_device_closed() = 0;
};

class AudioDevice {
public:
    virtual ~AudioDevice() = default;
    // Opens the device for 8000 Hz mono signed 16-bit little-endian. False when no device
    // could be opened. Owner thread (start-up).
    virtual bool open(AudioDeviceSink* sink) = 0;
    // Queues `bytes` bytes of `data` (a buffer of the owner, identified by buffer_index) for
    // playing. False when the device is not open. Producer thread.
    virtual bool write(int buffer_index, const uint8_t* data, std::size_t bytes) = 0;
    // Stops playing: every written buffer not yet reported is reported done. Owner thread.
    virtual void reset() = 0;
    // Resets, reports on_device_closed and releases the device; the completion thread has
    // ended when it returns. Owner thread; idempotent.
    virtual void close() = 0;
};

// The ALSA "default" PCM device.
std::unique_ptr<AudioDevice> make_alsa_audio_device();

// A device that opens but plays nothing and never completes a buffer.
std::unique_ptr<AudioDevice> make_null_audio_device();

}  // namespace orvel::platform
