#include "file_service.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace dvrsim {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRequestTimeoutMs = 5000;
static_assert(kRecordingFrameMs == kFrameIntervalMs, "recordings play at the live rate");

void put32(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// PackedDateTime of a moment `seconds` after the start of the recording's day (a recording
// may run past midnight into the next day).
std::uint32_t packed_at(const SimRecording& r, std::int64_t seconds) {
    std::tm day{};
    day.tm_year = r.year - 1900;
    day.tm_mon = r.month - 1;
    day.tm_mday = r.day;
    const std::time_t when = timegm(&day) + static_cast<std::time_t>(seconds);
    std::tm t{};
    gmtime_r(&when, &t);
    return packed_date_time(t.tm_year % 100, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
                            t.tm_sec);
}

}  // namespace

void serve_file_connection(int fd, const Scenario& scenario, const StreamConfig& config,
                           StreamLibrary& library, const std::atomic<bool>& stopping,
                           const StreamLog& log) {
    std::uint8_t bytes[kFileRequestBytes];
    if (!receive_within(fd, bytes, sizeof bytes, kRequestTimeoutMs)) {
        log("file: no request");
        return;
    }
    FileRequest request;
    if (!parse_file_request(bytes, request)) {
        log("file: bad request (path without terminator), dropped");
        return;
    }
    const SimRecording* rec = find_recording(scenario, request.path);
    if (rec == nullptr) {
        log("file: no recording '" + request.path + "', dropped");
        return;
    }
    const StreamSettings& s = config.settings_for(rec->camera);
    const bool dual = s.kind == StreamKind::dual;
    std::string error;
    auto video = library.video(rec->camera, s.kind, s.width, s.height, error);
    auto audio = s.audio ? library.audio(error) : nullptr;
    if (!video) {
        log("file: camera " + std::to_string(rec->camera) + " cannot be encoded: " + error);
        return;
    }
    std::uint8_t header[28] = {};
    put32(header + 8, static_cast<std::uint32_t>(s.width));
    put32(header + 12, static_cast<std::uint32_t>(s.height));
    const std::int32_t marker = dual ? 1234 : s.kind == StreamKind::c4321 ? 4321 : s.codec_marker;
    put32(header + 24, static_cast<std::uint32_t>(marker));
    if (!send_all(fd, header, sizeof header)) return;

    const FilePlan plan = plan_file_stream(*rec, request.start_s, request.mode, config.gop);
    log("file: " + request.path + " from " + std::to_string(request.start_s) + " s" +
        (plan.speed > 1 ? " (fast)" : ""));
    const std::int64_t rec_start_s = rec->hour * 3600 + rec->minute * 60 + rec->second;
    const auto started = Clock::now();
    std::vector<std::uint8_t> out;
    std::int64_t next_audio_ms = plan.first_frame * kRecordingFrameMs;
    std::size_t audio_at = 0;
    for (std::int64_t i = plan.first_frame; i < plan.end_frame; ++i) {
        if (!sleep_until(started + std::chrono::milliseconds(file_frame_due_ms(plan, i)), stopping))
            return;
        const std::int64_t rec_ms = i * kRecordingFrameMs;
        const auto capture_ms = static_cast<std::uint32_t>(rec_start_s * 1000 + rec_ms);
        const std::uint32_t packed = packed_at(*rec, rec_start_s + rec_ms / 1000);
        const EncodedFrame& frame =
            video->frames[static_cast<std::size_t>(i) % video->frames.size()];
        if (!dual && frame.bytes.size() > 0xFFFF) continue;  // cannot be framed
        // Fast mode sends the key frames only (and no sound), as DVRs fast-forward: every one
        // can be decoded alone, and the client shows them as they come.
        if (plan.speed > 1 && !frame.key) continue;
        const auto flags = dual ? static_cast<std::uint8_t>(2 | (frame.key ? 0 : 0x80))
                                : static_cast<std::uint8_t>(frame.key ? 0x00 : 0x10);
        out.clear();
        append_frame(out, dual, flags, capture_ms, packed, frame.bytes.data(),
                     static_cast<std::uint32_t>(frame.bytes.size()));
        if (audio && plan.speed == 1 && rec_ms >= next_audio_ms) {
            if (audio_at + kAudioFrameBytes > audio->size()) audio_at = 0;
            append_frame(out, dual, 1, capture_ms, packed, audio->data() + audio_at,
                         kAudioFrameBytes);
            audio_at += kAudioFrameBytes;
            next_audio_ms += kAudioFrameMs;
        }
        if (!send_all(fd, out.data(), out.size())) {
            log("file: client went away");
            return;
        }
    }
    log("file: " + request.path + " ended");
}

}  // namespace dvrsim
