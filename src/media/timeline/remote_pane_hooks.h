// What the timeline asks of the remote-playback panes. The pane pipeline's remote panes
// (pane::RemotePanes) implement it; the defaults below refuse every pane (a timeline
// without panes behind it draws, but plays nothing).
// Thread: UI thread only, every function.
#pragma once

#include <string>

namespace orvel::media {

class RemotePaneHooks {
public:
    virtual ~RemotePaneHooks() = default;
    // Makes a remote-file pane for `camera` (1-based) without a stream yet. False when no
    // pane is free (the implementation shows "not picture can use,please stop play").
    virtual bool open_remote_pane(int /*camera*/) { return false; }
    // (Re)opens, in every pane showing `camera`, the DVR recording `dvr_path` (the path of
    // the 76-byte request) from `offset_s` into it; `segment_start_s` is the recording's
    // start in seconds of the day. The implementation stops what the pane played first.
    // False when the recording could not be opened.
    virtual bool play_remote_file(int /*camera*/, const std::string& /*dvr_path*/,
                                  int /*segment_start_s*/, int /*offset_s*/) {
        return false;
    }
    // Stops the camera's stream and clears its pane; the pane stays open.
    virtual void stop_remote_pane(int /*camera*/) {}
    // Stops the camera's stream (finishing a running save) and frees its pane.
    virtual void close_remote_pane(int /*camera*/) {}
    // Number of remote panes being saved to disk.
    virtual int remote_recording_count() { return 0; }
    // Seconds of the day of the last remote pane (in pane order) that plays, from the time
    // of the frame it showed last; -1 when none plays.
    virtual int playing_time_s() { return -1; }
};

}  // namespace orvel::media
