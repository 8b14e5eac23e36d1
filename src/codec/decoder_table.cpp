#include "codec/decoder_table.h"

#include <atomic>
#include <mutex>
#include <new>

#include "codec/c4321/codec4321_decoder.h"
#include "codec/cpu_features.h"
#include "codec/mpeg4lib_decoder.h"
#include "codec/picture_limits.h"
#include "codec/xvid_decoder.h"

namespace orvel::codec {

namespace {

struct DecoderTable {
    // Slots are read without the lock by decoder_decode, so each is atomic; the lock orders
    // every writer.
    std::atomic<VideoDecoder*> slots[kDecoderSlots] = {};
    std::atomic<int> live_count{0};
    std::mutex lock;
    bool initialised = false;
    std::atomic<DecoderFactory> factory{nullptr};
};

DecoderTable& table() {
    static DecoderTable instance;
    return instance;
}

bool handle_in_range(int handle) { return handle >= 0 && handle < kDecoderSlots; }

}  // namespace

VideoDecoder* make_decoder(int type, int width, int height) {
    switch (type) {
        case DECODER_MPEG4LIB:
            return new (std::nothrow) Mpeg4LibDecoder(width, height);
        case DECODER_4321:
            return new (std::nothrow) Codec4321Decoder(width, height);
        default:
            return new (std::nothrow) XvidDecoder(width, height);
    }
}

void decoder_table_init() {
    DecoderTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    if (t.initialised) {
        return;
    }
    codec4321_global_init(detect_cpu_features());
    for (auto& slot : t.slots) {
        slot.store(nullptr, std::memory_order_relaxed);
    }
    t.live_count.store(0);
    t.initialised = true;
}

int decoder_create(int type, int width, int height) {
    DecoderTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    if (!t.initialised) {
        return -1;
    }
    // A zero side is "unknown" (the decoder then keeps to the unknown-size output bound).
    if (width < 0 || height < 0 ||
        (width > 0 && height > 0 && !picture_size_supported(width, height)) ||
        width > kMaxPictureWidth || height > kMaxPictureHeight) {
        return -1;
    }
    if (t.live_count.load() >= kDecoderSlots) {
        return -1;
    }
    int index = -1;
    for (int i = 0; i < kDecoderSlots; ++i) {
        if (t.slots[i].load(std::memory_order_relaxed) == nullptr) {
            index = i;
            break;
        }
    }
    if (index < 0) {
        return -1;
    }

    DecoderFactory factory = t.factory.load();
    VideoDecoder* decoder =
        factory ? factory(type, width, height) : make_decoder(type, width, height);
    if (decoder == nullptr) {
        return -1;
    }
    t.slots[index].store(decoder, std::memory_order_release);
    if (!decoder->open()) {
        t.slots[index].store(nullptr, std::memory_order_release);
        delete decoder;
        return -1;
    }
    t.live_count.fetch_add(1);
    return index;
}

int decoder_decode(int handle, int length, const uint8_t* data, uint8_t* output) {
    if (!handle_in_range(handle)) {
        return -1;
    }
    VideoDecoder* decoder = table().slots[handle].load(std::memory_order_acquire);
    if (decoder == nullptr) {
        return -1;
    }
    if (data == nullptr || output == nullptr || length < 0) {
        return -1;
    }
    return decoder->decode(data, output, length);
}

int decoder_decode_planar(int handle, int length, const uint8_t* data, PlanarPicture* picture) {
    if (!handle_in_range(handle) || data == nullptr || picture == nullptr || length < 0) {
        return -1;
    }
    VideoDecoder* decoder = table().slots[handle].load(std::memory_order_acquire);
    if (decoder == nullptr) {
        return -1;
    }
    return decoder->decode_planar(data, length, picture);
}

bool decoder_stream_size(int handle, int* width, int* height) {
    if (!handle_in_range(handle) || width == nullptr || height == nullptr) {
        return false;
    }
    const VideoDecoder* decoder = table().slots[handle].load(std::memory_order_acquire);
    return decoder != nullptr && decoder->stream_picture_size(width, height);
}

void decoder_destroy(int handle) {
    if (!handle_in_range(handle)) {
        return;
    }
    DecoderTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    VideoDecoder* decoder = t.slots[handle].load(std::memory_order_relaxed);
    if (decoder == nullptr) {
        return;
    }
    delete decoder;
    t.slots[handle].store(nullptr, std::memory_order_release);
    t.live_count.fetch_sub(1);
}

void decoder_table_shutdown() {
    DecoderTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    for (auto& slot : t.slots) {
        VideoDecoder* decoder = slot.load(std::memory_order_relaxed);
        if (decoder == nullptr) {
            continue;
        }
        delete decoder;
        slot.store(nullptr, std::memory_order_release);
    }
    t.live_count.store(0);
    t.initialised = false;
}

int decoder_live_count() { return table().live_count.load(); }

void decoder_table_set_factory(DecoderFactory factory) { table().factory.store(factory); }

}  // namespace orvel::codec
