#pragma once
// Texts of the string table, named by their id, and the literal texts the logic shows.
// Texts are the system's own and stay exactly as they are.

namespace orvel::view::strings {

inline constexpr const char* kStr1ViewClass = "VIEWCLASS";
inline constexpr const char* kStr2ConnectRemote = "connect remote camera";
inline constexpr const char* kStr4SelectCamera = "select camera";
inline constexpr const char* kStr10ConnectFailed = "connect failed";
// Pad tooltips 25..34, in the pad's button order.
inline constexpr const char* kStr25FocusFar = "focus far";
inline constexpr const char* kStr26FocusNear = "focus near";
inline constexpr const char* kStr27LargeHalo = "large halo ";
inline constexpr const char* kStr28SmallHalo = "small halo";
inline constexpr const char* kStr29ZoomShort = "zoom short";
inline constexpr const char* kStr30ZoomLong = "zoom long";
inline constexpr const char* kStr31TurnUp = "turn up";
inline constexpr const char* kStr32TurnLeft = "turn left";
inline constexpr const char* kStr33TurnRight = "turn right";
inline constexpr const char* kStr34TurnDown = "turn down";
inline constexpr const char* kStr37BmpClass = "BMPCLASS";
inline constexpr const char* kStr38Exit = "EXIT";
inline constexpr const char* kStr39Min = "MIN";
inline constexpr const char* kStr40FullScreen = "full screen";
inline constexpr const char* kStr42OpenDvrFile = "open a dvr file";
inline constexpr const char* kStr46BadLogin = "incorrect  user name or password ";
inline constexpr const char* kStr55PleaseStopPlay = "please stop play";
inline constexpr const char* kStr58StopFourth = "please stop the fourth then play";
inline constexpr const char* kStr59StopNineth = "please stop the nineth then play";
inline constexpr const char* kStr60PleaseStopFile = "please stop file";
inline constexpr const char* kStr61DisplayNotSupported = "display not suppor,use one picture mode";
inline constexpr const char* kStr64Setting = "setting";
inline constexpr const char* kStr65OpenLocalFile = "open the local file";
// String 70 is empty in the table; the site-list-full warning uses kSiteListFullText.
inline constexpr const char* kStr70 = "";
inline constexpr const char* kStr71SiteExists = "this site exist";
inline constexpr const char* kStr72NoPaneFree = "not picture can use,please stop play";
inline constexpr const char* kStr73AddressConnected =
    "this address has connect, please dis connect then try again";
inline constexpr const char* kStr74StopSixteenth = "please stop the sixteenth picture then play";
inline constexpr const char* kStr75Stop25 = "please stop the 25 picture then play";

// Text of the warning when the site list already holds 128 sites.
inline constexpr const char* kSiteListFullText =
    "The site list is full (128 sites). Delete a site before adding another.";
inline constexpr const char* kWarningCaption = "warning";

// Literal texts shown by the shell.
inline constexpr const char* kWaveOutOpenFailed = "Wave Out Open failed";
inline constexpr const char* kAudioChannelFormat = "channel %d";
inline constexpr const char* kAudioSilenceText = "silence";
inline constexpr const char* kTimeTextZero = "00:00:00";

}  // namespace orvel::view::strings
