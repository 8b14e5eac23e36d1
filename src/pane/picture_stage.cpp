#include "pane/picture_stage.h"

#include <algorithm>
#include <new>

#include "codec/decoder_table.h"
#include "codec/picture_limits.h"
#include "codec/picture_output.h"

namespace orvel::pane {

PictureStage::~PictureStage() { release(); }

void PictureStage::release() {
    for (int32_t& handle : decoders_) {
        if (handle != kNoDecoder) codec::decoder_destroy(handle);
        handle = kNoDecoder;
    }
}

bool PictureStage::ensure_work(std::size_t bytes) {
    if (bytes <= work_bytes_) return true;
    std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[bytes]);
    if (!grown) return false;
    work_ = std::move(grown);
    work_bytes_ = bytes;
    return true;
}

void PictureStage::replace_decoder(Role role, int type, int width, int height) {
    int32_t& handle = decoders_[role];
    if (handle != kNoDecoder && decoder_width_[role] == width && decoder_height_[role] == height)
        return;
    if (handle != kNoDecoder) codec::decoder_destroy(handle);
    handle = codec::decoder_create(type, width, height);
    decoder_width_[role] = width;
    decoder_height_[role] = height;
}

bool PictureStage::apply_header(const media::DvrHeader& h) {
    const bool unknown = h.width == 0 || h.height == 0;
    if (!unknown && !codec::picture_size_supported(h.width, h.height)) return false;
    const int w = static_cast<int>(h.width), ht = static_cast<int>(h.height);
    // A decoder made without a size writes at the stream's own stride within a fixed bound.
    std::size_t bytes = unknown ? codec::kUnknownSizeOutputBytes : codec::yuy2_picture_bytes(w, ht);
    const bool dual = h.codec_marker == media::kMarkerDual;
    const int main_width = media::main_stream_width_for(h.width);
    if (dual)
        bytes = std::max(bytes, codec::yuy2_picture_bytes(main_width, media::kMainStreamHeight));
    if (!ensure_work(bytes)) return false;

    created_width_ = w;
    created_height_ = ht;
    width_ = unknown ? 352 : w;
    height_ = unknown ? 288 : ht;
    dual_ = dual;
    if (dual) {
        replace_decoder(kDualSub, codec::DECODER_XVID, w, ht);
        main_width_ = main_width;
        replace_decoder(kDualMain, codec::DECODER_XVID, main_width_, media::kMainStreamHeight);
        stream_id_ = static_cast<uint32_t>(h.stream_id);
    } else if (h.codec_marker == media::kMarker4321) {
        replace_decoder(kStandard4321, codec::DECODER_4321, w, ht);
    } else {
        replace_decoder(kStandardMpeg4, codec::DECODER_MPEG4LIB, w, ht);
    }
    rebuild_stamp(stamp_layout_gpu);
    return true;
}

void PictureStage::rebuild_stamp(bool gpu_layout) {
    stamp_layout_gpu = gpu_layout;
    view::stamp_build(stamp, width_, height_, gpu_layout);
}

}  // namespace orvel::pane
