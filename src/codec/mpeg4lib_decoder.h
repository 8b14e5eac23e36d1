#pragma once
// Decoder type 1: MPEG-4 part 2 through libavcodec's "mpeg4" decoder (any codec marker other
// than 1234 and 4321). The stream's own header gives the picture size.
#include <cstdint>

#include "codec/picture_output.h"
#include "codec/video_decoder.h"

struct AVBufferRef;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace orvel::codec {

class Mpeg4LibDecoder final : public VideoDecoder {
public:
    Mpeg4LibDecoder(int width, int height);
    ~Mpeg4LibDecoder() override;
    // Opens the library's decoder with one thread; false when the library cannot provide it.
    // Under the table lock.
    bool open() override;
    // Sends one buffer; when a picture comes out, writes it (guarded, see picture_output.h)
    // and returns 1. Returns 0 when the buffer gave no picture (header only, or the decoder
    // waits for more), a negative library error for a damaged buffer. Owner thread only.
    int decode(const uint8_t* data, uint8_t* output, int length) override;
    // The same, keeping the last picture that came out (its planes stay valid until the
    // next call) instead of packing it. Owner thread only.
    int decode_planar(const uint8_t* data, int length, PlanarPicture* picture) override;
    bool stream_picture_size(int* width, int* height) const override {
        if (stream_width_ <= 0 || stream_height_ <= 0) return false;
        *width = stream_width_;
        *height = stream_height_;
        return true;
    }

private:
    // Sends one buffer to the library: 0 when sent (or the library is full), 1 when there was
    // nothing to send, a negative library error otherwise.
    int send(const uint8_t* data, int length);
    // True for a picture in a layout the packing takes, noting its size.
    bool usable(const AVFrame& frame);

    int width_;
    int height_;
    int stream_width_ = 0;  // size of the last picture the library gave
    int stream_height_ = 0;
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVFrame* held_ = nullptr;  // the picture decode_planar showed last
    AVPacket* packet_ = nullptr;
    // Reference-counted input copy with zeroed padding, reused while the library holds no
    // reference to it: a packet that owns no buffer would be copied into a new allocation by
    // the library on every send.
    AVBufferRef* input_ = nullptr;
};

}  // namespace orvel::codec
