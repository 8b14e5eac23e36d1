#include "codec/mpeg4_vol.h"

#include <algorithm>

#include "codec/c4321/bit_reader.h"

namespace orvel::codec {
namespace {

constexpr int kShapeRectangular = 0;
constexpr int kShapeGrayscale = 3;
constexpr int kExtendedPar = 15;

// Reads the VOL header after its start code up to the picture size (ISO/IEC 14496-2, 6.2.3);
// 0 when the layer is not rectangular.
int64_t vol_pixels(c4321::BitReader& r) {
    r.skip(1);  // random_accessible_vol
    r.skip(8);  // video_object_type_indication
    int verid = 1;
    if (r.read_bit()) {  // is_object_layer_identifier
        verid = static_cast<int>(r.read(4));
        r.skip(3);  // priority
    }
    if (r.read(4) == kExtendedPar) r.skip(16);
    if (r.read_bit()) {  // vol_control_parameters
        r.skip(3);       // chroma_format, low_delay
        if (r.read_bit()) r.skip(79);  // vbv_parameters with their markers
    }
    const int shape = static_cast<int>(r.read(2));
    if (shape == kShapeGrayscale && verid != 1) r.skip(4);
    r.skip(1);  // marker
    const uint32_t resolution = r.read(16);
    r.skip(1);  // marker
    if (r.read_bit()) {  // fixed_vop_rate: the increment takes the bits the resolution needs
        int bits = 1;
        while (bits < 16 && (1u << bits) < resolution) ++bits;
        r.skip(bits);
    }
    if (shape != kShapeRectangular) return 0;
    r.skip(1);
    const int64_t width = r.read(13);
    r.skip(1);
    const int64_t height = r.read(13);
    return width * height;
}

}  // namespace

int64_t largest_vol_pixels(const uint8_t* data, std::size_t length) {
    int64_t largest = 0;
    if (data == nullptr) return 0;
    for (std::size_t i = 0; i + 4 <= length; ++i) {
        // video_object_layer_start_code: 00 00 01 20..2F.
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1 || (data[i + 3] & 0xF0) != 0x20)
            continue;
        c4321::BitReader reader(data + i + 4, length - i - 4);
        largest = std::max(largest, vol_pixels(reader));
    }
    return largest;
}

}  // namespace orvel::codec
