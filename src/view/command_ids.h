#pragma once
// Numeric ids of the main window's controls and menu items, and of the bitmaps the logic
// names. The dispatcher is keyed by these ids.

namespace orvel::view::id {

// --- Controls of the main window ---
inline constexpr int kSettings = 1011;
inline constexpr int kExit = 1021;
inline constexpr int kSplit9 = 1022;
inline constexpr int kSplit4 = 1023;
inline constexpr int kSplit16 = 1024;
inline constexpr int kFullScreen = 1025;
inline constexpr int kAudioButton = 1026;  // also the audio indicator (static bitmap)
inline constexpr int kSplit36 = 1027;
inline constexpr int kFastPlay = 1028;
inline constexpr int kSplit25 = 1029;
inline constexpr int kOpenFile = 1044;
inline constexpr int kSeekSlider = 1062;
inline constexpr int kTimeText = 1063;
inline constexpr int kSpeedBox = 1065;
inline constexpr int kPhoto = 1068;
inline constexpr int kConnect = 1076;
inline constexpr int kSelectCamera = 1093;
inline constexpr int kMinimise = 1123;
inline constexpr int kPrint = 1149;
inline constexpr int kCameraTree = 1150;
inline constexpr int kStop = 1152;
inline constexpr int kPlayPause = 1153;
inline constexpr int kSpeedPlay = 1154;
inline constexpr int kFrameStep = 1155;
inline constexpr int kVideoArea = 1168;
inline constexpr int kZoom = 32784;

// --- Audio menu ---
inline constexpr int kAudioSilence = 5999;
inline constexpr int kAudioChannelBase = 6000;  // 6000 + pane, panes 0..35
inline constexpr int kAudioChannelLast = 6035;

// --- Pane menu (_ScreenMenu_) ---
inline constexpr int kPanePlay = 32790;
inline constexpr int kPaneStop = 32792;
inline constexpr int kPaneSpeed2 = 32794;
inline constexpr int kPaneSpeed3 = 32795;
inline constexpr int kPaneSpeed4 = 32796;
inline constexpr int kPaneZoom = 32797;
inline constexpr int kPanePhoto = 32809;
inline constexpr int kPaneRecord = 32813;
inline constexpr int kPresetBase = 65000;  // 65000 + preset 0..15 (16 accepted too)
inline constexpr int kPresetLast = 65016;
inline constexpr int kPresetTour = 65432;

// --- Stream menu (_StreamMenu_) ---
inline constexpr int kStreamPlay = 32798;
inline constexpr int kStreamStop = 32799;
inline constexpr int kStreamPlayRecord = 32800;

// --- Site menu (POSITON) ---
inline constexpr int kSiteRemoteFiles = 32801;
inline constexpr int kSiteDelete = 32804;
inline constexpr int kSiteStopPlay = 32808;
inline constexpr int kSitePlayAll = 32810;
inline constexpr int kSiteDisplayFiles = 32811;
inline constexpr int kSiteDisconnect = 32812;
inline constexpr int kSiteDefault = 32814;

// --- Control menu ---
inline constexpr int kControlFullScreen = 32803;
// "exit" of the control menu uses kExit.

// --- Timers ---
inline constexpr int kTimerPlayback = 1;  // local playback, 1000 ms
inline constexpr int kTimerTimeline = 2;  // timeline refresh, 15000 ms then 5000 ms
inline constexpr int kTimelineFirstPeriodMs = 15000;
inline constexpr int kTimelinePeriodMs = 5000;
inline constexpr int kPlaybackPeriodMs = 1000;

// --- Slider scroll codes ---
inline constexpr int kScrollThumbPosition = 4;  // thumb released
inline constexpr int kScrollThumbTrack = 5;     // thumb being dragged

}  // namespace orvel::view::id

namespace orvel::view::bitmap {

// Button faces and images named by their resource numbers.
inline constexpr int kSettingsPressed = 396;
inline constexpr int kSettingsNormal = 395;
inline constexpr int kExitPressed = 194;
inline constexpr int kMinimisePressed = 270;
inline constexpr int kMinimiseNormal = 269;
inline constexpr int kOpenFilePressed = 368;
inline constexpr int kOpenFileNormal = 370;
inline constexpr int kConnectPressed = 265;
inline constexpr int kConnectNormal = 264;
inline constexpr int kZoomWasActive = 249;
inline constexpr int kZoomNormal = 248;
inline constexpr int kFastPlayOn = 450;
inline constexpr int kFastPlayOff = 451;
inline constexpr int kAudioSilent = 433;
inline constexpr int kAudioHeard = 432;
// Layout buttons in their selected state, for 4, 9, 16, 25 and 36 panes.
inline constexpr int kSplit4Selected = 201;
inline constexpr int kSplit9Selected = 202;
inline constexpr int kSplit16Selected = 198;
inline constexpr int kSplit25Selected = 448;
inline constexpr int kSplit36Selected = 446;
// Camera tree state images, in image-list order.
inline constexpr int kTreeImages[8] = {423, 424, 422, 425, 421, 426, 424, 427};
// Skin base numbers (images b, b-1, b-2, b-3).
inline constexpr int kSkinBase1024 = 419;
inline constexpr int kSkinBase1280 = 445;

}  // namespace orvel::view::bitmap
