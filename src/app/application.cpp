#include "app/application.h"

#include "app/screen_choice.h"

namespace orvel::app {

Application::Application(std::filesystem::path ini_path)
    : state_(std::make_unique<view::AppState>()),
      ini_(std::move(ini_path)),
      config_(ini_),
      drives_(ini_) {}

Shell& Application::attach_ports(ShellPorts ports) {
    if (!shell_) shell_.emplace(*state_, config_, ports, dispatcher_);
    return *shell_;
}

void Application::install_core_steps(Lifecycle& lifecycle, std::string command_line,
                                     std::function<std::pair<int, int>()> screen_size,
                                     std::function<int()> colour_depth) {
    lifecycle.set_startup(
        StartupStep::choose_screen_mode, [this, line = std::move(command_line), screen_size]() {
            const auto [w, h] = screen_size ? screen_size() : std::pair{0, 0};
            state_->screen = view::screen_mode_for(choose_screen_mode(line, w, h));
            state_->video_client_width = state_->screen.picture_width;
            state_->video_client_height = state_->screen.picture_height;
            return true;
        });
    lifecycle.set_startup(StartupStep::start_sockets, [] { return Lifecycle::start_sockets(); });
    lifecycle.set_startup(StartupStep::preload_config, [this, colour_depth]() {
        config_.preload(*state_);
        if (colour_depth) state_->colour_depth_bits = colour_depth();
        return true;
    });
}

}  // namespace orvel::app
