#pragma once
// What every pane pipeline shares: the process state it reads, the two renderer paths, the
// threads, the stream connections, and the ports it reports through.
#include <cstdint>
#include <functional>

#include "view/render/renderer_port.h"

namespace orvel::view {
struct AppState;
}
namespace orvel::net {
class StreamHub;
}

namespace orvel::pane {

class PaneWorkers;

// Runs work on the user-interface thread later, in the order posted. Never waits and never
// drops a call while its receiver lives. Any thread.
class UiPost {
public:
    virtual ~UiPost() = default;
    virtual void post(std::function<void()> fn) = 0;
};

// The display side's one place where a snapshot request takes a picture: the next picture a
// pane decodes after its snapshot_requested flag was set, before the stamp is burned in,
// packed YUY2 (stride width * 2). `software_path` tells which display path runs (the snapshot
// is written in that path's pixel format). Pane pipeline (a worker thread); the picture is
// only valid during the call.
class SnapshotTaker {
public:
    virtual ~SnapshotTaker() = default;
    virtual void take(int pane, const uint8_t* yuy2, int width, int height, bool software_path) = 0;
};

// Set up by the UI thread before the first pane opens; unchanged while any pane runs.
struct PipelineEnv {
    view::AppState* state = nullptr;           // audio pane, display mode, full view, selection
    view::GpuRenderer* gpu = nullptr;          // null: the GPU path draws nothing
    view::SoftwareBlitter* blitter = nullptr;  // null: the software path draws nothing
    PaneWorkers* workers = nullptr;
    net::StreamHub* hub = nullptr;
    UiPost* ui = nullptr;                // null: failures are not reported back
    SnapshotTaker* snapshots = nullptr;  // null: snapshot requests are dropped
};

}  // namespace orvel::pane
