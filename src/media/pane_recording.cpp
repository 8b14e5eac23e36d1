#include "media/pane_recording.h"

#include "media/record_paths.h"

namespace orvel::media {

namespace {

std::string live_label(const std::string& address, int channel, int pane) {
    return "recording " + address + " channel " + std::to_string(channel) + " (pane " +
           std::to_string(pane) + ")";
}

}  // namespace

PaneRecording::PaneRecording(std::shared_ptr<WriterCore> core, const RecorderEnv& env, int pane,
                             std::string address, int channel, std::size_t queue_bytes)
    : RecordingJob(std::move(core), env, pane, address, queue_bytes,
                   live_label(address, channel, pane)),
      channel_(channel) {}

void PaneRecording::open_hour_file(int64_t wall_ms) {
    const LocalTime t = env_.clock->local(wall_ms);
    file_hour_ = t;
    file_hour_set_ = true;
    const char disk = record_disk_letter(*env_.ini);
    open_file(disk, live_recording_folder(disk, address(), channel_, t),
              live_recording_file_name(channel_, t), wall_ms);
}

void PaneRecording::on_header(int64_t wall_ms) {
    finish_file();
    open_hour_file(wall_ms);
}

void PaneRecording::on_video_key(const uint8_t* /*frame*/, int64_t wall_ms) {
    const LocalTime now = env_.clock->local(wall_ms);
    const bool new_hour = !file_hour_set_ || !same_local_hour(file_hour_, now);
    if (file_open() && new_hour) {
        finish_file();
        open_hour_file(wall_ms);
    } else if (!file_open() && (new_hour || wall_ms >= retry_at_ms())) {
        open_hour_file(wall_ms);
    }
}

}  // namespace orvel::media
