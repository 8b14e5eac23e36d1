#include "platform/audio/memory_audio_device.h"

namespace orvel::platform {

bool MemoryAudioDevice::open(AudioDeviceSink* sink) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!open_succeeds_) {
        return false;
    }
    sink_ = sink;
    open_ = true;
    return true;
}

bool MemoryAudioDevice::write(int buffer_index, const uint8_t* data, std::size_t bytes) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!open_) {
        return false;
    }
    pending_.push_back(buffer_index);
    played_.insert(played_.end(), data, data + bytes);
    ++writes_;
    return true;
}

bool MemoryAudioDevice::complete_next() {
    int index = 0;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (pending_.empty() || sink_ == nullptr) {
            return false;
        }
        index = pending_.front();
        pending_.pop_front();
    }
    sink_->on_buffer_done(index);
    return true;
}

void MemoryAudioDevice::reset() {
    while (complete_next()) {
    }
}

void MemoryAudioDevice::close() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!open_) {
            return;
        }
    }
    reset();
    AudioDeviceSink* sink = nullptr;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        open_ = false;
        closed_ = true;
        sink = sink_;
    }
    if (sink != nullptr) {
        sink->on_device_closed();
    }
}

std::size_t MemoryAudioDevice::pending() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return pending_.size();
}

std::vector<uint8_t> MemoryAudioDevice::played() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return played_;
}

int MemoryAudioDevice::writes() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return writes_;
}

bool MemoryAudioDevice::closed() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return closed_;
}

}  // namespace orvel::platform
