#pragma once
// Export of a .dvr recording to a file any player opens: MP4 (MPEG-4 video, AAC sound) or,
// for a name ending in ".mkv", Matroska (MPEG-4 video, 16-bit PCM sound).
//
// MPEG-4 recordings (the XviD dual form included) are copied without re-encoding; each
// picture keeps its record time as its timestamp (milliseconds from the first key frame).
// Codec-4321 recordings are decoded and encoded again as MPEG-4 Part 2 with a fixed
// quantiser (3 by default: close to the source, about 3 to 4 times the bit rate of the DVR's
// own stream). The G.721 sound is decoded and encoded once, continuous from the video picture
// it follows.
//
// An export takes seconds to minutes: the program runs it on a worker thread and follows it
// through an ExportProgress. A cancelled or failed export removes the file it was writing.
#include <atomic>
#include <cstdint>
#include <string>

namespace orvel::media {

struct ExportOptions {
    int mpeg4_quantiser = 3;  // for codec-4321 recordings: 2 (best) to 31
};

// Shared between the exporting thread and any other (the UI's progress bar and cancel).
struct ExportProgress {
    // Written by the exporting thread: 0 to 1000, growing; 1000 once the output is complete.
    std::atomic<int> permille{0};
    // Set by any thread: the export stops at the next record and returns `cancelled`.
    std::atomic<bool> cancel{false};
};

struct ExportResult {
    uint64_t video_frames = 0;
    uint64_t audio_blocks = 0;  // 512-byte G.721 records, 1024 samples each
    uint32_t duration_ms = 0;   // of the video
    bool reencoded = false;
    bool truncated_tail = false;
    std::string error;  // what went wrong when the result is not ok
};

enum class ExportStatus { ok, input_unusable, damaged, no_video, output_failed, cancelled };

// Runs on the calling thread until the export is done. `progress` may be null.
ExportStatus export_dvr(const std::string& input, const std::string& output,
                        const ExportOptions& options, ExportResult& result,
                        ExportProgress* progress = nullptr);

}  // namespace orvel::media
