#pragma once
// Sizes of the two screen modes, chosen once at start-up.

namespace orvel::view {

enum class ScreenModeKind { mode_1024, mode_1280 };

struct ScreenMode {
    ScreenModeKind kind = ScreenModeKind::mode_1024;
    int window_width = 1024;  // main window
    int window_height = 768;
    int video_left = 9;  // video area control 1168
    int video_top = 9;
    int video_right = 817;
    int video_bottom = 666;
    // Size of the video window, used for the grid, the pane rectangles, the full view and
    // pane picking. It equals the video area's size, so every pane is wholly visible (a
    // 1074 x 879 window in the 1280 mode's 1066 x 873 area would cut 8 and 6 pixels off
    // the right column and the bottom row).
    int picture_width = 808;
    int picture_height = 657;
    int full_screen_width = 1024;
    int full_screen_height = 768;
    int skin_base_bitmap = 419;  // skin images b, b-1, b-2, b-3

    int video_width() const { return video_right - video_left; }
    int video_height() const { return video_bottom - video_top; }
};

inline constexpr ScreenMode kScreenMode1024{};
inline constexpr ScreenMode kScreenMode1280{
    ScreenModeKind::mode_1280, 1280, 1024, 22, 24, 1088, 897, 1066, 873, 1280, 1024, 445};

inline constexpr const ScreenMode& screen_mode_for(ScreenModeKind kind) {
    return kind == ScreenModeKind::mode_1280 ? kScreenMode1280 : kScreenMode1024;
}

}  // namespace orvel::view
