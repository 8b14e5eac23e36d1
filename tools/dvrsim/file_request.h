// The file port's request and the recordings it names: decoding the 76-byte recording
// request, the DVR path of a scenario recording, and which frames a request gets. Pure
// functions (no sockets), shared by the server and the fuzz target.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "scenario.h"

namespace dvrsim {

// Video pictures of a recording are 40 ms apart (25 per second).
inline constexpr int kRecordingFrameMs = 40;

inline constexpr int kFileRequestBytes = 76;
inline constexpr int kFileRequestPathBytes = 64;
inline constexpr int kFastPlayMode = 2;
inline constexpr int kFastPlayFactor = 4;

struct FileRequest {
    int mode = 0;  // 2: fast play
    std::uint32_t start_s = 0;
    std::string path;
};

// Decodes a 76-byte request. False when the path is empty or has no terminating zero
// within its 64 bytes (such a request names nothing and is refused).
bool parse_file_request(const std::uint8_t* bytes, FileRequest& out);

// The DVR's path of a recording, as the client builds it from the day index:
// "D:\dvr_media\video\09-03-07\camera 03\09-03-07-10-15-00-03.dvr".
std::string recording_path(const SimRecording& recording);

// The recording whose path is exactly `path`, or null.
const SimRecording* find_recording(const Scenario& scenario, std::string_view path);

// Which frames a request gets: video frame i of a recording lies i x 40 ms after its start.
// The first frame is the key frame at or before the offset, so a client can decode at once.
struct FilePlan {
    std::int64_t first_frame = 0;
    std::int64_t end_frame = 0;  // one past the last frame
    int speed = 1;               // 4 in fast mode
};
FilePlan plan_file_stream(const SimRecording& recording, std::uint32_t start_s, int mode, int gop);

// Milliseconds after the stream's first frame at which frame `index` is due.
inline std::int64_t file_frame_due_ms(const FilePlan& plan, std::int64_t index) {
    return (index - plan.first_frame) * kRecordingFrameMs / plan.speed;
}

}  // namespace dvrsim
