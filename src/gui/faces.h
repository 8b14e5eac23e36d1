// Button faces, tree state images and skin images, named by their resource numbers.
// Every picture is drawn in code (vector drawing with QPainter) the first time it is asked
// for and then kept; nothing is loaded from binary image files.
#pragma once

#include <QPixmap>
#include <QSize>

namespace orvel::gui {

// Resource numbers of the faces this program draws. Numbers fixed by the system's own
// behaviour (pressed/normal faces the command map switches) keep those values; the others
// were chosen for this front end.
namespace face {
// Tool bar of the right panel.
inline constexpr int kConnect = 264, kConnectPressed = 265;
inline constexpr int kSettings = 395, kSettingsPressed = 396;
inline constexpr int kZoomEnlarge = 249, kZoomRestore = 248;
inline constexpr int kOpenFile = 370, kOpenFilePressed = 368;
// Window faces.
inline constexpr int kExit = 193, kExitPressed = 194;
inline constexpr int kMinimise = 269, kMinimisePressed = 270;
// Audio button: a pane is heard / silence.
inline constexpr int kAudioOn = 432, kAudioSilent = 433;
// Fast play indicator: set / clear.
inline constexpr int kFastPlayOn = 450, kFastPlayOff = 451;
// Full screen and select-camera buttons, the two latching pad buttons (off, on).
inline constexpr int kFullScreen = 147, kSelectCamera = 261;
inline constexpr int kToggleBOff = 244, kToggleBOn = 245;
inline constexpr int kToggleAOff = 246, kToggleAOn = 247;
// Split buttons: selected faces (201, 202, 198, 448, 446) and normal faces.
inline constexpr int kSplit4 = 203, kSplit4Selected = 201;
inline constexpr int kSplit9 = 204, kSplit9Selected = 202;
inline constexpr int kSplit16 = 199, kSplit16Selected = 198;
inline constexpr int kSplit25 = 447, kSplit25Selected = 448;
inline constexpr int kSplit36 = 449, kSplit36Selected = 446;
// File playback controls.
inline constexpr int kStop = 254, kStopPressed = 253;
inline constexpr int kPlay = 255, kPause = 256, kSpeedPlay = 257, kFrameStep = 258;
inline constexpr int kPrint = 259, kPhoto = 260;
// Pan-tilt-zoom pad, normal face; the pressed face is the next number.
inline constexpr int kPadUp = 280, kPadDown = 282, kPadLeft = 284, kPadRight = 286;
inline constexpr int kFocusFar = 288, kFocusNear = 290, kIrisLarge = 292, kIrisSmall = 294;
inline constexpr int kZoomShort = 296, kZoomLong = 298;
// Camera tree state images (13 x 16).
inline constexpr int kTreeFirst = 421, kTreeLast = 427;
// Skin images: base 419 (1024 x 768 mode) and 445 (1280 x 1024 mode), each with b-1..b-3.
inline constexpr int kSkin1024 = 419, kSkin1280 = 445;
}  // namespace face

// The face of resource `number` at its own size. Unknown numbers give a neutral blank face
// (never a null pixmap), so a wrong number shows as an empty button, not as a crash.
// UI thread only.
QPixmap face_pixmap(int number);

// The face of resource `number` drawn at `size` (the size its control has in the layout).
// An invalid size means the face's own size. UI thread only.
QPixmap face_pixmap(int number, QSize size);

// Size of face `number` in pixels. UI thread only.
QSize face_size(int number);

// True when `number` names a face this program draws.
bool face_known(int number);

}  // namespace orvel::gui
