#include "platform/audio/audio_device.h"

namespace orvel::platform {

namespace {

class NullAudioDevice final : public AudioDevice {
public:
    bool open(AudioDeviceSink*) override { return true; }
    bool write(int, const uint8_t*, std::size_t) override { return true; }
    void reset() override {}
    void close() override {}
};

}  // namespace

std::unique_ptr<AudioDevice> make_null_audio_device() {
    return std::make_unique<NullAudioDevice>();
}

}  // namespace orvel::platform
