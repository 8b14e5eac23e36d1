// The picture path of a pane from untrusted bytes: a stream header chooses the picture size
// and the decoders, then frames are decoded into the pane's work picture, stamped, converted
// and shrunk into a renderer-sized buffer, exactly as a pane's pipeline does. Whatever the
// header claims and whatever the pictures really are, nothing may be written out of bounds.
//
// Input: the 28-byte stream header, one byte choosing the output shrink (bits 0-2 and 5-7) and
// the path (bit 3: from the decoder's planes where its type has them, as the software path
// does), then frames of [length low, length high, payload...].
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "codec/decoder_table.h"
#include "media/stream_format.h"
#include "pane/picture_stage.h"
#include "pane/software_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        orvel::codec::decoder_table_init();
        return true;
    }();
    (void)ready;
    if (size < orvel::media::kStreamHeaderBytes + 1) return 0;
    const orvel::media::DvrHeader header = orvel::media::parse_stream_header(data);
    orvel::pane::PictureStage stage;
    if (!stage.apply_header(header)) return 0;  // refused: the pane closes the stream
    const int width = stage.width(), height = stage.height();
    const uint8_t shrink = data[orvel::media::kStreamHeaderBytes];
    const int out_width = std::max(1, width * (1 + (shrink & 7)) / 8);
    const int out_height = std::max(1, height * (1 + (shrink >> 5)) / 8);
    std::unique_ptr<uint8_t[]> out(
        new (std::nothrow) uint8_t[static_cast<size_t>(out_width) * out_height * 4]);
    // A converted row, then a packed one (the planar path's).
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[static_cast<size_t>(width) * 6]);
    const bool planar_path = (shrink & 0x08) != 0 && stage.created_width() > 0 &&
                             stage.created_height() > 0 && width % 2 == 0;
    if (!out || !row) return 0;
    stage.rebuild_stamp(false);
    size_t at = orvel::media::kStreamHeaderBytes + 1;
    uint32_t packed = 0x1234567u;
    while (at + 2 <= size) {
        const size_t length = std::min<size_t>(data[at] | data[at + 1] << 8, size - at - 2);
        at += 2;
        const int handle = stage.dual() ? stage.decoder(orvel::pane::PictureStage::kDualSub)
                                        : stage.standard_decoder();
        orvel::codec::PlanarPicture planar;
        const int planar_result =
            handle >= 0 && planar_path
                ? orvel::codec::decoder_decode_planar(handle, static_cast<int>(length), data + at,
                                                      &planar)
                : orvel::codec::kNoPlanarOutput;
        if (planar_result != orvel::codec::kNoPlanarOutput) {
            // The hand-off's rule: only a picture of the announced size is shown.
            if (planar_result > 0 && planar.width == width && planar.height == height) {
                orvel::view::stamp_update(stage.stamp, packed);
                orvel::pane::planar_to_bgrx_fit(planar, out.get(), out_width, out_height,
                                                &stage.stamp, row.get(),
                                                row.get() + static_cast<size_t>(width) * 4);
            }
        } else if (handle >= 0 &&
                   orvel::codec::decoder_decode(handle, static_cast<int>(length), data + at,
                                                stage.work_picture()) > 0) {
            orvel::view::stamp_update(stage.stamp, packed);
            orvel::pane::yuy2_to_bgrx_fit(stage.work_picture(), width, height, out.get(), out_width,
                                          out_height, &stage.stamp, row.get());
        }
        packed += 1u << 26;
        at += length;
    }
    return 0;
}
