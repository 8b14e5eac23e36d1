#include "app/screen_choice.h"

namespace orvel::app {

view::ScreenModeKind choose_screen_mode(std::string_view command_line, int screen_width,
                                        int screen_height) {
    if (command_line == "1280") return view::ScreenModeKind::mode_1280;
    if (command_line == "1024") return view::ScreenModeKind::mode_1024;
    if (screen_width == 1280 && screen_height == 1024) return view::ScreenModeKind::mode_1280;
    return view::ScreenModeKind::mode_1024;
}

std::string command_line_from_args(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc && argv != nullptr; ++i) {
        if (argv[i] == nullptr) break;
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return line;
}

ProgramOptions parse_program_options(int argc, const char* const* argv) {
    ProgramOptions options;
    for (int i = 1; i < argc && argv != nullptr && argv[i] != nullptr; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--verbose") {
            options.verbose = true;
            continue;
        }
        if (!options.command_line.empty()) options.command_line += ' ';
        options.command_line += arg;
    }
    return options;
}

}  // namespace orvel::app
