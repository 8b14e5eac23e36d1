#include "net/stream/live_stream.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "codec/decoder_table.h"
#include "net/stream/stream_header.h"
#include "net/stream/stream_socket.h"
#include "platform/log.h"
#include "view/app_state.h"
#include "view/display/live_display.h"
#include "view/render/stamp.h"

namespace orvel::net {
namespace {

using view::LiveSlot;
using view::kNoDecoder;

constexpr auto kReconnectStep = std::chrono::milliseconds(80);
constexpr auto kRingFullPoll = std::chrono::milliseconds(40);
constexpr int kDecoderType2 = 0, kDecoderType1 = 1, kDecoderDualMain = 2, kDecoderDualSub = 3;

std::string peer_of(const LiveSlot& slot) {
    const auto& a = slot.peer_address;
    size_t n = 0;
    while (n < a.size() && a[n] != '\0') ++n;
    return std::string(a.data(), n);
}

void replace_decoder(int32_t& handle, int type, int width, int height) {
    if (handle != kNoDecoder) codec::decoder_destroy(handle);
    handle = codec::decoder_create(type, width, height);
}

static_assert(kStreamPictureBufferBytes == view::kPictureBytes);

// Picture size, decoders and (GPU path) the pane's picture buffer from the stream header.
// Runs before any display thread of the slot exists, so replacing decoders is safe. A header
// whose picture the buffer cannot hold gets no decoder and no stamp: the pane stays blank.
void apply_stream_header(LiveSlot& slot, const LiveStreamEnv& env) {
    const StreamHeaderFields h = parse_stream_header(slot.stream_header.data());
    const StreamDecoders d = decoders_for_header(h);
    if (!d.usable) {
        ORVEL_LOG_WARN("stream %s channel %d: picture size %u x %u refused",
                       peer_of(slot).c_str(), slot.channel, h.width, h.height);
        for (int32_t& handle : slot.decoders) {
            if (handle != kNoDecoder) codec::decoder_destroy(handle);
            handle = kNoDecoder;
        }
    }
    slot.picture_width = d.width;
    slot.picture_height = d.height;
    const int w = d.width, ht = d.height;
    if (d.dual) {
        slot.dual_stream = 1;
        if (d.usable) {
            replace_decoder(slot.decoders[kDecoderDualSub], d.type, w, ht);
            replace_decoder(slot.decoders[kDecoderDualMain], d.type, d.main_width, d.main_height);
        }
        slot.main_stream_width = d.main_width;
        slot.main_stream_height = d.main_height;
        if (env.display.gpu != nullptr) env.display.gpu->use_narrow_high_res(h.width == 320);
        slot.stream_id = h.stream_id;
    } else {
        slot.dual_stream = 0;
        const int index = d.type == 2 ? kDecoderType2 : kDecoderType1;
        if (d.usable && slot.decoders[index] == kNoDecoder)
            slot.decoders[index] = codec::decoder_create(d.type, w, ht);
    }
    const bool gpu_mode = env.display.state->display_gdi.load() == 0;
    if (gpu_mode && env.display.gpu != nullptr && d.usable) {
        env.display.gpu->set_pane_picture_size(w, ht, slot.pane);
        env.display.gpu->create_pane_surface(slot.pane);
    }
    view::stamp_build(slot.stamp, w, ht, gpu_mode);
}

void start_display_thread(LiveSlot& slot, const LiveStreamEnv& env) {
    const view::DisplayEnv* display = &env.display;
    if (slot.dual_stream.load())
        slot.display_thread =
            std::thread([&slot, display] { view::dual_stream_display_thread(slot, *display); });
    else
        slot.display_thread =
            std::thread([&slot, display] { view::live_display_thread(slot, *display); });
}

// Reads the whole 28-byte header: a DVR may deliver it in pieces.
bool receive_header(LiveSlot& slot, int fd) {
    return stream_receive_exact(fd, slot.stream_header.data(), slot.stream_header.size(),
                                kStreamHeaderTimeoutMs) == slot.stream_header.size();
}

// The receiving thread's last act: the diagnostic line, then the signal a closer waits for.
int end_receive_thread(LiveSlot& slot) {
    std::printf("xxxxxxxxxxx return %d \n", slot.channel);
    std::fflush(nullptr);
    slot.receive_thread_done.set();
    return 1;
}

// After a successful reconnect: header, decoders, a new file, the stamp, and exactly one
// display thread (the old one is stopped and joined before the decoders change).
bool stream_reconnect(LiveSlot& slot, int fd, const LiveStreamEnv& env) {
    {
        std::lock_guard lock(slot.ring_lock);
        slot.run_state = view::kRunStop;
    }
    if (slot.display_thread.joinable()) slot.display_thread.join();
    if (!receive_header(slot, fd)) return false;
    apply_stream_header(slot, env);
    if (slot.recording.load() && env.recorder != nullptr) env.recorder->start_file(slot);
    std::lock_guard lock(slot.ring_lock);
    // A close that started meanwhile has cleared keep_connected first: start nothing then.
    if (!slot.keep_connected.load()) return false;
    slot.run_state = view::kRunRun;
    start_display_thread(slot, env);
    return true;
}

// Receiving thread's descriptor handover: the UI thread may shut down whatever it reads here.
void set_socket(LiveSlot& slot, int fd) { slot.socket_fd.store(fd); }

void drop_socket(LiveSlot& slot) {
    const int fd = slot.socket_fd.exchange(-1);
    stream_close(fd);
}

}  // namespace

bool stream_open(LiveSlot& slot, const char* address, int port, int32_t channel,
                 const LiveStreamEnv& env) {
    slot.channel = channel;
    std::memset(slot.peer_address.data(), 0, slot.peer_address.size());
    std::strncpy(slot.peer_address.data(), address, slot.peer_address.size() - 1);
    slot.stream_port = port;
    const int fd = stream_connect(peer_of(slot), port, &slot.keep_connected);
    if (fd < 0) return false;
    set_socket(slot, fd);
    const StreamRequest request = build_stream_request(channel);
    if (!stream_send(fd, request.data(), request.size()) || !receive_header(slot, fd)) {
        drop_socket(slot);
        return false;
    }
    apply_stream_header(slot, env);
    if (slot.recording.load() && env.recorder != nullptr) env.recorder->start_file(slot);
    if (slot.display_thread.joinable()) slot.display_thread.join();
    slot.run_state = view::kRunRun;
    start_display_thread(slot, env);
    slot.receiving = 1;
    slot.receive_thread_done.reset();
    slot.receive_thread = std::thread([&slot, &env] { receive_thread_main(slot, env); });
    return true;
}

int receive_thread_main(LiveSlot& slot, const LiveStreamEnv& env) {
    FrameSink* sink = nullptr;
    for (;;) {
        // Wait while the ring is full; a close ends the wait.
        for (;;) {
            int32_t queued;
            {
                std::lock_guard lock(slot.ring_lock);
                queued = slot.ring_count.load();
            }
            if (queued < view::kLiveRingEntries || !slot.receiving.load()) break;
            std::this_thread::sleep_for(kRingFullPoll);
        }
        if (!slot.receiving.load()) {
            drop_socket(slot);
            return end_receive_thread(slot);
        }
        sink = slot.recording.load() ? env.recorder : nullptr;
        const int fd = slot.socket_fd.load();
        uint8_t* into = slot.ring[static_cast<size_t>(slot.ring_write)].data() + slot.ring_fill;
        const long got = stream_receive_some(fd, into, view::kRingEntryBytes - slot.ring_fill);
        if (got > 0) {
            const SplitResult r =
                frame_split(slot, static_cast<int>(got), slot.dual_stream.load() != 0, sink);
            if (r != SplitResult::kOversized) continue;
        }
        // The connection is lost (or carried a frame that can never fit an entry).
        drop_socket(slot);
        if (slot.recording.load() && env.recorder != nullptr) env.recorder->finish_file(slot);
        if (!slot.keep_connected.load()) {
            return end_receive_thread(slot);
        }
        // The new connection starts with a new header and whole frames.
        slot.ring_fill = 0;
        for (;;) {
            if (!slot.keep_connected.load()) {
                return end_receive_thread(slot);
            }
            const int new_fd = stream_connect(peer_of(slot), slot.stream_port, &slot.keep_connected);
            if (new_fd >= 0) {
                set_socket(slot, new_fd);
                const StreamRequest request = build_stream_request(slot.channel);
                if (stream_send(new_fd, request.data(), request.size()) &&
                    stream_reconnect(slot, new_fd, env)) {
                    slot.receiving = slot.keep_connected.load();
                    break;
                }
                drop_socket(slot);  // a failed attempt never leaks its socket
            }
            std::this_thread::sleep_for(kReconnectStep);
        }
    }
}

bool stream_stop(LiveSlot& slot, int wait_ms) {
    slot.keep_connected = 0;
    slot.receiving = 0;
    {
        std::lock_guard lock(slot.ring_lock);
        slot.ring_count = 0;
        slot.run_state = view::kRunStop;
    }
    stream_shutdown(slot.socket_fd.load());
    if (slot.receive_thread.joinable()) {
        // Bounded wait; a thread that has not ended in time keeps the slot alive until the
        // caller's stream_join_all (its own waits are bounded, so it does end).
        if (!slot.receive_thread_done.wait_for(wait_ms)) return false;
        slot.receive_thread.join();
    }
    // The receiving thread may have started a new display thread before it saw the close.
    slot.run_state = view::kRunStop;
    if (slot.display_thread.joinable()) slot.display_thread.join();
    drop_socket(slot);
    return true;
}

void stream_join_all(LiveSlot& slot) {
    if (slot.receive_thread.joinable()) slot.receive_thread.join();
    slot.run_state = view::kRunStop;
    if (slot.display_thread.joinable()) slot.display_thread.join();
    drop_socket(slot);
}

}  // namespace orvel::net
