#pragma once
// Where every control of the main window sits in each screen mode, as plain data, so the
// window places its controls from it and tests check positions without a display.

#include <span>

#include "view/screen_mode.h"

namespace orvel::app {

enum class ControlKind { button, static_bitmap, static_text, tree, slider, combo, video_area };

struct ControlPlace {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct ControlLayout {
    int id = 0;
    ControlKind kind = ControlKind::button;
    ControlPlace place_1024;
    ControlPlace place_1280;
    bool initially_visible = true;
    int face = 0;            // normal face bitmap (0: none)
    int pressed_face = 0;    // face shown while pressed (0: none)
    int tooltip_string = 0;  // string-table id of the tooltip (0: none)

    const ControlPlace& place(view::ScreenModeKind mode) const {
        return mode == view::ScreenModeKind::mode_1280 ? place_1280 : place_1024;
    }
};

// One button of the pan-tilt-zoom pad (no control id). Codes are camera control codes;
// -1 means "none".
struct PadButtonLayout {
    int x_1024 = 0;
    int y_1024 = 0;
    int x_1280 = 0;
    int y_1280 = 0;
    int width = 0;
    int height = 0;
    int face = 0;          // normal face; pressed face is face + 1 for momentary buttons
    int pressed_face = 0;  // for the latching buttons: the "on" face
    int tooltip_string = 0;
    int press_code = -1;  // momentary buttons
    int release_code = -1;
    bool latching = false;  // toggle buttons
    int on_code = -1;       // latching: code sent when switched on
    int off_code = -1;      //           and when switched off
};

inline constexpr int kPadFollowUpCode = 10;  // sent after every pad release

// Items of the speed box 1065; the first is selected at start.
inline constexpr const char* kSpeedBoxItems[3] = {"2", "3", "4"};

// Every control with an id, in the order the window creates them.
std::span<const ControlLayout> main_controls_layout();
// The twelve pad buttons, in creation order.
std::span<const PadButtonLayout> pad_buttons_layout();
// The entry for a control id, or null.
const ControlLayout* find_control_layout(int id);

// Skin images painted on erase: bitmap number and position, four of them.
struct SkinPiece {
    int bitmap = 0;
    int x = 0;
    int y = 0;
};
struct SkinLayout {
    SkinPiece pieces[4];
};
SkinLayout skin_layout(view::ScreenModeKind mode);

}  // namespace orvel::app
