// ALSA adapter of the audio device port: the "default" PCM device at 8000 Hz, mono, S16_LE.
//
// One completion thread owns the PCM after open: it sleeps on a condition variable until a
// buffer is queued, writes it with a blocking write (which returns once the device has room,
// i.e. roughly when the buffer before it has played), then reports the buffer done. Reset and
// close are requests that this thread carries out, so the PCM is never used from two threads.
#include <alsa/asoundlib.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/audio/audio_device.h"

namespace orvel::platform {

namespace {

constexpr unsigned kLatencyUs = 250000;  // about two 128 ms buffers in the device
constexpr auto kResetWait = std::chrono::milliseconds(2000);

// The library's own complaints (no card, no configuration) go nowhere: a failed open is
// reported to the operator by the caller.
void quiet_alsa_errors(const char*, int, const char*, int, const char*, ...) {}

class AlsaAudioDevice final : public AudioDevice {
public:
    ~AlsaAudioDevice() override { close(); }

    bool open(AudioDeviceSink* sink) override {
        if (pcm_ != nullptr) {
            return true;
        }
        static std::once_flag quiet;
        std::call_once(quiet, [] { snd_lib_error_set_handler(quiet_alsa_errors); });
        snd_pcm_t* pcm = nullptr;
        if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) {
            return false;
        }
        if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                               kAudioSampleRate, 1, kLatencyUs) < 0) {
            snd_pcm_close(pcm);
            return false;
        }
        pcm_ = pcm;
        sink_ = sink;
        stopping_ = false;
        thread_ = std::thread([this] { run(); });
        return true;
    }

    bool write(int buffer_index, const uint8_t* data, std::size_t bytes) override {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            if (pcm_ == nullptr || stopping_) {
                return false;
            }
            if (count_ == kQueueSlots) {
                return false;
            }
            queue_[(head_ + count_) % kQueueSlots] = Item{buffer_index, data, bytes};
            ++count_;
        }
        wake_.notify_all();
        return true;
    }

    void reset() override {
        std::unique_lock<std::mutex> lock(mutex_);
        if (pcm_ == nullptr || stopping_) {
            return;
        }
        reset_requested_ = true;
        wake_.notify_all();
        reset_done_.wait_for(lock, kResetWait, [this] { return !reset_requested_; });
    }

    void close() override {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            if (pcm_ == nullptr) {
                return;
            }
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) {
            thread_.join();
        }
        std::lock_guard<std::mutex> guard(mutex_);
        snd_pcm_close(pcm_);
        pcm_ = nullptr;
    }

private:
    struct Item {
        int index = 0;
        const uint8_t* data = nullptr;
        std::size_t bytes = 0;
    };
    // More than the owner's buffers can ever be queued at once; a full queue refuses writes.
    static constexpr std::size_t kQueueSlots = 16;

    // Completion thread.
    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || reset_requested_ || count_ > 0; });
            if (stopping_ || reset_requested_) {
                Item dropped[kQueueSlots];
                const std::size_t dropped_count = count_;
                for (std::size_t i = 0; i < dropped_count; ++i) {
                    dropped[i] = queue_[(head_ + i) % kQueueSlots];
                }
                head_ = 0;
                count_ = 0;
                const bool stopping = stopping_;
                lock.unlock();
                snd_pcm_drop(pcm_);
                snd_pcm_prepare(pcm_);
                for (std::size_t i = 0; i < dropped_count; ++i) {
                    sink_->on_buffer_done(dropped[i].index);
                }
                if (stopping) {
                    sink_->on_device_closed();
                    return;
                }
                lock.lock();
                reset_requested_ = false;
                reset_done_.notify_all();
                continue;
            }
            const Item item = queue_[head_];
            head_ = (head_ + 1) % kQueueSlots;
            --count_;
            lock.unlock();
            play(item);
            sink_->on_buffer_done(item.index);
            lock.lock();
        }
    }

    // Writes one buffer; an underrun is recovered and the rest written, other errors drop it.
    void play(const Item& item) {
        const int16_t* samples = reinterpret_cast<const int16_t*>(item.data);
        snd_pcm_uframes_t left = item.bytes / 2;
        for (int attempts = 0; left > 0 && attempts < 4;) {
            const snd_pcm_sframes_t written = snd_pcm_writei(pcm_, samples, left);
            if (written < 0) {
                ++attempts;
                if (snd_pcm_recover(pcm_, static_cast<int>(written), 1) < 0) {
                    return;
                }
                continue;
            }
            samples += written;
            left -= static_cast<snd_pcm_uframes_t>(written);
        }
    }

    snd_pcm_t* pcm_ = nullptr;
    AudioDeviceSink* sink_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable reset_done_;
    Item queue_[kQueueSlots];
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    bool stopping_ = false;
    bool reset_requested_ = false;
};

}  // namespace

std::unique_ptr<AudioDevice> make_alsa_audio_device() {
    return std::make_unique<AlsaAudioDevice>();
}

}  // namespace orvel::platform
