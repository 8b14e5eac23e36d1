#include "app/dispatcher.h"

#include <array>

#include "app/command_ids.h"

namespace orvel::app {

namespace {

using O = CommandOwner;

constexpr std::array<CommandEntry, 42> kCommands{{
    {id::kSettings, id::kSettings, "settings_dialog", O::settings},
    {id::kExit, id::kExit, "exit", O::shell},
    {id::kSplit9, id::kSplit9, "split_change_9", O::layout},
    {id::kSplit4, id::kSplit4, "split_change_4", O::layout},
    {id::kSplit16, id::kSplit16, "split_change_16", O::layout},
    {id::kSplit25, id::kSplit25, "split_change_25", O::layout},
    {id::kSplit36, id::kSplit36, "split_change_36", O::layout},
    {id::kFullScreen, id::kFullScreen, "enter_full_screen", O::layout},
    {id::kAudioButton, id::kAudioButton, "audio_menu_popup", O::audio},
    {id::kAudioSilence, id::kAudioSilence, "audio_select_pane", O::audio},
    {id::kAudioChannelBase, id::kAudioChannelLast, "audio_select_pane", O::audio},
    {id::kFastPlay, id::kFastPlay, "fast_play_toggle", O::remote},
    {id::kOpenFile, id::kOpenFile, "open_local_file", O::playback},
    {id::kPhoto, id::kPhoto, "snapshot_selected_pane", O::snapshots},
    {id::kPrint, id::kPrint, "print_selected_pane", O::snapshots},
    {id::kConnect, id::kConnect, "connect_dialog", O::sites},
    {id::kSelectCamera, id::kSelectCamera, "select_camera_toggle", O::camera_control},
    {id::kMinimise, id::kMinimise, "minimise", O::shell},
    {id::kStop, id::kStop, "local_stop", O::playback},
    {id::kPlayPause, id::kPlayPause, "local_play_pause", O::playback},
    {id::kSpeedPlay, id::kSpeedPlay, "local_speed_play", O::playback},
    {id::kFrameStep, id::kFrameStep, "local_frame_step", O::playback},
    {id::kZoom, id::kZoom, "zoom_toggle", O::layout},
    {id::kPanePlay, id::kPanePlay, "pane_resume", O::playback},
    {id::kPaneStop, id::kPaneStop, "pane_stop", O::live_view},
    {id::kPaneSpeed2, id::kPaneSpeed4, "pane_speed", O::playback},
    {id::kPaneZoom, id::kPaneZoom, "pane_zoom", O::layout},
    {id::kStreamPlay, id::kStreamPlay, "play_camera", O::sites},
    {id::kStreamStop, id::kStreamStop, "stop_camera", O::sites},
    {id::kStreamPlayRecord, id::kStreamPlayRecord, "play_record_camera", O::sites},
    {id::kSiteRemoteFiles, id::kSiteRemoteFiles, "remote_file_search", O::remote},
    {id::kControlFullScreen, id::kControlFullScreen, "full_screen_menu", O::layout},
    {id::kSiteDelete, id::kSiteDelete, "delete_site", O::sites},
    {id::kSiteStopPlay, id::kSiteStopPlay, "stop_play_site", O::sites},
    {id::kPanePhoto, id::kPanePhoto, "pane_snapshot", O::snapshots},
    {id::kSitePlayAll, id::kSitePlayAll, "play_all_site", O::sites},
    {id::kSiteDisplayFiles, id::kSiteDisplayFiles, "timeline_show_hide", O::timeline},
    {id::kSiteDisconnect, id::kSiteDisconnect, "disconnect_site", O::sites},
    {id::kPaneRecord, id::kPaneRecord, "pane_record_toggle", O::recording},
    {id::kSiteDefault, id::kSiteDefault, "default_connection", O::sites},
    {id::kPresetBase, id::kPresetLast, "camera_preset", O::camera_control},
    {id::kPresetTour, id::kPresetTour, "camera_preset_tour", O::camera_control},
}};

int entry_index(int id) {
    for (std::size_t i = 0; i < kCommands.size(); ++i) {
        if (id >= kCommands[i].first_id && id <= kCommands[i].last_id) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

std::span<const CommandEntry> command_table() { return kCommands; }

const CommandEntry* find_command(int id) {
    const int i = entry_index(id);
    return i < 0 ? nullptr : &kCommands[static_cast<std::size_t>(i)];
}

CommandDispatcher::CommandDispatcher() : handlers_(kCommands.size()) {}

bool CommandDispatcher::set_handler(int id, CommandHandler handler) {
    const int i = entry_index(id);
    if (i < 0) return false;
    handlers_[static_cast<std::size_t>(i)] = std::move(handler);
    return true;
}

bool CommandDispatcher::is_built(int id) const {
    const int i = entry_index(id);
    return i >= 0 && static_cast<bool>(handlers_[static_cast<std::size_t>(i)]);
}

bool CommandDispatcher::dispatch(int id) const {
    const int i = entry_index(id);
    if (i < 0) return false;
    const CommandHandler& handler = handlers_[static_cast<std::size_t>(i)];
    if (!handler) return false;
    handler(id);
    return true;
}

}  // namespace orvel::app
