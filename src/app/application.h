#pragma once
// The core side of the program as one object: state, configuration, drive map, the
// dispatcher and, once the window's ports exist, the shell. The entry builds it, installs
// the core start-up steps and hands the rest of the sequence to the window.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/config.h"
#include "app/dispatcher.h"
#include "app/lifecycle.h"
#include "app/shell.h"
#include "platform/drives.h"
#include "platform/ini_file.h"
#include "view/app_state.h"

namespace orvel::app {

class Application {
public:
    // Thread: main thread.
    explicit Application(std::filesystem::path ini_path = platform::IniFile::default_path());

    view::AppState& state() { return *state_; }
    platform::IniFile& ini() { return ini_; }
    Config& config() { return config_; }
    platform::DriveMap& drives() { return drives_; }
    CommandDispatcher& dispatcher() { return dispatcher_; }

    // Creates the shell on the window's ports (once). Thread: UI thread.
    Shell& attach_ports(ShellPorts ports);
    Shell* shell() { return shell_ ? &*shell_ : nullptr; }

    // Installs the core's start-up steps: the screen mode (from the command line, else
    // the screen size asked of `screen_size` as width and height), the socket start and
    // the configuration preload with the colour depth from `colour_depth`.
    // Thread: main thread, before Lifecycle::run().
    void install_core_steps(Lifecycle& lifecycle, std::string command_line,
                            std::function<std::pair<int, int>()> screen_size,
                            std::function<int()> colour_depth);

private:
    std::unique_ptr<view::AppState> state_;
    platform::IniFile ini_;
    Config config_;
    platform::DriveMap drives_;
    CommandDispatcher dispatcher_;
    std::optional<Shell> shell_;
};

}  // namespace orvel::app
