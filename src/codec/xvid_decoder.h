#pragma once
// Decoder type 0: MPEG-4 part 2 through libxvidcore (codec marker 1234, dual streams).
#include <cstdint>
#include <vector>

#include "codec/picture_output.h"
#include "codec/video_decoder.h"

namespace orvel::codec {

// Version of the library's call records used by this decoder; libxvidcore 1.3 accepts any
// 1.x version.
inline constexpr int kXvidApiVersion = 0x010201;
inline constexpr int kXvidPrimingBytes = 17;

// Fills the 17-byte video object layer header that primes a decoder for width x height
// (square pixels, Simple profile, time resolution 30, rectangular, progressive). Any thread.
void xvid_priming_header(int width, int height, uint8_t out[kXvidPrimingBytes]);

class XvidDecoder final : public VideoDecoder {
public:
    XvidDecoder(int width, int height);
    ~XvidDecoder() override;
    // Initialises the library, creates its decoder and primes it with the header above
    // (skipped when the size does not fit the header's 13-bit fields). Under the table lock.
    bool open() override;
    // Decodes until one picture is written; returns its type (> 0), or 0 / negative when no
    // picture came out. Owner thread only.
    int decode(const uint8_t* data, uint8_t* output, int length) override;

    // Picture size announced by the stream (0 until a header was seen). Owner thread only.
    int stream_width() const { return stream_width_; }
    bool stream_picture_size(int* width, int* height) const override {
        if (stream_width_ <= 0 || stream_height_ <= 0) return false;
        *width = stream_width_;
        *height = stream_height_;
        return true;
    }
    int stream_height() const { return stream_height_; }

private:
    // Sizes the planar copy used when the stream's picture does not fit the created size.
    bool prepare_planes();

    void* handle_ = nullptr;
    int width_;
    int height_;
    int stream_width_ = 0;
    int stream_height_ = 0;
    PaddedInput input_;
    std::vector<uint8_t> planes_;
};

}  // namespace orvel::codec
