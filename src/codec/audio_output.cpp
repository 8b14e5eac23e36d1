#include "codec/audio_output.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace orvel::codec {

AudioOutput::~AudioOutput() { close(); }

bool AudioOutput::open(std::unique_ptr<platform::AudioDevice> device,
                       const MessageBoxFn& message_box) {
    if (device == nullptr || !device->open(this)) {
        if (message_box) {
            message_box(kWaveOutOpenFailed);
        }
        return false;
    }
    owned_ = std::move(device);
    device_.store(owned_.get());
    return true;
}

void AudioOutput::close() {
    {
        std::lock_guard<std::mutex> guard(producer_lock_);
        device_.store(nullptr);
    }
    if (owned_ == nullptr) {
        return;
    }
    owned_->reset();
    owned_->close();
    owned_.reset();
}

bool AudioOutput::queue_block(const int16_t* samples) {
    std::lock_guard<std::mutex> guard(producer_lock_);
    platform::AudioDevice* device = device_.load();
    if (device == nullptr) {
        return false;
    }
    if (free_buffers_.load() == 0) {
        return false;
    }
    free_buffers_.fetch_sub(1);
    uint8_t* buffer = buffers_[next_buffer_];
    std::memcpy(buffer, samples, kAudioBufferBytes);
    if (!device->write(next_buffer_, buffer, kAudioBufferBytes)) {
        // The device refused the buffer: it stays free rather than being lost for good.
        free_buffers_.fetch_add(1);
        return false;
    }
    next_buffer_ = next_buffer_ == kAudioBuffers - 1 ? 0 : next_buffer_ + 1;
    return true;
}

void AudioOutput::on_buffer_done(int buffer_index) {
    if (buffer_index >= 0 && buffer_index < kAudioBuffers) {
        // Zero before giving the buffer back, so the producer never fills it while it is
        // still being cleared.
        std::memset(buffers_[buffer_index], 0, kAudioBufferBytes);
        free_buffers_.fetch_add(1);
    }
    while (free_buffers_.load() == kAudioBuffers && device_.load() != nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

namespace {
std::mutex g_output_lock;
std::unique_ptr<AudioOutput> g_output;
std::atomic<AudioOutput*> g_output_ptr{nullptr};
}  // namespace

void audio_output_open(std::unique_ptr<platform::AudioDevice> device,
                       const MessageBoxFn& message_box) {
    std::lock_guard<std::mutex> guard(g_output_lock);
    if (g_output != nullptr) {
        return;
    }
    g_output = std::make_unique<AudioOutput>();
    g_output->open(std::move(device), message_box);
    g_output_ptr.store(g_output.get());
}

void audio_output_close() {
    std::lock_guard<std::mutex> guard(g_output_lock);
    if (g_output == nullptr) {
        return;
    }
    g_output->close();
    g_output_ptr.store(nullptr);
    g_output.reset();
}

void audio_queue_block(const int16_t* samples) {
    AudioOutput* output = g_output_ptr.load();
    if (output != nullptr) {
        output->queue_block(samples);
    }
}

int audio_free_buffers() {
    AudioOutput* output = g_output_ptr.load();
    return output != nullptr ? output->free_buffers() : kAudioBuffers;
}

}  // namespace orvel::codec
