#pragma once
// The decode-and-display threads of live panes.
//
// Each takes frames out of its slot's ring in order, decodes video through the decoder table,
// burns in the stamp and hands the picture to the renderer of the current display mode; audio
// of the heard pane goes to the wave output. A thread ends within one pass of its slot's
// run_state becoming 0.
#include "view/display/display_env.h"

namespace orvel::view {

struct LiveSlot;

// Thread procedures: run on their own thread until run_state is 0. Return 0.
int live_display_thread(LiveSlot& slot, const DisplayEnv& env);
int dual_stream_display_thread(LiveSlot& slot, const DisplayEnv& env);

// Software-path destination of a pane's picture: the pane rectangle less one pixel on the
// right and bottom, or the whole video area (or full-screen window) in the full view.
platform::Rect software_dest_rect(const LiveSlot& slot, const AppState& state);

}  // namespace orvel::view
