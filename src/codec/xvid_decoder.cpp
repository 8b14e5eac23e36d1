#include "codec/xvid_decoder.h"

#include <xvid.h>

#include <algorithm>
#include <new>

#include "codec/mpeg4_vol.h"

namespace orvel::codec {

void xvid_priming_header(int width, int height, uint8_t out[kXvidPrimingBytes]) {
    static constexpr uint8_t kFixed[12] = {0x00, 0x00, 0x01, 0x01, 0x00, 0x00,
                                           0x01, 0x20, 0x00, 0x84, 0x40, 0x07};
    std::copy(kFixed, kFixed + 12, out);
    const uint32_t sizes =
        0xA8002000u | (static_cast<uint32_t>(width) << 14) | static_cast<uint32_t>(height);
    out[12] = static_cast<uint8_t>(sizes >> 24);
    out[13] = static_cast<uint8_t>(sizes >> 16);
    out[14] = static_cast<uint8_t>(sizes >> 8);
    out[15] = static_cast<uint8_t>(sizes);
    out[16] = 0xA2;
}

XvidDecoder::XvidDecoder(int width, int height) : width_(width), height_(height) {}

XvidDecoder::~XvidDecoder() {
    if (handle_ != nullptr) {
        xvid_decore(handle_, XVID_DEC_DESTROY, nullptr, nullptr);
    }
}

bool XvidDecoder::open() {
    xvid_gbl_init_t init{};
    init.version = kXvidApiVersion;
    init.cpu_flags = 0;  // the library detects the processor itself
    xvid_global(nullptr, XVID_GBL_INIT, &init, nullptr);

    xvid_dec_create_t create{};
    create.version = kXvidApiVersion;
    create.width = 0;
    create.height = 0;
    const int result = xvid_decore(nullptr, XVID_DEC_CREATE, &create, nullptr);
    handle_ = create.handle;
    if (handle_ == nullptr) {
        return true;  // runs without a library decoder; decode reports it
    }
    if (result < 0) {
        return false;
    }

    // The header's size fields are 13 bits wide: other sizes would corrupt it. Sizes above the
    // stream limit are not primed (the library would allocate for them at once).
    if (width_ > 0 && width_ < 8192 && height_ > 0 && height_ < 8192 &&
        int64_t{width_} * height_ <= kMaxStreamPixels) {
        uint8_t header[kXvidPrimingBytes];
        xvid_priming_header(width_, height_, header);
        decode(header, nullptr, kXvidPrimingBytes);
    }
    return true;
}

bool XvidDecoder::prepare_planes() {
    if (stream_width_ <= 0 || stream_height_ <= 0 ||
        int64_t{stream_width_} * stream_height_ > kMaxStreamPixels) {
        planes_.clear();
        return true;  // no size known yet: the library has nothing to output either
    }
    const std::size_t bytes =
        static_cast<std::size_t>(stream_width_) * stream_height_ +
        2 * static_cast<std::size_t>((stream_width_ + 1) / 2) * ((stream_height_ + 1) / 2);
    if (planes_.size() == bytes) {
        return true;
    }
    try {
        planes_.assign(bytes, 0);
    } catch (const std::bad_alloc&) {
        planes_.clear();
        return false;
    }
    return true;
}

int XvidDecoder::decode(const uint8_t* data, uint8_t* output, int length) {
    // The library dereferences its handle unchecked; without one there is nothing to call.
    if (handle_ == nullptr) {
        return XVID_ERR_FAIL;
    }
    if (length <= 0) {
        return 0;
    }
    // A header announcing a picture above the limit never reaches the library, which would
    // allocate its reference pictures for it; the stream goes on at its previous size.
    if (largest_vol_pixels(data, static_cast<std::size_t>(length)) > kMaxStreamPixels) {
        return 0;
    }
    const uint8_t* bytes = input_.copy(data, static_cast<std::size_t>(length));
    if (bytes == nullptr) {
        return XVID_ERR_MEMORY;
    }

    xvid_dec_stats_t stats{};
    stats.version = kXvidApiVersion;
    int remaining = length;
    do {
        xvid_dec_frame_t frame{};
        frame.version = kXvidApiVersion;
        frame.general = 0;
        frame.bitstream = const_cast<uint8_t*>(bytes);
        frame.length = remaining;
        // Straight into the caller's buffer only when the stream's picture fits the size it
        // was created for; otherwise into a planar copy of the stream's size, written guarded.
        const bool direct =
            output != nullptr && fits_created_size(stream_width_, stream_height_, width_, height_);
        if (output == nullptr) {
            frame.output.csp = XVID_CSP_NULL;
        } else if (direct) {
            frame.output.csp = XVID_CSP_YUY2;
            frame.output.plane[0] = output;
            frame.output.stride[0] = width_ * 2;
        } else {
            if (!prepare_planes()) {
                return XVID_ERR_MEMORY;
            }
            if (planes_.empty()) {
                frame.output.csp = XVID_CSP_NULL;
            } else {
                const std::size_t luma = static_cast<std::size_t>(stream_width_) * stream_height_;
                const int chroma_width = (stream_width_ + 1) / 2;
                const std::size_t chroma =
                    static_cast<std::size_t>(chroma_width) * ((stream_height_ + 1) / 2);
                frame.output.csp = XVID_CSP_PLANAR;
                frame.output.plane[0] = planes_.data();
                frame.output.plane[1] = planes_.data() + luma;
                frame.output.plane[2] = planes_.data() + luma + chroma;
                frame.output.stride[0] = stream_width_;
                frame.output.stride[1] = chroma_width;
                frame.output.stride[2] = chroma_width;
            }
        }
        const int used = xvid_decore(handle_, XVID_DEC_DECODE, &frame, &stats);
        if (used <= 0) {
            return used;
        }
        const int consumed = std::min(used, remaining);
        bytes += consumed;
        remaining -= consumed;
        if (stats.type == XVID_TYPE_VOL) {
            stream_width_ = stats.data.vol.width;
            stream_height_ = stats.data.vol.height;
        }
        if (stats.type > 0) {
            if (!direct && output != nullptr && !planes_.empty()) {
                PlanarPicture picture;
                picture.y = static_cast<const uint8_t*>(frame.output.plane[0]);
                picture.u = static_cast<const uint8_t*>(frame.output.plane[1]);
                picture.v = static_cast<const uint8_t*>(frame.output.plane[2]);
                picture.y_stride = frame.output.stride[0];
                picture.u_stride = frame.output.stride[1];
                picture.v_stride = frame.output.stride[2];
                picture.width = stream_width_;
                picture.height = stream_height_;
                write_picture_guarded(picture, width_, height_, output);
            }
            return stats.type;
        }
    } while (remaining > 1);
    return stats.type;
}

}  // namespace orvel::codec
