#include "codec/c4321/codec4321_decoder.h"

#include <new>

#include "codec/c4321/picture_decoder.h"
#include "codec/c4321/routines.h"
#include "codec/c4321/tables.h"

namespace orvel::codec {

void codec4321_global_init(const CpuFeatures& features) {
    (void)c4321::codec_tables();
    c4321::select_routines(features);
}

struct Codec4321Decoder::Impl {
    Impl(int width, int height) : decoder(width, height, c4321::active_routines()) {}
    c4321::PictureDecoder decoder;
};

Codec4321Decoder::Codec4321Decoder(int width, int height)
    : width_(static_cast<uint16_t>(width)), height_(static_cast<uint16_t>(height)) {}

Codec4321Decoder::~Codec4321Decoder() { delete impl_; }

bool Codec4321Decoder::open() {
    if (impl_ != nullptr) return impl_->decoder.valid();
    impl_ = new (std::nothrow) Impl(width_, height_);
    return impl_ != nullptr && impl_->decoder.valid();
}

int Codec4321Decoder::decode(const uint8_t* data, uint8_t* output, int length) {
    if (impl_ == nullptr || !impl_->decoder.valid() || data == nullptr || output == nullptr || length <= 0) {
        return 0;
    }
    return impl_->decoder.decode(data, static_cast<size_t>(length), output);
}

}  // namespace orvel::codec
