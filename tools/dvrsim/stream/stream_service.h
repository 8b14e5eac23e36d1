// The simulated DVR's stream port: one connection per camera channel. After the 12-byte
// request it sends the 28-byte stream header and then frames at 25 per second (and G.721
// audio frames at their real rate) from loops encoded once per camera and reused by every
// connection, so dozens of cameras cost little.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "stream/encoders.h"

namespace dvrsim {

enum class StreamKind { mpeg4, c4321, dual };

struct StreamSettings {
    StreamKind kind = StreamKind::mpeg4;
    int width = 352;  // picture size; for dual streams the sub stream's (320 or 352 wide)
    int height = 288;
    int32_t codec_marker = 0;  // sent as is; 4321 and 1234 follow from the kind
    bool audio = true;
    // Size the header announces when it should lie about the pictures (0: their own size).
    int header_width = 0;
    int header_height = 0;
};

// Fault switches of stream connections (0 = off; times from the connection's start).
struct StreamFaults {
    int drop_after_ms = 0;   // close the connection
    int stall_after_ms = 0;  // keep the connection but send nothing more
    // Send one frame larger than a client's ring entry, then close. Only a dual stream can
    // announce it: the standard form's 16-bit length field keeps the low bits only.
    int oversize_after_ms = 0;
    int garbage_after_ms = 0;  // send random bytes instead of frames, then close
    int header_delay_ms = 0;   // wait this long after the request before the header (a slow DVR)
    // Send a frame's header and half its payload, then nothing more (a DVR that hangs in
    // the middle of a frame); the connection stays open until the client closes it.
    int stall_mid_frame_after_ms = 0;
    int camera = 0;  // the faults hit only this camera's connections (0: every camera)
    bool hits(int channel) const { return camera == 0 || camera == channel; }
};

struct StreamConfig {
    int camera_count = 16;
    StreamSettings defaults;
    std::map<int, StreamSettings> per_camera;  // by 1-based camera number
    // Every second connection of a camera (the 2nd, 4th, ...) gets these settings instead:
    // a DVR whose stream header changes size or codec between reconnects.
    std::map<int, StreamSettings> alternate;
    StreamFaults faults;
    int loop_frames = 50;  // two seconds per loop
    int gop = 25;
    const StreamSettings& settings_for(int camera) const;
};

// Main-stream selection of dual-stream channels, set by the command port (types 60 and 61)
// and read by the stream connections. Any thread.
class StreamSelectBoard {
public:
    void select_main(uint32_t stream_id, bool main);
    bool main_selected(uint32_t stream_id) const;

private:
    mutable std::mutex mutex_;
    std::map<uint32_t, bool> main_;
};

// Stream id a dual-stream camera announces in its header (and expects back in selects).
inline uint32_t stream_id_for(int camera) { return 0x100u + static_cast<uint32_t>(camera); }

// Loops encoded on first use and kept for the life of the server. Any thread.
class StreamLibrary {
public:
    struct Loop {
        std::vector<EncodedFrame> frames;
    };
    explicit StreamLibrary(const StreamConfig& config) : config_(config) {}
    // Video loop of a camera at a size and kind; null with `error` on failure.
    std::shared_ptr<const Loop> video(int camera, StreamKind kind, int width, int height,
                                      std::string& error);
    // G.721 codes shared by every camera.
    std::shared_ptr<const std::vector<uint8_t>> audio(std::string& error);
    // Valid stream requests received so far (every connection that named a known channel).
    int requests() const { return requests_.load(); }
    void count_request() { requests_.fetch_add(1); }
    // Counts a connection of `camera` and returns how many came before it.
    int next_connection(int camera);

private:
    const StreamConfig& config_;
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const Loop>> loops_;
    std::shared_ptr<const std::vector<uint8_t>> audio_;
    std::map<int, int> connections_;  // by camera, guarded by mutex_
    std::atomic<int> requests_{0};
};

using StreamLog = std::function<void(const std::string&)>;

// The channel a 12-byte stream request names (bytes 4-7), not yet checked.
int32_t requested_channel(const uint8_t* request);
// Codec marker a camera's header carries: 1234 dual, 4321 codec 4321, else the settings' own.
int32_t marker_for(const StreamSettings& settings);
// The 28-byte stream header a camera's connection starts with.
using StreamHeaderBytes = std::array<uint8_t, 28>;
StreamHeaderBytes stream_header_for(const StreamSettings& settings, int channel);

// Serves one accepted stream connection until the client goes away, a fault ends it or
// `stopping` is set; never trusts the request. Closes nothing: the caller owns `fd`.
void serve_stream_connection(int fd, const StreamConfig& config, StreamLibrary& library,
                             const StreamSelectBoard& board, const std::atomic<bool>& stopping,
                             const StreamLog& log);

// Helpers shared by the stream and file ports. Thread: any.
// Sends all bytes (blocking); false when the peer is gone or the send timed out.
bool send_all(int fd, const uint8_t* data, size_t length);
// Receives exactly `length` bytes within `timeout_ms`; false on timeout, error or close.
bool receive_within(int fd, uint8_t* into, size_t length, int timeout_ms);
// True when the peer has closed (so a stalled connection ends once the client gives up).
bool peer_closed(int fd);
// Sleeps until `when` in steps short enough to notice a stop; false when stopped.
bool sleep_until(std::chrono::steady_clock::time_point when, const std::atomic<bool>& stopping);
// Appends one frame: a 12-byte standard header (16-bit length) or a 16-byte dual header
// (32-bit length), then the payload.
void append_frame(std::vector<uint8_t>& out, bool dual, uint8_t first, uint32_t capture_ms,
                  uint32_t packed, const uint8_t* payload, uint32_t length);

// Frame pacing of the simulated streams: 25 pictures per second, a 3,072-byte G.721 audio
// frame every 768 ms.
inline constexpr int kFrameIntervalMs = 40;
inline constexpr int kAudioFrameBytes = 3072;
inline constexpr int kAudioFrameMs = kAudioFrameBytes * 2 * 1000 / 8000;

// PackedDateTime of a calendar time: year in the century, month, day, hour, minute, second.
uint32_t packed_date_time(int year, int month, int day, int hour, int minute, int second);

}  // namespace dvrsim
