// Entry of OrvelCam: the start-up sequence, the main window, the event loop and the
// shutdown sequence, in their fixed order.
#include <QApplication>
#include <QScreen>

#include <memory>

#include "app/command_ids.h"
#include "app/config.h"
#include "app/dispatcher.h"
#include "app/lifecycle.h"
#include "app/screen_choice.h"
#include "app/shell.h"
#include "codec/audio_output.h"
#include "codec/decoder_table.h"
#include "gui/main_window.h"
#include "gui/qt_main_controls.h"
#include "gui/qt_menus.h"
#include "gui/qt_message_box.h"
#include "gui/qt_timers.h"
#include "gui/qt_tree_control.h"
#include "gui/theme.h"
#include "gui/tree_gestures.h"
#include "gui/ui_channel_qt.h"
#include "gui/ui_invoker.h"
#include "platform/audio/audio_device.h"
#include "platform/ini_file.h"
#include "platform/ports/sleeper.h"
#include "view/app_state.h"

namespace {

using namespace orvel;

// Everything the running main window owns, created by the create_main_window step and
// destroyed after the event loop (before the shutdown steps free what it may still use).
struct MainWindowParts {
    std::unique_ptr<gui::UiInvoker> invoker;
    std::unique_ptr<gui::QtMessageBox> messages;
    std::unique_ptr<gui::QtMenus> menus;
    std::unique_ptr<gui::MainWindow> window;
    std::unique_ptr<gui::QtTreeControl> tree;
    std::unique_ptr<gui::QtMainControls> controls;
    std::unique_ptr<gui::QtTimers> timers;
    std::unique_ptr<gui::QtUiChannel> channel;
    platform::ThreadSleeper sleeper;
    app::CommandDispatcher dispatcher;
    std::unique_ptr<app::Shell> shell;
};

}  // namespace

int main(int argc, char** argv) {
    // The application object comes first: the screen size is read through it.
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("OrvelCam"));

    view::AppState state;
    platform::IniFile ini(platform::IniFile::default_path());
    app::Config config(ini);
    view::ScreenModeKind mode = view::ScreenModeKind::mode_1024;
    MainWindowParts parts;
    app::Lifecycle lifecycle;
    using app::ShutdownStep;
    using app::StartupStep;

    lifecycle.set_startup(StartupStep::choose_screen_mode, [&] {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QSize size = screen ? screen->size() : QSize(1024, 768);
        const std::string line =
            app::command_line_from_args(argc, const_cast<const char* const*>(argv));
        mode = app::choose_screen_mode(line, size.width(), size.height());
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
            static_cast<platform::MessageBoxPort&>(box).show_message(text, "");
        });
        return true;
    });
    lifecycle.set_startup(StartupStep::create_main_window, [&] {
        parts.invoker = std::make_unique<gui::UiInvoker>();
        parts.messages = std::make_unique<gui::QtMessageBox>(*parts.invoker);
        parts.menus = std::make_unique<gui::QtMenus>();
        gui::MainWindowHooks hooks;
        hooks.command = [&](int id) { parts.shell->on_command(id); };
        hooks.seek_slider = [&](int code) { parts.shell->on_seek_slider(code); };
        hooks.close_requested = [&] { parts.shell->on_command(app::id::kExit); };
        hooks.tree = [&](gui::TreeGesture g, QTreeWidgetItem* item, platform::TreeHitPart hit,
                         QPoint global) {
            gui::TreeGestureContext ctx{state, *parts.tree, *parts.menus,
                                        [&](int id) { parts.shell->on_command(id); }, {}};
            const bool on_label = hit == platform::TreeHitPart::label ||
                                  hit == platform::TreeHitPart::icon;
            const auto kind = g == gui::TreeGesture::right_click ? gui::TreeGestureKind::right_click
                              : g == gui::TreeGesture::click     ? gui::TreeGestureKind::click
                                                                 : gui::TreeGestureKind::double_click;
            gui::handle_tree_gesture(ctx, kind, gui::QtTreeControl::handle_of(item), on_label,
                                     global.x(), global.y());
        };
        parts.window = std::make_unique<gui::MainWindow>(mode, std::move(hooks));
        parts.tree = std::make_unique<gui::QtTreeControl>(*parts.window->tree(), *parts.invoker);
        parts.controls = std::make_unique<gui::QtMainControls>(*parts.window, *parts.invoker);
        parts.controls->set_quit_handler([](int code) { QCoreApplication::exit(code); });
        parts.timers = std::make_unique<gui::QtTimers>([&](int timer_id) {
            parts.shell->on_timer(timer_id);
        });
        parts.channel = std::make_unique<gui::QtUiChannel>(*parts.invoker);
        app::ShellPorts ports{*parts.messages, *parts.tree,   *parts.menus,
                              *parts.controls, *parts.timers, parts.sleeper};
        parts.shell = std::make_unique<app::Shell>(state, config, ports, parts.dispatcher);
        parts.channel->set_handler(parts.shell.get());
        parts.window->video_area()->video_window()->set_view_source([&] {
            return gui::VideoGridView{state.grid_side, state.full_view_active.load() != 0,
                                      state.last_click_x, state.last_click_y};
        });
        parts.shell->initialise();
        parts.window->show();
        return true;
    });
    lifecycle.set_message_loop([&] {
        const int code = application.exec();
        // No worker may reach the window from here on; then the window goes.
        if (parts.invoker) parts.invoker->close();
        return code;
    });
    lifecycle.set_shutdown(ShutdownStep::audio_output_close, [] { codec::audio_output_close(); });
    lifecycle.set_shutdown(ShutdownStep::decoder_table_shutdown,
                           [] { codec::decoder_table_shutdown(); });

    const int code = lifecycle.run();
    parts.shell.reset();
    parts.timers.reset();
    parts.window.reset();
    return code;
}
