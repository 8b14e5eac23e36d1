#pragma once
// Opening and closing live panes: a LiveSlot per pane, made whole, registered in the
// application state, connected to its DVR and torn down so that no thread outlives it.
#include <list>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

#include "net/stream/live_stream.h"
#include "platform/ports/main_controls.h"
#include "platform/ports/message_box.h"
#include "view/app_state.h"
#include "view/panes.h"

namespace orvel::view {

// How long a close waits for a receiving thread before handing the slot to the reaper.
inline constexpr int kReceiveThreadWaitMs = 2000;

class LivePanes {
public:
    // All references must outlive this object. UI thread.
    LivePanes(AppState& state, PaneLayoutHooks& layout, platform::MessageBoxPort& messages,
              platform::MainControlsPort* controls, const net::LiveStreamEnv& env);
    // Closes every live pane and waits for every thread it started.
    ~LivePanes();
    LivePanes(const LivePanes&) = delete;
    LivePanes& operator=(const LivePanes&) = delete;

    // Opens DVR `address` channel `channel` (stream port = command_port + 1) in a chosen pane;
    // the caption is the part of `camera_item_text` after "--" (the whole text when it has
    // none). Returns the pane, or -1 (after a message only when no pane is free).
    // UI thread.
    int open_live_pane(std::string_view address, int command_port, int channel,
                       std::string_view camera_item_text, bool record);

    // Closes the live pane: its threads stop, its decoders are destroyed, the slot is freed
    // (or, if a thread is late, freed by the reaper once it has ended), the pane becomes free.
    // False when the pane holds no live slot. UI thread.
    bool close_live_pane(int pane);

    void close_all();

    // Slots whose threads did not end in time and wait to be freed. Any thread.
    int retired_slots() const;

private:
    // Stops the slot's threads and destroys its decoders; hands it to the reaper when a
    // thread is still running.
    void release_live_slot(std::unique_ptr<LiveSlot> slot);
    void reap(bool wait_all);

    AppState& state_;
    PaneLayoutHooks& layout_;
    platform::MessageBoxPort& messages_;
    platform::MainControlsPort* controls_;
    const net::LiveStreamEnv& env_;

    struct Retired {
        std::thread reaper;
        std::shared_ptr<std::atomic<bool>> done;
    };
    mutable std::mutex retired_mutex_;
    std::list<Retired> retired_;
};

// The caption of a camera item: the text after the first "--", or the whole text.
std::string_view caption_from_item_text(std::string_view item_text);

}  // namespace orvel::view
