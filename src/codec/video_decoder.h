#pragma once
// Abstract video decoder behind a DecoderTable handle.
//
// Every decoder writes one packed YUY2 picture (Y0 U Y1 V, top row first, stride width * 2)
// into a buffer that the caller owns. An instance is used by one thread at a time; the
// DecoderTable's lock serialises creation and destruction.
#include <cstdint>

#include "codec/yuy2_pack.h"

namespace orvel::codec {

// decode_planar's answer for a type that has no planar output: use decode() instead.
inline constexpr int kNoPlanarOutput = -1000;

enum DecoderType : int {
    DECODER_XVID = 0,
    DECODER_MPEG4LIB = 1,
    DECODER_4321 = 2,
};

class VideoDecoder {
public:
    virtual ~VideoDecoder() = default;
    // Prepares the instance after construction. Any thread, under the table lock.
    virtual bool open() { return true; }
    // Decodes one compressed buffer into `output` (at least width * height * 2 bytes for the
    // size given at creation). Returns the type's result; 0 or less means no picture written.
    // Called only by the thread that owns the handle.
    virtual int decode(const uint8_t* data, uint8_t* output, int length) {
        (void)data;
        (void)output;
        (void)length;
        return 0;
    }
    // Decodes one compressed buffer like decode() but writes nothing: a picture that comes out
    // is shown through `picture` as the decoder's own planar 4:2:0 planes at the stream's
    // size, valid until the next call on this instance. Returns as decode(), or
    // kNoPlanarOutput when the type cannot (nothing is consumed then). Owner thread.
    virtual int decode_planar(const uint8_t* data, int length, PlanarPicture* picture) {
        (void)data;
        (void)length;
        (void)picture;
        return kNoPlanarOutput;
    }
    // Size of the pictures the stream itself carries, once the decoder has seen one; false
    // when the type does not know it (the stream then has the created size). Owner thread.
    virtual bool stream_picture_size(int* width, int* height) const {
        (void)width;
        (void)height;
        return false;
    }
};

}  // namespace orvel::codec
