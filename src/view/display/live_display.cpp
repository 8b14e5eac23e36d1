#include "view/display/live_display.h"

#include <chrono>
#include <mutex>
#include <string_view>
#include <thread>

#include "codec/decoder_table.h"
#include "view/app_state.h"
#include "view/display/audio_path.h"
#include "view/display/pacing.h"
#include "view/render/stamp.h"
#include "view/render/yuy2_convert.h"

namespace orvel::view {
namespace {

constexpr auto kIdleSleep = std::chrono::milliseconds(40);

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

std::string_view caption_of(const LiveSlot& slot) {
    const auto& c = slot.caption;
    size_t n = 0;
    while (n < c.size() && c[n] != '\0') ++n;
    return {c.data(), n};
}

bool software_mode(const DisplayEnv& env) { return env.state->display_gdi.load() != 0; }

// Whether this pane may draw now: drawing enabled, and no full view of another pane.
bool may_draw(const LiveSlot& slot, const DisplayEnv& env) {
    if (!slot.draw_enabled.load()) return false;
    return !env.state->full_view_active.load() || env.state->selected_pane.load() == slot.pane;
}

// Decoded picture size that the buffer can hold; a header's size beyond the picture buffer
// is never drawn from (the decoders themselves never write past the size they were made for).
bool picture_fits(int width, int height) {
    return width > 0 && height > 0 &&
           static_cast<int64_t>(width) * height * 4 <= static_cast<int64_t>(kPictureBytes);
}

void present_standard(LiveSlot& slot, const DisplayEnv& env, uint64_t received_at) {
    const int w = slot.picture_width, h = slot.picture_height;
    stamp_apply(slot.stamp, slot.picture.data());
    slot.pictures_drawn.fetch_add(1);
    if (software_mode(env)) {
        if (env.blitter != nullptr && picture_fits(w, h))
            env.blitter->blit(slot.pane, slot.picture.data(), w, h, software_dest_rect(slot, *env.state),
                              slot.full_screen_target.load() != 0, platform::Rect{}, received_at);
    } else if (env.gpu != nullptr) {
        env.gpu->draw_pane(slot.picture.data(), slot.pane, caption_of(slot), false, received_at);
    }
}

// Decode one video payload into the picture (and convert it on the software path).
void decode_into_picture(LiveSlot& slot, const DisplayEnv& env, int handle, const uint8_t* payload,
                         int payload_bytes, int width, int height) {
    if (handle == kNoDecoder) return;  // no decoder: the previous picture is shown again
    codec::decoder_decode(handle, payload_bytes, payload, slot.picture.data());
    if (software_mode(env) && picture_fits(width, height))
        yuy2_to_bgrx(slot.picture.data(), width, height);
}

void paint_blank_on_stop(LiveSlot& slot, const DisplayEnv& env) {
    if (!software_mode(env) || env.blitter == nullptr) return;
    const int w = slot.picture_width, h = slot.picture_height;
    if (picture_fits(w, h))
        env.blitter->blit(slot.pane, slot.blank_picture.data(), w, h,
                          software_dest_rect(slot, *env.state), slot.full_screen_target.load() != 0,
                          platform::Rect{}, 0);
}

// The common loop: hold, stop, idle, or process the entry at ring_read.
template <class ProcessEntry>
int display_loop(LiveSlot& slot, const DisplayEnv& env, ProcessEntry&& process) {
    for (;;) {
        const int32_t run = slot.run_state.load();
        if (run == kRunHold) {
            std::this_thread::sleep_for(kIdleSleep);
            continue;
        }
        if (run == kRunStop) {
            paint_blank_on_stop(slot, env);
            return 0;
        }
        if (slot.ring_count.load() <= 0) {
            std::this_thread::sleep_for(kIdleSleep);
            continue;
        }
        process(slot.ring[static_cast<size_t>(slot.ring_read)].data(),
                slot.entry_received_ns[static_cast<size_t>(slot.ring_read)]);
        slot.ring_read = (slot.ring_read + 1) % kLiveRingEntries;
        slot.ring_count.fetch_sub(1);
    }
}

// Paces video frames `delay_ms` apart, measured from the previous frame's release rather than
// from now, so the time spent decoding and drawing does not add up into a growing backlog
// (and latency). A thread more than one maximal step behind starts afresh from now. While the
// frame being shown is the newest one received, the cadence drifts 2 ms per frame towards the
// arrivals, so the wait a live frame spends before display settles near zero without jerks.
// Sleeps in short steps so that a stop is seen within 40 ms.
void paced_sleep(const LiveSlot& slot, int32_t delay_ms, bool newest,
                 std::chrono::steady_clock::time_point& last_release) {
    constexpr auto kDrift = std::chrono::milliseconds(2);
    const auto now = std::chrono::steady_clock::now();
    auto until = last_release + std::chrono::milliseconds(delay_ms);
    if (until < now - std::chrono::milliseconds(kMaxFrameDeltaMs)) until = now;
    if (newest && until > now) until = std::max(now, until - kDrift);
    last_release = until;
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until || slot.run_state.load() == kRunStop) return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(until - now, kIdleSleep));
    }
}

}  // namespace

platform::Rect software_dest_rect(const LiveSlot& slot, const AppState& state) {
    if (state.full_view_active.load()) {
        if (slot.full_screen_target.load())
            return {0, 0, state.screen.full_screen_width, state.screen.full_screen_height};
        return {0, 0, state.screen.picture_width, state.screen.picture_height};
    }
    const PaneRect& r = slot.pane_rect;
    return {r.left, r.top, r.left + r.width - 1, r.top + r.height - 1};
}

int live_display_thread(LiveSlot& slot, const DisplayEnv& env) {
    uint32_t previous_capture_ms = 0;
    std::chrono::steady_clock::time_point last_release{};
    return display_loop(slot, env, [&](const uint8_t* entry, uint64_t received_at) {
        const uint8_t flags = entry[0];
        const int payload_bytes = entry[2] | entry[3] << 8;
        const uint8_t* payload = entry + 12;
        if (flags & 1) {
            slot.audio_seen = 1;
            if (env.state->audio_pane.load() == slot.pane)
                play_audio_blocks(payload, payload_bytes, kAudioFrameBlocks);
            return;
        }
        const uint32_t capture_ms = le32(entry + 4);
        int32_t queued;
        {
            std::lock_guard lock(slot.ring_lock);
            queued = slot.ring_count.load();
        }
        const int32_t delay = live_frame_delay_ms(capture_ms, previous_capture_ms, queued);
        previous_capture_ms = capture_ms;
        paced_sleep(slot, delay, queued <= 1, last_release);
        const int handle = slot.decoders[0] != kNoDecoder ? slot.decoders[0] : slot.decoders[1];
        decode_into_picture(slot, env, handle, payload, payload_bytes, slot.picture_width,
                            slot.picture_height);
        stamp_update(slot.stamp, le32(entry + 8));
        if (may_draw(slot, env)) present_standard(slot, env, received_at);
    });
}

int dual_stream_display_thread(LiveSlot& slot, const DisplayEnv& env) {
    constexpr int kMainDecoder = 2, kSubDecoder = 3;
    return display_loop(slot, env, [&](const uint8_t* entry, uint64_t received_at) {
        const int frame_class = entry[0] & 0x0F;
        const bool key_frame = (entry[0] & 0x80) == 0;
        const uint32_t payload_bytes = le32(entry + 4);
        const int payload = static_cast<int>(
            std::min<uint32_t>(payload_bytes, static_cast<uint32_t>(kRingEntryBytes - 16)));
        const uint8_t* data = entry + 16;
        const uint32_t packed = le32(entry + 12);
        if (frame_class == 2) {
            auto decode_sub = [&] {
                decode_into_picture(slot, env, slot.decoders[kSubDecoder], data, payload,
                                    slot.picture_width, slot.picture_height);
                stamp_update(slot.stamp, packed);
            };
            if (slot.showing_sub.load()) {
                decode_sub();
            } else if (slot.switch_request.load() == 2 && key_frame) {
                // The sub picture returns from the third key frame after the request; the
                // two before it are decoded so the decoder has its references.
                if (slot.switch_counter == 2) {
                    slot.switch_request = 0;
                    slot.switch_counter = 0;
                    slot.showing_sub = 1;
                    slot.showing_main = 0;
                } else {
                    decode_sub();
                    ++slot.switch_counter;
                }
            }
            if (slot.showing_sub.load() && may_draw(slot, env)) present_standard(slot, env, received_at);
            return;
        }
        if (frame_class == 0) {
            if (!slot.showing_main.load()) {
                if (!(slot.switch_request.load() == 1 && key_frame)) return;  // dropped
                slot.switch_request = 0;
                slot.showing_main = 1;
                slot.showing_sub = 0;
            }
            const int w = slot.main_stream_width, h = slot.main_stream_height;
            decode_into_picture(slot, env, slot.decoders[kMainDecoder], data, payload, w, h);
            // The stamp keeps describing the digits it shows; the main-stream time is drawn
            // as text from the frame itself, so the sub picture's stamp stays right on return.
            if (!may_draw(slot, env)) return;
            slot.pictures_drawn.fetch_add(1);
            if (software_mode(env)) {
                if (env.blitter != nullptr && picture_fits(w, h))
                    env.blitter->blit(slot.pane, slot.picture.data(), w, h,
                                      software_dest_rect(slot, *env.state),
                                      slot.full_screen_target.load() != 0, platform::Rect{},
                                      received_at);
            } else if (env.gpu != nullptr) {
                env.gpu->draw_high_res(slot.picture.data(), slot.pane, w, h, packed, caption_of(slot),
                                       received_at);
            }
            return;
        }
        if (frame_class == 1) {
            slot.audio_seen = 1;
            if (env.state->audio_pane.load() == slot.pane)
                play_audio_blocks(data, payload, kAudioFrameBlocks);
        }
    });
}

}  // namespace orvel::view
