#pragma once
// Choice of the screen mode at start-up.

#include <string>
#include <string_view>

#include "view/screen_mode.h"

namespace orvel::app {

// The command line exactly "1280" gives the 1280 x 1024 mode, exactly "1024" the 1024 x 768
// mode; otherwise a screen of exactly 1280 x 1024 gives the 1280 mode and any other the 1024.
view::ScreenModeKind choose_screen_mode(std::string_view command_line, int screen_width,
                                        int screen_height);

// The program's arguments after its name, joined by single blanks.
std::string command_line_from_args(int argc, const char* const* argv);

// The program's own options, taken out of the arguments before the screen mode is chosen
// from what remains ("1280 --verbose" still chooses the 1280 mode).
struct ProgramOptions {
    bool verbose = false;      // --verbose: the log is mirrored on standard error
    std::string command_line;  // the other arguments, joined by single blanks
};
ProgramOptions parse_program_options(int argc, const char* const* argv);

}  // namespace orvel::app
