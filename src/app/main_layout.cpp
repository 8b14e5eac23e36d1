#include "app/main_layout.h"

#include <array>

#include "app/command_ids.h"

namespace orvel::app {

namespace {

using K = ControlKind;

// Sizes not given by the window's own table follow the faces drawn for them.
constexpr std::array<ControlLayout, 26> kControls{{
    {id::kVideoArea, K::video_area, {9, 9, 808, 657}, {22, 24, 1066, 873}, true, 0, 0, 0},
    {id::kExit, K::button, {886, 678, 60, 30}, {1146, 927, 60, 30}, true, 193, 194, 38},
    {id::kMinimise, K::button, {844, 713, 36, 24}, {1104, 962, 36, 24}, true, 269, 270, 39},
    {id::kAudioButton, K::static_bitmap, {731, 699, 48, 40}, {927, 946, 48, 40}, true, 433, 0, 0},
    {id::kFastPlay, K::button, {108, 715, 36, 28}, {109, 972, 36, 28}, true, 451, 450, 0},
    {id::kSelectCamera, K::button, {900, 435, 46, 46}, {1161, 648, 46, 46}, true, 261, 0, 4},
    {id::kSplit4, K::button, {866, 319, 34, 32}, {1126, 521, 34, 32}, true, 203, 201, 0},
    {id::kSplit9, K::button, {903, 319, 34, 32}, {1165, 521, 34, 32}, true, 204, 202, 0},
    {id::kSplit16, K::button, {940, 319, 34, 32}, {1200, 521, 34, 32}, true, 199, 198, 0},
    {id::kSplit25, K::button, {866, 355, 34, 32}, {1126, 561, 34, 32}, true, 447, 448, 0},
    {id::kSplit36, K::button, {903, 355, 34, 32}, {1165, 561, 34, 32}, true, 449, 446, 0},
    {id::kFullScreen, K::button, {940, 355, 34, 32}, {1200, 561, 34, 32}, true, 147, 0, 40},
    {id::kConnect, K::button, {856, 24, 32, 30}, {1116, 228, 32, 30}, true, 264, 265, 2},
    {id::kSettings, K::button, {890, 24, 32, 30}, {1152, 228, 32, 30}, true, 395, 396, 64},
    {id::kZoom, K::button, {925, 24, 32, 30}, {1185, 228, 32, 30}, true, 249, 248, 0},
    {id::kOpenFile, K::button, {960, 24, 32, 30}, {1220, 228, 32, 30}, true, 370, 368, 65},
    {id::kCameraTree, K::tree, {847, 58, 150, 250}, {1105, 258, 152, 258}, true, 0, 0, 0},
    {id::kPlayPause, K::button, {29, 715, 36, 28}, {29, 972, 36, 28}, false, 255, 256, 0},
    {id::kStop, K::button, {69, 715, 36, 28}, {69, 972, 36, 28}, false, 254, 253, 0},
    {id::kFrameStep, K::button, {149, 715, 36, 28}, {149, 972, 36, 28}, false, 258, 0, 0},
    {id::kSpeedBox, K::combo, {201, 715, 54, 24}, {300, 972, 54, 24}, false, 0, 0, 0},
    {id::kSeekSlider, K::slider, {262, 715, 280, 22}, {361, 972, 280, 22}, false, 0, 0, 0},
    {id::kTimeText, K::static_text, {550, 715, 64, 20}, {650, 972, 64, 20}, false, 0, 0, 0},
    {id::kSpeedPlay, K::button, {620, 715, 32, 28}, {740, 972, 32, 28}, false, 257, 0, 0},
    {id::kPhoto, K::button, {656, 715, 32, 28}, {780, 972, 32, 28}, false, 260, 0, 0},
    {id::kPrint, K::button, {692, 715, 32, 28}, {820, 972, 32, 28}, false, 259, 0, 0},
}};

// Pad: x/y in both modes, size, faces, tooltip, codes.
constexpr std::array<PadButtonLayout, 12> kPad{{
    {869, 530, 1129, 746, 30, 30, 288, 289, 25, 5, 26, false, -1, -1},
    {963, 530, 1225, 746, 30, 30, 290, 291, 26, 4, 26, false, -1, -1},
    {869, 566, 1129, 782, 30, 30, 292, 293, 27, 9, 27, false, -1, -1},
    {963, 566, 1225, 782, 30, 30, 294, 295, 28, 8, 27, false, -1, -1},
    {869, 604, 1129, 820, 30, 30, 296, 297, 29, 7, 25, false, -1, -1},
    {963, 604, 1225, 820, 30, 30, 298, 299, 30, 6, 25, false, -1, -1},
    {892, 407, 1151, 619, 62, 21, 280, 281, 31, 0, 24, false, -1, -1},
    {871, 428, 1131, 640, 29, 55, 284, 285, 32, 2, 23, false, -1, -1},
    {947, 428, 1207, 640, 29, 55, 286, 287, 33, 3, 23, false, -1, -1},
    {892, 483, 1151, 695, 62, 21, 282, 283, 34, 1, 24, false, -1, -1},
    {886, 630, 1144, 853, 44, 24, 244, 245, 0, -1, -1, true, 18, 17},
    {936, 630, 1196, 853, 44, 24, 246, 247, 0, -1, -1, true, 16, 15},
}};

}  // namespace

std::span<const ControlLayout> main_controls_layout() { return kControls; }

std::span<const PadButtonLayout> pad_buttons_layout() { return kPad; }

const ControlLayout* find_control_layout(int control_id) {
    for (const ControlLayout& c : kControls) {
        if (c.id == control_id) return &c;
    }
    return nullptr;
}

SkinLayout skin_layout(view::ScreenModeKind mode) {
    if (mode == view::ScreenModeKind::mode_1280) {
        const int b = bitmap::kSkinBase1280;
        return {{{b, 0, 0}, {b - 2, 0, 24}, {b - 3, 0, 896}, {b - 1, 1088, 0}}};
    }
    const int b = bitmap::kSkinBase1024;
    return {{{b, 0, 0}, {b - 2, 0, 9}, {b - 3, 0, 667}, {b - 1, 818, 0}}};
}

}  // namespace orvel::app
