// Literal texts shown by the site connection code (the string-table ones are in
// view/strings.h).
#pragma once

namespace orvel::net::texts {

inline constexpr const char* kSocketFailed = "socket() failed;";
inline constexpr const char* kDeleteQuestion = "you will delete \xEF\xBC\x9A";  // full-width colon
inline constexpr const char* kDeleteCaption = "Warning!";
inline constexpr const char* kConnectedCantDelete = "Connected to server, can't delete!";
inline constexpr const char* kConnectedCantDeleteCaption = "warming";
inline constexpr const char* kErrorCaption = "Error";
inline constexpr const char* kLocationName = "(Location)";

}  // namespace orvel::net::texts
