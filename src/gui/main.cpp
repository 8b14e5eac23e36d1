// Entry of OrvelCam: the start-up sequence, the main window, the event loop and the
// shutdown sequence, in their fixed order.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <QScreen>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/config.h"
#include "app/lifecycle.h"
#include "app/screen_choice.h"
#include "codec/audio_output.h"
#include "codec/decoder_table.h"
#include "gui/program.h"
#include "gui/qt_message_box.h"
#include "gui/theme.h"
#include "gui/ui_invoker.h"
#include "platform/audio/audio_device.h"
#include "platform/ini_file.h"
#include "platform/log_file.h"
#include "platform/logged_message_box.h"
#include "platform/memory_tuning.h"
#include "view/app_state.h"

using namespace orvel;

namespace {

int g_quit_fds[2] = {-1, -1};

void on_quit_signal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_quit_fds[1], &byte, 1);
}

// A termination signal (the session ending, a service manager, Ctrl+C) ends the event loop
// as closing the window does, so recordings are finished (closed mark, index) rather than
// cut off. The handler only writes a byte; the event loop reads it.
void quit_on_termination_signals(QApplication& application) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_quit_fds) != 0) return;
    auto* notifier = new QSocketNotifier(g_quit_fds[0], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [] {
        ORVEL_LOG_INFO("termination signal: closing");
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = on_quit_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    platform::tune_allocator_for_streaming();
    // The application object comes first: the screen size is read through it.
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("OrvelCam"));
    // The installed desktop entry and icon (orvelcam.desktop, hicolor orvelcam.svg).
    application.setDesktopFileName(QStringLiteral("orvelcam"));
    application.setWindowIcon(QIcon::fromTheme(QStringLiteral("orvelcam")));
    const app::ProgramOptions options =
        app::parse_program_options(argc, const_cast<const char* const*>(argv));

    // The log first, so every later step can report; it outlives every thread that logs.
    platform::FileLogSink log_sink({platform::default_log_path(), 5u << 20, 5, options.verbose});
    if (!log_sink.error().empty())
        std::fprintf(stderr, "orvelcam: no log file: %s\n", log_sink.error().c_str());
    platform::set_log_sink(&log_sink);
    ORVEL_LOG_INFO("OrvelCam %s starting", ORVEL_VERSION);
    quit_on_termination_signals(application);

    view::AppState state;
    platform::IniFile ini(platform::IniFile::default_path());
    app::Config config(ini);
    view::ScreenModeKind mode = view::ScreenModeKind::mode_1024;
    std::unique_ptr<gui::Program> program;
    app::Lifecycle lifecycle;
    using app::ShutdownStep;
    using app::StartupStep;

    lifecycle.set_startup(StartupStep::choose_screen_mode, [&] {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QSize size = screen ? screen->size() : QSize(1024, 768);
        mode = app::choose_screen_mode(options.command_line, size.width(), size.height());
        state.screen = view::screen_mode_for(mode);
        return true;
    });
    lifecycle.set_startup(StartupStep::start_sockets, &app::Lifecycle::start_sockets);
    lifecycle.set_startup(StartupStep::init_controls, [&] {
        gui::apply_theme(application);
        return true;
    });
    lifecycle.set_startup(StartupStep::preload_config, [&] {
        config.preload(state);
        const QScreen* screen = QGuiApplication::primaryScreen();
        state.colour_depth_bits = screen ? screen->depth() : 32;
        return true;
    });
    lifecycle.set_startup(StartupStep::decoder_table_init, [] {
        codec::decoder_table_init();
        return true;
    });
    lifecycle.set_startup(StartupStep::audio_output_open, [] {
        // A failed open shows "Wave Out Open failed" and the program runs silent.
        codec::audio_output_open(platform::make_alsa_audio_device(), [](const char* text) {
            gui::UiInvoker invoker;
            gui::QtMessageBox box(invoker);
            platform::LoggedMessageBox logged(box);
            logged.show_message(text, "");
        });
        return true;
    });
    lifecycle.set_startup(StartupStep::create_main_window, [&] {
        program = std::make_unique<gui::Program>(state, config, mode);
        // Benchmarks read the live view's figures from this file (bench/program).
        if (const char* stats = std::getenv("ORVEL_STATS_FILE"); stats != nullptr && *stats)
            program->live().write_statistics_every_second(stats);
        // Tests and benchmarks of the real program record every camera it opens.
        if (const char* rec = std::getenv("ORVEL_RECORD_EVERY_PANE"); rec && *rec == '1')
            program->live().set_record_every_pane(true);
        program->start();
        // Tests and demonstrations of the real program play a local file at once.
        if (const char* file = std::getenv("ORVEL_PLAY_FILE"); file != nullptr && *file)
            program->playback().open_file(file);
        return true;
    });
    lifecycle.set_message_loop([&] {
        const int code = application.exec();
        // No worker may reach the window from here on; reader threads end.
        if (program) program->stop();
        return code;
    });
    lifecycle.set_shutdown(ShutdownStep::audio_output_close, [] { codec::audio_output_close(); });
    lifecycle.set_shutdown(ShutdownStep::decoder_table_shutdown,
                           [] { codec::decoder_table_shutdown(); });

    const int code = lifecycle.run();
    program.reset();  // timer 2, the menus and the window go at exit
    ORVEL_LOG_INFO("OrvelCam ended, exit code %d", code);
    platform::set_log_sink(nullptr);
    return code;
}
