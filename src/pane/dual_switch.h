#pragma once
// Which stream a dual-stream live pane shows, frame by frame: a pure rule, run by the pane's
// pipeline on every video frame.
//
// The pane shows the sub stream until the UI thread asks for the main stream (request 1, when
// the pane is enlarged); the main picture is shown from the first main key frame on. Asked
// back (request 2), the sub stream returns at its third key frame: the DVR takes a moment
// to switch, and the two key frames before are decoded unseen so the decoder is warm. The
// third key frame itself is decoded and shown: every sub picture after it is predicted from
// it, and one skipped would smear the pane until the next key frame.

namespace orvel::pane {

enum class DualFrameClass { main, sub };

enum class DualAction {
    drop,           // neither decoded nor shown
    decode_hidden,  // decoded for the decoder's references, not shown
    show_sub,
    show_main,
};

struct DualSwitchState {
    bool showing_sub = true;
    bool showing_main = false;
    int switch_counter = 0;  // sub key frames met since the request to return
};

// `request`: the slot's switch request (0 none, 1 to main, 2 to sub), cleared here when the
// switch is done. Thread: the pane's pipeline.
DualAction dual_switch_step(DualSwitchState& state, DualFrameClass frame_class, bool key_frame,
                            int& request);

}  // namespace orvel::pane
