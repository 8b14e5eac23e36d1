#pragma once
// The remote-playback panes: what the timeline asks of them (media::RemotePaneHooks), fast
// play, the pane menu's "play", "stop" and "record" on them, and the pane-finished report.
//
// A remote pane is a RemoteFileSlot (UI side, registered in the application state) and, while
// it plays a recording, a RemotePane (network and pipeline sides). Every (re)open of a
// recording - a seek, the next recording, fast play switched - makes a new RemotePane: the
// previous stream is closed first (which also ends a running saving), so a stream's frames
// never mix with another's. Nothing here waits on the network: a recording that cannot be
// opened is reported later, on the UI thread, and the pane says "connect failed".
//
// Thread: UI thread, every function.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "media/record_writer.h"
#include "media/timeline/remote_pane_hooks.h"
#include "pane/pipeline_env.h"
#include "pane/remote_pane.h"
#include "platform/ports/main_controls.h"
#include "platform/ports/message_box.h"
#include "view/app_state.h"
#include "view/panes.h"

namespace orvel::pane {

inline constexpr const char* kRemoteCaptionPrefix = "Remote File : ";

class RemotePanes final : public media::RemotePaneHooks {
public:
    struct Links {
        // Text of the searched site's tree item of `camera` (1-based); empty when none.
        std::function<std::string(int camera)> camera_text;
        // The DVR ended pane `pane`'s stream (camera index 0-based): the main window's
        // pane-finished message 32770.
        std::function<void(int pane, int camera_index)> finished;
        // The main window's playback controls follow a pane's change.
        std::function<void()> refresh_controls;
        // Where saved copies are written (null: "record" does nothing).
        media::RecordWriter* writer = nullptr;
    };

    // All references must outlive this object.
    RemotePanes(view::AppState& state, view::PaneLayoutHooks& layout,
                platform::MessageBoxPort& messages, platform::MainControlsPort* controls,
                const PipelineEnv& env, Links links);
    // Closes every remote pane.
    ~RemotePanes() override;
    RemotePanes(const RemotePanes&) = delete;
    RemotePanes& operator=(const RemotePanes&) = delete;

    // media::RemotePaneHooks (cameras 1-based).
    bool open_remote_pane(int camera) override;
    bool play_remote_file(int camera, const std::string& dvr_path, int segment_start_s,
                          int offset_s) override;
    void stop_remote_pane(int camera) override;
    void close_remote_pane(int camera) override;
    int remote_recording_count() override;
    int playing_time_s() override;

    // Control 1028: flips fast play and reopens every playing recording at its position in
    // the new mode. Refused (false, nothing changes) without a timeline or while a remote
    // pane is being saved. The new state is in AppState::fast_play.
    bool fast_play_toggle(bool timeline_exists);
    // Timer 2: true when fast play is on while a live pane shows the DVR of the first remote
    // pane that plays (the main window then switches fast play off and re-seeks).
    bool fast_play_meets_live() const;
    // Pane menu "record" (32813) on remote pane `pane`: starts saving what it plays (from
    // the next key frame) or stops the saving. False when the pane has no stream to save.
    bool record_toggle(int pane);
    // Pane menu "play" (32790): a held pane runs again.
    void resume(int pane);
    // Closes the pane of `pane` (pane menu "stop"); its camera number or 0.
    int close_pane(int pane);
    void close_all();

    // The pane showing `camera` (1-based), or -1.
    int pane_of(int camera) const;
    // Whether the pane's recording is being streamed now.
    bool plays(int pane) const;
    // Seconds of the day of the picture pane `pane` showed last; -1 when none.
    int pane_time_s(int pane) const;
    const RemotePane* pipeline(int pane) const;
    // The saving of a pane, or null.
    const media::RemoteSaving* saving(int pane) const;

private:
    bool start_stream(int pane, int offset_s);
    void stop_stream(int pane);
    void end_saving(int pane);
    void stream_finished(int pane, uint64_t generation);
    void open_failed(int pane, uint64_t generation);

    view::AppState& state_;
    view::PaneLayoutHooks& layout_;
    platform::MessageBoxPort& messages_;
    platform::MainControlsPort* controls_;
    const PipelineEnv& env_;
    Links links_;
    std::array<std::unique_ptr<RemotePane>, view::kMaxPanes> pipelines_;
    std::array<std::shared_ptr<media::RemoteSaving>, view::kMaxPanes> savings_;
    std::array<uint64_t, view::kMaxPanes> generation_{};
    uint64_t next_generation_ = 1;
};

}  // namespace orvel::pane
