#pragma once
// The start-up and shutdown sequences in their order, as one explicit list of steps.
// Each subsystem installs the action of its step; a step without an action is a step
// whose subsystem is not built yet and is skipped, keeping its place in the order.

#include <array>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace orvel::app {

enum class StartupStep {
    choose_screen_mode,   // command line or screen size
    start_sockets,        // network library start (POSIX: SIGPIPE ignored)
    init_controls,        // common controls (Qt application)
    preload_config,       // IP%d and SRC preload, colour depth
    decoder_table_init,   // decoder table
    audio_output_open,    // the wave output ("Wave Out Open failed" keeps going)
    speech_state_create,  // shared speech-decoder state
    create_main_window,   // main window; failure ends the program with code 0
};

enum class ShutdownStep {
    audio_output_close,
    timeline_destroy,
    speech_state_free,
    decoder_table_shutdown,
    sockets_cleanup,
};

inline constexpr std::array<const char*, 8> kStartupStepNames{
    "choose_screen_mode", "start_sockets",     "init_controls",       "preload_config",
    "decoder_table_init", "audio_output_open", "speech_state_create", "create_main_window"};
inline constexpr std::array<const char*, 5> kShutdownStepNames{
    "audio_output_close", "timeline_destroy", "speech_state_free", "decoder_table_shutdown",
    "sockets_cleanup"};

class Lifecycle {
public:
    // A start-up action returns false when the program must end (exit code 0).
    using StartAction = std::function<bool()>;
    using StopAction = std::function<void()>;
    using LoopAction = std::function<int()>;  // runs the message loop, returns the quit code

    // Thread: main thread, before run().
    void set_startup(StartupStep step, StartAction action);
    void set_shutdown(ShutdownStep step, StopAction action);
    void set_message_loop(LoopAction loop) { loop_ = std::move(loop); }
    bool has_startup(StartupStep step) const;

    // Runs start-up in order, then the message loop, then shutdown in order. Returns the
    // quit code, or 0 when a start-up step failed (shutdown then runs for the steps that
    // had started). Thread: main thread.
    int run();

    // Names of the steps that ran, in order (for tests and diagnostics).
    const std::vector<std::string>& trace() const { return trace_; }

    // The default action of start_sockets: ignore SIGPIPE so a send on a closed socket
    // fails with an error instead of ending the process.
    static bool start_sockets();

private:
    std::array<StartAction, kStartupStepNames.size()> start_{};
    std::array<StopAction, kShutdownStepNames.size()> stop_{};
    LoopAction loop_;
    std::vector<std::string> trace_;
};

}  // namespace orvel::app
