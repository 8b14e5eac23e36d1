#pragma once
// Opening and closing live panes: a LiveSlot (the UI side, registered in the application
// state) and a LivePane (the network and pipeline sides) per pane. Opening never waits on the
// network: the pane shows "connecting" while the network thread connects and reads the stream
// header. A pane whose first connection fails is closed again, as a failed open.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "net/stream/stream_recorder.h"
#include "pane/live_pane.h"
#include "pane/pipeline_env.h"
#include "platform/ports/main_controls.h"
#include "platform/ports/message_box.h"
#include "view/app_state.h"
#include "view/panes.h"

namespace orvel::pane {

class LivePanes {
public:
    // All references must outlive this object. UI thread.
    LivePanes(view::AppState& state, view::PaneLayoutHooks& layout,
              platform::MessageBoxPort& messages, platform::MainControlsPort* controls,
              const PipelineEnv& env);
    // Closes every live pane.
    ~LivePanes();
    LivePanes(const LivePanes&) = delete;
    LivePanes& operator=(const LivePanes&) = delete;

    // Opens DVR `address` channel `channel` (stream port = command_port + 1) in a chosen pane
    // and starts connecting; the caption is the part of `camera_item_text` after "--" (the
    // whole text when it has none). Returns the pane, or -1 (after a message only when no
    // pane is free). UI thread.
    int open_live_pane(std::string_view address, int command_port, int channel,
                       std::string_view camera_item_text, bool record);

    // Closes the live pane: its connection and pipeline stop, its decoders are destroyed, the
    // slot is freed and the pane becomes free. False when the pane holds no live slot.
    // UI thread.
    bool close_live_pane(int pane);
    void close_all();

    // The pipeline of a live pane, or null. UI thread.
    const LivePane* pipeline(int pane) const;

    // UI thread: after a pane whose first connection failed has been closed (its camera is
    // no longer playing).
    std::function<void(int pane)> on_open_failed;
    // UI thread: the recorder of a pane opened with recording, or null (recording is then
    // not available and the pane only plays). It must outlive the pane.
    std::function<net::StreamRecorder*(const view::LiveSlot& slot)> recorder_for;
    // UI thread: the pane's connection and pipeline have closed (its recorder is no longer
    // fed and may go).
    std::function<void(int pane)> on_closed;

private:
    void open_failed(int pane, uint64_t generation);

    view::AppState& state_;
    view::PaneLayoutHooks& layout_;
    platform::MessageBoxPort& messages_;
    platform::MainControlsPort* controls_;
    const PipelineEnv& env_;
    std::array<std::unique_ptr<LivePane>, view::kMaxPanes> pipelines_;
    std::array<uint64_t, view::kMaxPanes> generation_{};
    uint64_t next_generation_ = 1;
};

// The caption of a camera item: the text after the first "--", or the whole text.
std::string_view caption_from_item_text(std::string_view item_text);

}  // namespace orvel::pane
