#include "file_request.h"

#include <cstdio>

namespace dvrsim {
namespace {

constexpr int kFramesPerSecond = 1000 / kRecordingFrameMs;

std::uint32_t u32_at(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

bool parse_file_request(const std::uint8_t* bytes, FileRequest& out) {
    out.mode = bytes[0] | bytes[1] << 8;
    out.start_s = u32_at(bytes + 8);
    const std::uint8_t* path = bytes + 12;
    std::size_t n = 0;
    while (n < kFileRequestPathBytes && path[n] != 0) ++n;
    if (n == 0 || n == kFileRequestPathBytes) return false;
    out.path.assign(reinterpret_cast<const char*>(path), n);
    return true;
}

std::string recording_path(const SimRecording& r) {
    char date[16], path[128];
    std::snprintf(date, sizeof date, "%02d-%02d-%02d", r.year % 100, r.month, r.day);
    std::snprintf(path, sizeof path,
                  "%c:\\dvr_media\\video\\%s\\camera %02d\\%s-%02d-%02d-%02d-%02d.dvr", r.drive,
                  date, r.camera, date, r.hour, r.minute, r.second, r.camera);
    return path;
}

const SimRecording* find_recording(const Scenario& scenario, std::string_view path) {
    for (const auto& r : scenario.recordings)
        if (recording_path(r) == path) return &r;
    return nullptr;
}

FilePlan plan_file_stream(const SimRecording& r, std::uint32_t start_s, int mode, int gop) {
    FilePlan plan;
    plan.speed = mode == kFastPlayMode ? kFastPlayFactor : 1;
    plan.end_frame = static_cast<std::int64_t>(r.length_s) * kFramesPerSecond;
    std::int64_t first = static_cast<std::int64_t>(start_s) * kFramesPerSecond;
    if (gop > 0) first -= first % gop;
    plan.first_frame = first < plan.end_frame ? first : plan.end_frame;
    return plan;
}

}  // namespace dvrsim
