#include "codec/c4321/codec4321_decoder.h"

namespace orvel::codec {

// Placeholder until the picture decoder lands: decodes nothing.
void codec4321_global_init(const CpuFeatures&) {}

Codec4321Decoder::Codec4321Decoder(int width, int height)
    : width_(static_cast<uint16_t>(width)), height_(static_cast<uint16_t>(height)) {}

Codec4321Decoder::~Codec4321Decoder() = default;

bool Codec4321Decoder::open() { return true; }

int Codec4321Decoder::decode(const uint8_t*, uint8_t*, int) { return 0; }

}  // namespace orvel::codec
