#pragma once
// The live recording of one pane: hourly .dvr files of the pane's channel under
// <disk>:\dvr_media\video\<address>\<yy-mm-dd>\camera NN\ (threads, queue and faults:
// recording_job.h).
//
// A stream header begins a new file, a stream end (lost connection) finishes it, and the
// first video key frame of a new local hour finishes the file and begins the next. After a
// failure the next file change, or a key frame a minute later, tries again.
#include <memory>
#include <string>

#include "media/recording_job.h"

namespace orvel::media {

class PaneRecording final : public RecordingJob {
public:
    PaneRecording(std::shared_ptr<WriterCore> core, const RecorderEnv& env, int pane,
                  std::string address, int channel, std::size_t queue_bytes);

    int channel() const { return channel_; }

private:
    // Writer thread.
    void on_header(int64_t wall_ms) override;
    void on_video_key(const uint8_t* frame, int64_t wall_ms) override;
    void on_stream_end() override { finish_file(); }
    void open_hour_file(int64_t wall_ms);

    const int channel_;
    // Writer thread only.
    LocalTime file_hour_;  // local time at which the current file was begun (or tried)
    bool file_hour_set_ = false;
};

}  // namespace orvel::media
