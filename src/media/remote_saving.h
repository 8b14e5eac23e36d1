#pragma once
// Saving what a remote-playback pane plays: one .dvr copy of the DVR recording's stream,
// under <disk>:\dvr_media\video\<site address>\<date>\camera NN\<name> (threads, queue and
// faults: recording_job.h).
//
// The UI starts it (RecordWriter::start_remote) with the stream header the pane is playing
// and the recording's DVR path; the pane's network side then hands it every frame. The copy
// begins at the first video key frame (its first record has time 0) and has its own header
// block; the date folder, camera and name come from the DVR path, the name's date and time
// from that first key frame, so the copy is named after the moment it begins. The DVR path
// itself is only read: a later request for the recording sends it unchanged.
//
// The copy ends when the UI stops it, when the stream ends (the DVR closed the recording or
// the connection was lost) or when a new stream begins on the pane (a reopen): the file is
// finished and the saving is over (status().finished). A file that cannot be created or
// written is reported once; a key frame a minute later tries a new file.
#include <memory>
#include <string>

#include "media/recording_job.h"

namespace orvel::media {

class RemoteSaving final : public RecordingJob {
public:
    // `camera` is 1-based (names a copy whose DVR path has another layout, and log lines).
    // `stream_header` (28 bytes) is the header of the stream the pane plays now.
    RemoteSaving(std::shared_ptr<WriterCore> core, const RecorderEnv& env, int pane,
                 std::string site_address, std::string dvr_path, int camera,
                 const uint8_t* stream_header, std::size_t queue_bytes);

    // The DVR path the copy is cut from, exactly as given.
    const std::string& dvr_path() const { return dvr_path_; }
    int camera() const { return camera_; }

private:
    // Writer thread.
    void on_header(int64_t wall_ms) override;
    void on_video_key(const uint8_t* frame, int64_t wall_ms) override;
    void on_stream_end() override { end_copy(); }
    void end_copy();

    const std::string dvr_path_;
    const int camera_;
    // Writer thread only.
    bool first_header_ = true;
    bool tried_ = false;  // a file was tried (the copy has begun)
    bool ended_ = false;
};

}  // namespace orvel::media
