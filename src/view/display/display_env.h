#pragma once
// What a display thread needs besides its own slot: the process state it reads and the two
// renderer paths. Set up once by the UI thread before any pane opens.
#include "view/render/renderer_port.h"

namespace orvel::view {

struct AppState;

// The GPU path as the layout code sees it once it has been created: AppState::renderer points
// to one while the device exists, and is null in the software mode or after a failed create.
struct RendererState {
    GpuRenderer* gpu = nullptr;
};

struct DisplayEnv {
    AppState* state = nullptr;             // audio pane, display mode, full view, selection
    GpuRenderer* gpu = nullptr;            // null: the GPU path draws nothing
    SoftwareBlitter* blitter = nullptr;    // null: the software path draws nothing
};

}  // namespace orvel::view
