#pragma once
// Decoder type 2: the system's own intra/inter picture codec (codec marker 4321).
#include <cstdint>

#include "codec/cpu_features.h"
#include "codec/video_decoder.h"

namespace orvel::codec {

// Builds the codec's shared lookup tables and selects its routine set from the processor's
// features. Called once by decoder_table_init on the UI thread before any decoder exists.
void codec4321_global_init(const CpuFeatures& features);

class Codec4321Decoder final : public VideoDecoder {
public:
    Codec4321Decoder(int width, int height);
    ~Codec4321Decoder() override;
    bool open() override;
    int decode(const uint8_t* data, uint8_t* output, int length) override;

private:
    struct Impl;
    Impl* impl_ = nullptr;
    uint16_t width_;
    uint16_t height_;
};

}  // namespace orvel::codec
