#pragma once
// Decode -> stamp -> hand-off, shared by every pane kind.
//
// On the GPU path a picture that is to be shown is decoded straight into the renderer's
// buffer, stamped there and committed: no copy. On the software path it is converted, shrunk
// and stamped in one pass into the renderer's buffer, from the decoder's own planes where the
// decoder type offers them (else from the pane's work picture). Pictures that are not shown
// (full view of another pane, drawing disabled) are still decoded into the work picture, so
// the decoder keeps its references.
//
// All functions run in the pane's pipeline (one job at a time).
#include <cstdint>
#include <memory>
#include <string_view>

#include "codec/yuy2_pack.h"
#include "pane/picture_stage.h"
#include "pane/pipeline_env.h"
#include "view/channel_slots.h"

namespace orvel::pane {

enum class PictureOutcome {
    shown,          // decoded and handed to the renderer
    not_shown,      // decoded, but this pane may not draw now
    no_picture,     // the decoder gave none (or there is no decoder)
    size_mismatch,  // the stream's pictures are not the size its header announced
};

struct PictureInput {
    const uint8_t* payload = nullptr;
    int payload_bytes = 0;
    uint32_t packed_time = 0;  // PackedDateTime of the frame
    uint64_t received_ns = 0;  // when its last byte arrived
    bool rec = false;          // draw "REC" (the pane's stream is being recorded)
};

// What a pane's hand-off keeps between pictures: the caption as the renderer takes it and a
// row buffer for the software conversion.
class HandOff {
public:
    explicit HandOff(const PipelineEnv& env) : env_(env) {}

    // True when the software path draws now (else the GPU path).
    bool software_path() const;
    // Drawing enabled and no full view of another pane.
    bool may_draw(const view::ChannelSlot& slot) const;

    // A standard (or sub-stream) picture with `handle`, at the stage's picture size; with
    // `may_show` false it is decoded and stamped but never shown.
    PictureOutcome standard_picture(PictureStage& stage, view::ChannelSlot& slot, int handle,
                                    const PictureInput& in, bool may_show = true);
    // A dual stream's main-stream picture: decoded into the work picture, shown only in the
    // pane full view (GPU path: with the caption and time as text), never stamped.
    PictureOutcome main_stream_picture(PictureStage& stage, view::ChannelSlot& slot,
                                       const PictureInput& in);
    // Shows `text` in the pane instead of a picture ("" removes it).
    void show_notice(const view::ChannelSlot& slot, std::string_view text) const;

private:
    // A decoded picture: packed YUY2, or the decoder's planar picture.
    struct Decoded {
        const uint8_t* yuy2 = nullptr;
        const codec::PlanarPicture* planar = nullptr;
        int width = 0;
        int height = 0;
    };
    bool software_fit(const Decoded& picture, view::ChannelSlot& slot,
                      const view::StampState* stamp, uint64_t received_ns, bool rec);
    // The software path for a decoder type with planar output; kNoPlanarOutput otherwise
    // (nothing decoded then).
    int planar_picture(PictureStage& stage, view::ChannelSlot& slot, int handle,
                       const PictureInput& in, PictureOutcome* outcome);
    void take_snapshot(view::ChannelSlot& slot, const uint8_t* yuy2, int width, int height);
    std::string_view caption(const view::ChannelSlot& slot) const;
    bool size_matches(int handle, const PictureStage& stage) const;

    const PipelineEnv& env_;
    // A converted source row (width * 4 bytes) and, behind it, a packed one (width * 2).
    std::unique_ptr<uint8_t[]> row_scratch_;
    int row_scratch_pixels_ = 0;
};

}  // namespace orvel::pane
