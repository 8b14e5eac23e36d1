#pragma once
// A pane's decoders, its work picture and its date-and-time stamp.
//
// Owned by the pane's pipeline: every call comes from the pane's job (one run at a time, on
// any worker), except construction and destruction, which the UI thread does while the job
// is detached. Buffers are sized from the stream header within the program's picture limit
// and grow only when a header asks for more, so steady streaming allocates nothing.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "media/stream_format.h"
#include "view/render/stamp.h"

namespace orvel::pane {

inline constexpr int32_t kNoDecoder = -1;

class PictureStage {
public:
    // Decoder roles: the standard stream's type-2 (codec 4321) or type-1 (MPEG-4) decoder,
    // and the dual stream's main-stream and sub-stream decoders (both type 0).
    enum Role { kStandard4321 = 0, kStandardMpeg4 = 1, kDualMain = 2, kDualSub = 3 };

    PictureStage() = default;
    ~PictureStage();
    PictureStage(const PictureStage&) = delete;
    PictureStage& operator=(const PictureStage&) = delete;

    // Takes a stream header: picture size and the decoders its codec marker asks for (a
    // decoder of another size is replaced; one that cannot be made stays absent and its
    // frames are not decoded). False, with nothing created, when the size is beyond the
    // picture limit or the work picture cannot be had.
    bool apply_header(const media::DvrHeader& header);
    // Destroys every decoder.
    void release();

    bool dual() const { return dual_; }
    uint32_t stream_id() const { return stream_id_; }
    // Size of the standard (or sub-stream) pictures; 352 x 288 until a header gives it, and
    // when the header says 0.
    int width() const { return width_; }
    int height() const { return height_; }
    // The header's own size (0 allowed): what the decoders were created with.
    int created_width() const { return created_width_; }
    int created_height() const { return created_height_; }
    int main_width() const { return main_width_; }
    int main_height() const { return media::kMainStreamHeight; }
    int decoder(Role role) const { return decoders_[role]; }
    // Decoder of a standard stream: type 2 when present, else type 1.
    int standard_decoder() const {
        return decoders_[kStandard4321] != kNoDecoder ? decoders_[kStandard4321]
                                                      : decoders_[kStandardMpeg4];
    }

    // The pane's own picture buffer, large enough for any picture its decoders write.
    uint8_t* work_picture() { return work_.get(); }
    std::size_t work_bytes() const { return work_bytes_; }

    // The stamp, built for the current picture size in the layout of the display path
    // (rebuilt when the path changes). stamp_layout_gpu tells which layout it holds.
    view::StampState stamp;
    bool stamp_layout_gpu = true;
    void rebuild_stamp(bool gpu_layout);

private:
    bool ensure_work(std::size_t bytes);
    void replace_decoder(Role role, int type, int width, int height);

    int32_t decoders_[4] = {kNoDecoder, kNoDecoder, kNoDecoder, kNoDecoder};
    int decoder_width_[4] = {};
    int decoder_height_[4] = {};
    bool dual_ = false;
    uint32_t stream_id_ = 0;
    int width_ = 352;
    int height_ = 288;
    int created_width_ = 0;
    int created_height_ = 0;
    int main_width_ = 1280;
    std::unique_ptr<uint8_t[]> work_;
    std::size_t work_bytes_ = 0;
};

}  // namespace orvel::pane
