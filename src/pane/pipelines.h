#pragma once
// The threads every pane pipeline runs on: the network thread of all stream connections and
// the decode workers with their presentation clock. One per program, made before the first
// pane opens and destroyed after the last one closed. UI thread.
#include "net/stream/stream_hub.h"
#include "pane/pipeline_env.h"
#include "pane/workers.h"

namespace orvel::pane {

class PanePipelines {
public:
    // `workers` decode threads (0: one per core).
    explicit PanePipelines(view::AppState& state, int workers = 0) : workers_(workers) {
        env_.state = &state;
        env_.hub = &hub_;
        env_.workers = &workers_;
    }
    // The environment the panes share; renderers and ports are filled in by the owner before
    // the first pane opens.
    PipelineEnv& env() { return env_; }
    net::StreamHub& hub() { return hub_; }
    PaneWorkers& workers() { return workers_; }

private:
    net::StreamHub hub_;
    PaneWorkers workers_;
    PipelineEnv env_;
};

}  // namespace orvel::pane
