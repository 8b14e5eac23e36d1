#pragma once
// What a display thread needs besides its own slot: the process state it reads and the two
// renderer paths. Set up once by the UI thread before any pane opens.
#include "view/render/renderer_port.h"

namespace orvel::view {

struct AppState;

struct DisplayEnv {
    AppState* state = nullptr;             // audio pane, display mode, full view, selection
    GpuRenderer* gpu = nullptr;            // null: the GPU path draws nothing
    SoftwareBlitter* blitter = nullptr;    // null: the software path draws nothing
};

}  // namespace orvel::view
