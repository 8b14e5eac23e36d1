#include "codec/mpeg4lib_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cstring>
#include <mutex>

#include "codec/mpeg4_vol.h"

namespace orvel::codec {

Mpeg4LibDecoder::Mpeg4LibDecoder(int width, int height) : width_(width), height_(height) {}

Mpeg4LibDecoder::~Mpeg4LibDecoder() {
    av_packet_free(&packet_);
    av_buffer_unref(&input_);
    av_frame_free(&frame_);
    av_frame_free(&held_);
    avcodec_free_context(&context_);
}

bool Mpeg4LibDecoder::open() {
    // Decoding complaints are the library's own diagnostics and are not shown.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });

    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    if (codec == nullptr) {
        return false;
    }
    context_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    held_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (context_ == nullptr || frame_ == nullptr || held_ == nullptr || packet_ == nullptr) {
        return false;
    }
    context_->thread_count = 1;
    // Pictures above the limit are refused before the library allocates for them.
    context_->max_pixels = kMaxStreamPixels;
    return avcodec_open2(context_, codec, nullptr) == 0;
}

int Mpeg4LibDecoder::send(const uint8_t* data, int length) {
    if (context_ == nullptr) {
        return -1;
    }
    // An empty packet would put the library into end-of-stream draining for good.
    if (length <= 0) {
        return 1;
    }
    const std::size_t needed = static_cast<std::size_t>(length) + AV_INPUT_BUFFER_PADDING_SIZE;
    if (input_ == nullptr || input_->size < needed || !av_buffer_is_writable(input_)) {
        // Grows only when a larger buffer arrives (or, rarely, when the library still holds the
        // last one), so steady decoding does not allocate.
        const std::size_t size = std::max(needed, input_ != nullptr ? input_->size : 0);
        av_buffer_unref(&input_);
        input_ = av_buffer_alloc(size);
        if (input_ == nullptr) {
            return AVERROR(ENOMEM);
        }
    }
    std::memcpy(input_->data, data, static_cast<std::size_t>(length));
    std::memset(input_->data + length, 0, AV_INPUT_BUFFER_PADDING_SIZE);

    packet_->buf = av_buffer_ref(input_);
    if (packet_->buf == nullptr) {
        return AVERROR(ENOMEM);
    }
    packet_->data = input_->data;
    packet_->size = length;
    const int sent = avcodec_send_packet(context_, packet_);
    av_packet_unref(packet_);
    return sent < 0 && sent != AVERROR(EAGAIN) ? sent : 0;
}

namespace {

PlanarPicture planes_of(const AVFrame& frame) {
    PlanarPicture picture;
    picture.y = frame.data[0];
    picture.u = frame.data[1];
    picture.v = frame.data[2];
    picture.y_stride = frame.linesize[0];
    picture.u_stride = frame.linesize[1];
    picture.v_stride = frame.linesize[2];
    picture.width = frame.width;
    picture.height = frame.height;
    return picture;
}

}  // namespace

bool Mpeg4LibDecoder::usable(const AVFrame& frame) {
    if (frame.format != AV_PIX_FMT_YUV420P && frame.format != AV_PIX_FMT_YUVJ420P) {
        return false;
    }
    stream_width_ = frame.width;
    stream_height_ = frame.height;
    return true;
}

int Mpeg4LibDecoder::decode(const uint8_t* data, uint8_t* output, int length) {
    const int sent = send(data, length);
    if (sent != 0) {
        return std::min(sent, 0);
    }
    int result = 0;
    while (avcodec_receive_frame(context_, frame_) == 0) {
        if (usable(*frame_) && write_picture_guarded(planes_of(*frame_), width_, height_, output)) {
            result = 1;
        }
        av_frame_unref(frame_);
    }
    return result;
}

int Mpeg4LibDecoder::decode_planar(const uint8_t* data, int length, PlanarPicture* picture) {
    // The planes shown last time go back to the library's pool.
    av_frame_unref(held_);
    const int sent = send(data, length);
    if (sent != 0) {
        return std::min(sent, 0);
    }
    int result = 0;
    while (avcodec_receive_frame(context_, frame_) == 0) {
        if (usable(*frame_) && frame_->width > 0 && frame_->height > 0) {
            av_frame_unref(held_);
            av_frame_move_ref(held_, frame_);
            result = 1;
        } else {
            av_frame_unref(frame_);
        }
    }
    if (result == 1) {
        *picture = planes_of(*held_);
    }
    return result;
}

}  // namespace orvel::codec
