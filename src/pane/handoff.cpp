#include "pane/handoff.h"

#include <cstring>
#include <new>

#include "codec/decoder_table.h"
#include "codec/picture_limits.h"
#include "pane/software_picture.h"
#include "view/app_state.h"
#include "view/panes.h"

namespace orvel::pane {

bool HandOff::software_path() const { return env_.state->display_gdi.load() != 0; }

bool HandOff::may_draw(const view::ChannelSlot& slot) const {
    if (!slot.draw_enabled.load()) return false;
    return !env_.state->full_view_active.load() || env_.state->selected_pane.load() == slot.pane;
}

std::string_view HandOff::caption(const view::ChannelSlot& slot) const {
    return {slot.caption.data(), strnlen(slot.caption.data(), slot.caption.size())};
}

bool HandOff::size_matches(int handle, const PictureStage& stage) const {
    int width = 0, height = 0;
    if (!codec::decoder_stream_size(handle, &width, &height)) return true;
    // A header without a size accepts what comes (within the decoder's fixed bound).
    if (stage.created_width() == 0 || stage.created_height() == 0) return true;
    return width == stage.created_width() && height == stage.created_height();
}

void HandOff::take_snapshot(view::ChannelSlot& slot, const uint8_t* yuy2, int width, int height) {
    if (slot.snapshot_requested.load() == 0) return;
    slot.snapshot_requested.store(0);
    if (env_.snapshots != nullptr)
        env_.snapshots->take(slot.pane, yuy2, width, height, software_path());
}

bool HandOff::software_fit(const Decoded& picture, view::ChannelSlot& slot,
                           const view::StampState* stamp, uint64_t received_ns, bool rec) {
    const int width = picture.width, height = picture.height;
    if (env_.blitter == nullptr || !codec::picture_size_supported(width, height)) return false;
    const view::GridLayout layout = env_.state->layout.read();
    const bool full_screen_target = slot.full_screen_target.load() != 0;
    const platform::Rect dest = view::software_dest_rect(
        layout, slot.pane, env_.state->full_view_active.load() != 0, full_screen_target);
    // A zoomed full view draws part of the picture enlarged: it keeps the picture's own size,
    // and its time is drawn over it by the renderer rather than burnt into it.
    const bool zoomed = env_.state->full_view_zoomed.load() != 0;
    const view::StoredSize stored =
        zoomed ? view::StoredSize{width, height} : view::software_stored_size(width, height, dest);
    if (width > row_scratch_pixels_) {
        // Grows once to the widest picture the pane shows.
        row_scratch_.reset(new (std::nothrow) uint8_t[static_cast<std::size_t>(width) * 6]);
        row_scratch_pixels_ = row_scratch_ ? width : 0;
        if (!row_scratch_) return false;
    }
    uint8_t* out = env_.blitter->begin_blit(slot.pane, stored);
    if (out == nullptr) return false;
    const view::StampState* burnt = zoomed ? nullptr : stamp;
    if (picture.planar != nullptr)
        planar_to_bgrx_fit(*picture.planar, out, stored.width, stored.height, burnt,
                           row_scratch_.get(),
                           row_scratch_.get() + static_cast<std::size_t>(width) * 4);
    else
        yuy2_to_bgrx_fit(picture.yuy2, width, height, out, stored.width, stored.height, burnt,
                         row_scratch_.get());
    const uint32_t overlay_time =
        zoomed && stamp != nullptr && stamp->enabled ? stamp->last_drawn : 0;
    // "REC" sits at the top right: of the pane, or of the whole picture in the full view.
    platform::Rect rec_box{};
    if (rec) {
        rec_box =
            env_.state->full_view_active.load() != 0
                ? platform::Rect{dest.right - 60, 5, dest.right - 10, 25}
                : platform::Rect{dest.right + 1 - 60, dest.top, dest.right + 1 - 10, dest.top + 25};
    }
    env_.blitter->commit_blit(slot.pane, stored, dest, full_screen_target, rec_box, received_ns,
                              overlay_time);
    return true;
}

PictureOutcome HandOff::standard_picture(PictureStage& stage, view::ChannelSlot& slot, int handle,
                                         const PictureInput& in, bool may_show) {
    // Every flag that decides where the picture goes is read inside the pass.
    view::DrawGate::Pass pass(env_.state->draw_gate);
    const bool software = software_path();
    if (stage.stamp_layout_gpu == software) stage.rebuild_stamp(!software);
    if (handle == kNoDecoder) {
        // No decoder: nothing new to show; the stamp still follows the frames.
        view::stamp_update(stage.stamp, in.packed_time);
        return PictureOutcome::no_picture;
    }
    const int width = stage.width(), height = stage.height();
    const bool show = may_show && may_draw(slot);
    if (software && show) {
        PictureOutcome outcome{};
        if (planar_picture(stage, slot, handle, in, &outcome) != codec::kNoPlanarOutput)
            return outcome;
    }
    // The GPU path takes the picture where it will upload it from (unless it takes BGRX
    // pictures, which are converted from the work picture below).
    const bool gpu_bgrx = !software && env_.gpu != nullptr && env_.gpu->takes_bgrx_pictures();
    uint8_t* direct = nullptr;
    if (show && !software && !gpu_bgrx && env_.gpu != nullptr &&
        codec::picture_size_supported(width, height))
        direct = env_.gpu->begin_pane_picture(slot.pane, width, height);
    uint8_t* target = direct != nullptr ? direct : stage.work_picture();
    const int result = codec::decoder_decode(handle, in.payload_bytes, in.payload, target);
    if (result <= 0 || !size_matches(handle, stage)) {
        if (direct != nullptr) env_.gpu->abort_pane_picture(slot.pane);
        view::stamp_update(stage.stamp, in.packed_time);
        return result > 0 ? PictureOutcome::size_mismatch : PictureOutcome::no_picture;
    }
    view::stamp_update(stage.stamp, in.packed_time);
    if (may_show) take_snapshot(slot, target, width, height);
    if (!show) {
        if (direct != nullptr) env_.gpu->abort_pane_picture(slot.pane);
        return PictureOutcome::not_shown;
    }
    if (software) {
        if (!software_fit({target, nullptr, width, height}, slot, &stage.stamp, in.received_ns,
                          in.rec))
            return PictureOutcome::not_shown;
    } else if (gpu_bgrx) {
        // The stamp as the GPU path shows it (luma set in the YUY2 picture), then one
        // conversion into the renderer's buffer.
        view::stamp_apply(stage.stamp, target);
        uint8_t* out = env_.gpu->begin_pane_picture(slot.pane, width, height);
        if (out != nullptr) {
            yuy2_to_bgrx_fit(target, width, height, out, width, height, nullptr, nullptr);
            env_.gpu->commit_pane_picture(slot.pane, caption(slot), in.rec, in.received_ns);
        } else {
            env_.gpu->draw_pane(target, slot.pane, caption(slot), in.rec, in.received_ns);
        }
    } else if (direct != nullptr) {
        view::stamp_apply(stage.stamp, direct);
        env_.gpu->commit_pane_picture(slot.pane, caption(slot), in.rec, in.received_ns);
    } else {
        // The renderer had no buffer to give (an odd width, a surface being rebuilt): the
        // copying hand-off decides for itself whether it can take the picture.
        if (env_.gpu == nullptr) return PictureOutcome::not_shown;
        view::stamp_apply(stage.stamp, target);
        env_.gpu->draw_pane(target, slot.pane, caption(slot), in.rec, in.received_ns);
    }
    slot.pictures_drawn.fetch_add(1);
    return PictureOutcome::shown;
}

int HandOff::planar_picture(PictureStage& stage, view::ChannelSlot& slot, int handle,
                            const PictureInput& in, PictureOutcome* outcome) {
    const int width = stage.width(), height = stage.height();
    // A header without a size, or an odd width, takes the packed path and its own checks.
    if (stage.created_width() == 0 || stage.created_height() == 0 || width % 2 != 0)
        return codec::kNoPlanarOutput;
    codec::PlanarPicture planar;
    const int result = codec::decoder_decode_planar(handle, in.payload_bytes, in.payload, &planar);
    if (result == codec::kNoPlanarOutput) return result;
    view::stamp_update(stage.stamp, in.packed_time);
    if (result <= 0) {
        *outcome = PictureOutcome::no_picture;
        return result;
    }
    if (planar.width != width || planar.height != height) {
        *outcome = PictureOutcome::size_mismatch;
        return result;
    }
    if (slot.snapshot_requested.load() != 0) {
        // A snapshot takes the whole picture packed, as the other paths give it.
        codec::pack_yuy2(planar, width, height, stage.work_picture(),
                         static_cast<std::ptrdiff_t>(width) * 2);
        take_snapshot(slot, stage.work_picture(), width, height);
    }
    if (!software_fit({nullptr, &planar, width, height}, slot, &stage.stamp, in.received_ns,
                      in.rec)) {
        *outcome = PictureOutcome::not_shown;
        return result;
    }
    slot.pictures_drawn.fetch_add(1);
    *outcome = PictureOutcome::shown;
    return result;
}

PictureOutcome HandOff::main_stream_picture(PictureStage& stage, view::ChannelSlot& slot,
                                            const PictureInput& in) {
    const int handle = stage.decoder(PictureStage::kDualMain);
    if (handle == kNoDecoder) return PictureOutcome::no_picture;
    const int width = stage.main_width(), height = stage.main_height();
    uint8_t* picture = stage.work_picture();
    const int result = codec::decoder_decode(handle, in.payload_bytes, in.payload, picture);
    if (result <= 0) return PictureOutcome::no_picture;
    // The main stream's size follows the sub stream's width (960 or 1280 x 720).
    int stream_width = 0, stream_height = 0;
    if (codec::decoder_stream_size(handle, &stream_width, &stream_height) &&
        (stream_width != width || stream_height != height))
        return PictureOutcome::size_mismatch;
    take_snapshot(slot, picture, width, height);
    view::DrawGate::Pass pass(env_.state->draw_gate);
    if (!may_draw(slot)) return PictureOutcome::not_shown;
    if (software_path()) {
        if (!software_fit({picture, nullptr, width, height}, slot, nullptr, in.received_ns,
                          in.rec))
            return PictureOutcome::not_shown;
    } else if (env_.gpu != nullptr) {
        env_.gpu->draw_high_res(picture, slot.pane, width, height, in.packed_time, caption(slot),
                                in.received_ns);
    }
    slot.pictures_drawn.fetch_add(1);
    return PictureOutcome::shown;
}

void HandOff::show_notice(const view::ChannelSlot& slot, std::string_view text) const {
    view::DrawGate::Pass pass(env_.state->draw_gate);
    if (software_path()) {
        if (env_.blitter == nullptr) return;
        const view::GridLayout layout = env_.state->layout.read();
        const bool full_screen_target = slot.full_screen_target.load() != 0;
        const platform::Rect dest = view::software_dest_rect(
            layout, slot.pane, env_.state->full_view_active.load() != 0, full_screen_target);
        env_.blitter->set_pane_notice(slot.pane, text, dest, full_screen_target);
    } else if (env_.gpu != nullptr) {
        env_.gpu->set_pane_notice(slot.pane, text);
    }
}

}  // namespace orvel::pane
