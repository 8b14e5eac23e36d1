#include "pane/dual_switch.h"

namespace orvel::pane {

DualAction dual_switch_step(DualSwitchState& s, DualFrameClass frame_class, bool key_frame,
                            int& request) {
    if (frame_class == DualFrameClass::main) {
        if (!s.showing_main) {
            if (request != 1 || !key_frame) return DualAction::drop;
            request = 0;
            s.showing_main = true;
            s.showing_sub = false;
        }
        return DualAction::show_main;
    }
    if (s.showing_sub) return DualAction::show_sub;
    if (request != 2 || !key_frame) return DualAction::drop;
    if (s.switch_counter < 2) {
        ++s.switch_counter;
        return DualAction::decode_hidden;
    }
    request = 0;
    s.switch_counter = 0;
    s.showing_sub = true;
    s.showing_main = false;
    return DualAction::show_sub;
}

}  // namespace orvel::pane
