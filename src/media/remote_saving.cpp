#include "media/remote_saving.h"

#include "media/record_paths.h"

namespace orvel::media {

namespace {

std::string saving_label(const std::string& address, int camera, int pane) {
    return "saving " + address + " camera " + std::to_string(camera) + " (pane " +
           std::to_string(pane) + ")";
}

}  // namespace

RemoteSaving::RemoteSaving(std::shared_ptr<WriterCore> core, const RecorderEnv& env, int pane,
                           std::string site_address, std::string dvr_path, int camera,
                           const uint8_t* stream_header, std::size_t queue_bytes)
    : RecordingJob(std::move(core), env, pane, site_address, queue_bytes,
                   saving_label(site_address, camera, pane)),
      dvr_path_(std::move(dvr_path)),
      camera_(camera) {
    // Frames before the first key frame are not part of the copy.
    set_file_wanted(false);
    this->stream_header(stream_header);
}

void RemoteSaving::on_header(int64_t /*wall_ms*/) {
    if (first_header_) {
        first_header_ = false;
        return;
    }
    end_copy();  // a new stream on the pane: this copy is complete
}

void RemoteSaving::end_copy() {
    if (ended_) return;
    ended_ = true;
    finish_file();
    set_file_wanted(false);
    request_stop();
}

void RemoteSaving::on_video_key(const uint8_t* frame, int64_t wall_ms) {
    if (ended_ || file_open() || (tried_ && wall_ms < retry_at_ms())) return;
    tried_ = true;
    set_file_wanted(true);
    // Named after the copy's first picture: its PackedDateTime, else the PC's time.
    const uint32_t packed = parse_record_header(frame, dual()).packed_datetime;
    const LocalTime t = packed_local_time(packed).value_or(env_.clock->local(wall_ms));
    const auto pieces = split_dvr_recording_path(dvr_path_);
    const DvrPathPieces copy = pieces ? DvrPathPieces{pieces->date_folder, pieces->camera,
                                                      remote_copy_file_name(pieces->file_name, t)}
                                      : remote_copy_pieces(camera_, t);
    const char disk = record_disk_letter(*env_.ini);
    open_file(disk, remote_copy_folder(disk, address(), copy.date_folder, copy.camera),
              copy.file_name, wall_ms);
}

}  // namespace orvel::media
