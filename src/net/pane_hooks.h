// Pane operations that the site and tree commands call, collected in this one place. The
// live view fills them in (the remote-recording ones are still the empty defaults below).
// Thread: the UI thread, except the two notifications marked with the reader thread, which the
// command connection's reader calls as replies arrive.
#pragma once

#include <cstdint>

namespace orvel::net {

struct LiveCameraTarget {
    const char* address = "";  // the DVR address of the camera's site
    int command_port = 0;      // port1 of the site; the stream port is port1 + 1
    int camera = 0;            // 1-based camera number
};

class PaneHooks {
public:
    virtual ~PaneHooks() = default;
    // Opens the camera in a free pane (growing the grid when needed) and returns the
    // pane index, or -1 when it could not (not built yet: always -1).
    virtual int open_live_pane(const LiveCameraTarget& /*target*/, bool /*record*/) { return -1; }
    // Closes a live pane, finishing its local recording.
    virtual void close_live_pane(int /*pane*/) {}
    // True when the pane shows a live channel.
    virtual bool pane_is_live(int /*pane*/) { return false; }
    // Returns from the one-pane full view to the grid (sending the sub-stream select
    // for a dual-stream pane).
    virtual void leave_full_view() {}
    // Sets the split to n x n panes (auto-play growth).
    virtual void set_split(int /*grid_side*/) {}
    // Number of panes in use.
    virtual int open_pane_count() { return 0; }
    // Makes `pane` the selected pane.
    virtual void select_pane(int /*pane*/) {}
    // Closes the remote-file panes of a site and destroys the timeline window.
    virtual void close_timeline_for(const char* /*address*/, int /*command_port*/) {}
    // A day-index reply was parsed (the timeline redraws 400 ms later). Thread: the
    // connection's reader thread.
    virtual void day_index_changed() {}
    // New recording-day masks arrived (the Date dialog redraws). Thread: reader thread.
    virtual void recording_days_changed() {}
};

}  // namespace orvel::net
