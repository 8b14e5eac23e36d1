#include "stream/stream_service.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <random>
#include <thread>

namespace dvrsim {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRequestTimeoutMs = 5000;
constexpr int kOversizeBytes = 300'000;  // more than a 262,144-byte ring entry

void put32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

bool send_all(int fd, const uint8_t* data, size_t length) {
    while (length > 0) {
        const ssize_t n = ::send(fd, data, length, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool receive_within(int fd, uint8_t* into, size_t length, int timeout_ms) {
    size_t got = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (got < length) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
        const ssize_t n = ::recv(fd, into + got, length - got, 0);
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

namespace {

uint32_t packed_now() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return packed_date_time(tm.tm_year % 100, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                            tm.tm_sec);
}

}  // namespace

bool peer_closed(int fd) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    uint8_t b;
    return ::recv(fd, &b, 1, MSG_DONTWAIT | MSG_PEEK) == 0;
}

bool sleep_until(Clock::time_point when, const std::atomic<bool>& stopping) {
    while (!stopping.load()) {
        const auto now = Clock::now();
        if (now >= when) return true;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(when - now, std::chrono::milliseconds(100)));
    }
    return false;
}

uint32_t packed_date_time(int year, int month, int day, int hour, int minute, int second) {
    return static_cast<uint32_t>(year & 0x3F) | static_cast<uint32_t>(month & 0xF) << 6 |
           static_cast<uint32_t>(day & 0x1F) << 10 | static_cast<uint32_t>(hour & 0x1F) << 15 |
           static_cast<uint32_t>(minute & 0x3F) << 20 | static_cast<uint32_t>(second & 0x3F) << 26;
}

void append_frame(std::vector<uint8_t>& out, bool dual, uint8_t first, uint32_t capture_ms,
                  uint32_t packed, const uint8_t* payload, uint32_t length) {
    const size_t at = out.size();
    const size_t head = dual ? 16 : 12;
    out.resize(at + head + length);
    uint8_t* h = out.data() + at;
    h[0] = first;
    if (dual) {
        put32(h + 4, length);
        put32(h + 8, capture_ms);
        put32(h + 12, packed);
    } else {
        h[2] = static_cast<uint8_t>(length);
        h[3] = static_cast<uint8_t>(length >> 8);
        put32(h + 4, capture_ms);
        put32(h + 8, packed);
    }
    if (length > 0 && payload != nullptr) std::copy(payload, payload + length, h + head);
}

const StreamSettings& StreamConfig::settings_for(int camera) const {
    const auto it = per_camera.find(camera);
    return it != per_camera.end() ? it->second : defaults;
}

void StreamSelectBoard::select_main(uint32_t stream_id, bool main) {
    std::lock_guard lock(mutex_);
    main_[stream_id] = main;
}

bool StreamSelectBoard::main_selected(uint32_t stream_id) const {
    std::lock_guard lock(mutex_);
    const auto it = main_.find(stream_id);
    return it != main_.end() && it->second;
}

std::shared_ptr<const StreamLibrary::Loop> StreamLibrary::video(int camera, StreamKind kind,
                                                                int width, int height,
                                                                std::string& error) {
    const std::string key = std::to_string(camera) + "/" + std::to_string(static_cast<int>(kind)) +
                            "/" + std::to_string(width) + "x" + std::to_string(height);
    std::lock_guard lock(mutex_);
    if (auto it = loops_.find(key); it != loops_.end()) return it->second;
    auto loop = std::make_shared<Loop>();
    const SceneFn sized = [camera, width, height](PlanarPicture& p, int index) {
        draw_scene(p, width, height, camera, index);
    };
    switch (kind) {
        case StreamKind::mpeg4:
            loop->frames =
                encode_mpeg4_lavc(width, height, config_.loop_frames, config_.gop, sized, error);
            break;
        case StreamKind::c4321:
            loop->frames =
                encode_4321(width, height, config_.loop_frames, config_.gop, sized, error);
            break;
        case StreamKind::dual:
            loop->frames =
                encode_mpeg4_xvid(width, height, config_.loop_frames, config_.gop, sized, error);
            break;
    }
    if (loop->frames.empty()) return nullptr;
    loops_[key] = loop;
    return loop;
}

std::shared_ptr<const std::vector<uint8_t>> StreamLibrary::audio(std::string& error) {
    std::lock_guard lock(mutex_);
    if (!audio_) {
        auto codes = std::make_shared<std::vector<uint8_t>>(encode_g721_speech(6, error));
        if (codes->size() < static_cast<size_t>(kAudioFrameBytes)) return nullptr;
        audio_ = codes;
    }
    return audio_;
}

int StreamLibrary::next_connection(int camera) {
    std::lock_guard lock(mutex_);
    return connections_[camera]++;
}

int32_t requested_channel(const uint8_t* request) {
    return static_cast<int32_t>(request[4] | request[5] << 8 | request[6] << 16 |
                                static_cast<uint32_t>(request[7]) << 24);
}

int32_t marker_for(const StreamSettings& s) {
    return s.kind == StreamKind::dual ? 1234 : s.kind == StreamKind::c4321 ? 4321 : s.codec_marker;
}

StreamHeaderBytes stream_header_for(const StreamSettings& s, int channel) {
    StreamHeaderBytes header{};
    // A header may announce another size than the pictures have (a lying DVR).
    put32(header.data() + 8, static_cast<uint32_t>(s.header_width > 0 ? s.header_width : s.width));
    put32(header.data() + 12,
          static_cast<uint32_t>(s.header_height > 0 ? s.header_height : s.height));
    put32(header.data() + 16, s.kind == StreamKind::dual ? stream_id_for(channel) : 0);
    put32(header.data() + 24, static_cast<uint32_t>(marker_for(s)));
    return header;
}

void serve_stream_connection(int fd, const StreamConfig& config, StreamLibrary& library,
                             const StreamSelectBoard& board, const std::atomic<bool>& stopping,
                             const StreamLog& log) {
    uint8_t request[12];
    if (!receive_within(fd, request, sizeof request, kRequestTimeoutMs)) {
        log("stream: no request");
        return;
    }
    const int32_t channel = requested_channel(request);
    if (channel < 1 || channel > config.camera_count) {
        log("stream: request for unknown channel " + std::to_string(channel));
        return;
    }
    library.count_request();
    log("stream: request for channel " + std::to_string(channel));
    const int connection = library.next_connection(channel);
    const auto alternate = config.alternate.find(channel);
    const StreamSettings& s = alternate != config.alternate.end() && connection % 2 == 1
                                  ? alternate->second
                                  : config.settings_for(channel);
    const bool dual = s.kind == StreamKind::dual;
    std::string error;
    auto sub = library.video(channel, s.kind, s.width, s.height, error);
    std::shared_ptr<const StreamLibrary::Loop> main;
    const int main_width = s.width == 320 ? 960 : 1280;
    if (dual) main = library.video(channel, StreamKind::dual, main_width, 720, error);
    auto audio = s.audio ? library.audio(error) : nullptr;
    if (!sub || (dual && !main)) {
        log("stream: channel " + std::to_string(channel) + " cannot be encoded: " + error);
        return;
    }
    // Faults aimed at another camera leave this connection alone.
    const StreamFaults f = config.faults.hits(channel) ? config.faults : StreamFaults{};
    if (f.header_delay_ms > 0 &&
        !sleep_until(Clock::now() + std::chrono::milliseconds(f.header_delay_ms), stopping))
        return;
    const StreamHeaderBytes header = stream_header_for(s, channel);
    const int32_t marker = marker_for(s);
    if (!send_all(fd, header.data(), header.size())) return;
    log("stream: channel " + std::to_string(channel) + " started, marker " +
        std::to_string(marker));

    const auto start = Clock::now();
    const uint32_t capture_base = static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(start.time_since_epoch()).count());
    auto after = [&](int ms) {
        return ms > 0 && Clock::now() - start >= std::chrono::milliseconds(ms);
    };
    std::vector<uint8_t> out;
    out.reserve(kOversizeBytes + 64);
    std::mt19937 rng(static_cast<uint32_t>(channel));
    size_t audio_at = 0;
    int64_t next_audio_ms = 0;
    for (int64_t i = 0; !stopping.load(); ++i) {
        const int64_t due_ms = i * kFrameIntervalMs;
        if (!sleep_until(start + std::chrono::milliseconds(due_ms), stopping)) return;
        if (after(f.drop_after_ms)) {
            log("stream: channel " + std::to_string(channel) + " dropped (fault)");
            return;
        }
        if (after(f.stall_after_ms)) {
            while (!stopping.load() && !peer_closed(fd))
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return;
        }
        if (after(f.garbage_after_ms)) {
            out.resize(4096);
            for (auto& b : out) b = static_cast<uint8_t>(rng());
            send_all(fd, out.data(), out.size());
            return;
        }
        const uint32_t capture_ms = capture_base + static_cast<uint32_t>(due_ms);
        const uint32_t packed = packed_now();
        auto append = [&](uint8_t first, const uint8_t* payload, uint32_t length) {
            append_frame(out, dual, first, capture_ms, packed, payload, length);
        };
        out.clear();
        if (after(f.oversize_after_ms)) {
            std::vector<uint8_t> big(kOversizeBytes, 0x55);
            append(dual ? 2 : 0, big.data(), static_cast<uint32_t>(big.size()));
            send_all(fd, out.data(), out.size());
            log("stream: channel " + std::to_string(channel) + " sent an oversized frame (fault)");
            return;
        }
        const EncodedFrame& frame = sub->frames[static_cast<size_t>(i) % sub->frames.size()];
        // Standard form: bits 4-7 clear on key frames. Dual form: class 2, bit 7 on non-key.
        const uint8_t flags = dual ? static_cast<uint8_t>(2 | (frame.key ? 0 : 0x80))
                                   : static_cast<uint8_t>(frame.key ? 0x00 : 0x10);
        if (!dual && frame.bytes.size() > 0xFFFF) continue;  // cannot be framed: skip it
        append(flags, frame.bytes.data(), static_cast<uint32_t>(frame.bytes.size()));
        if (after(f.stall_mid_frame_after_ms)) {
            send_all(fd, out.data(), out.size() - frame.bytes.size() / 2);
            log("stream: channel " + std::to_string(channel) + " stalled mid-frame (fault)");
            while (!stopping.load() && !peer_closed(fd))
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return;
        }
        if (dual && board.main_selected(stream_id_for(channel))) {
            const EncodedFrame& m = main->frames[static_cast<size_t>(i) % main->frames.size()];
            append(static_cast<uint8_t>(0 | (m.key ? 0 : 0x80)), m.bytes.data(),
                   static_cast<uint32_t>(m.bytes.size()));
        }
        if (audio && due_ms >= next_audio_ms) {
            if (audio_at + kAudioFrameBytes > audio->size()) audio_at = 0;
            // Flag bit 0 (standard form) and class 1 (dual form) are both the value 1.
            append(1, audio->data() + audio_at, kAudioFrameBytes);
            audio_at += kAudioFrameBytes;
            next_audio_ms += kAudioFrameMs;
        }
        if (!send_all(fd, out.data(), out.size())) return;
    }
}

}  // namespace dvrsim
