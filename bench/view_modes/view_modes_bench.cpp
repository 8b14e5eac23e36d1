// What the operator waits for when the view changes with 36 panes playing: the program runs
// in this process against the DVR simulator on loopback, on the display Qt is given (under
// Xvfb with QT_QPA_PLATFORM=xcb the GPU path is taken where OpenGL works). For each change
// it measures the time the UI thread spends in it and the time until every open pane has
// drawn a picture again (in the full view: the enlarged pane). The baseline of the same run
// is the return from the full view, the cheapest change; the target is 300 ms for each.
// Full screen is entered twice per round: first after a display switch (the GPU path makes
// its widget again), then again with the widgets kept from the first time. Pane 0 is a
// dual-stream camera: leaving the full view it waits for its sub stream's third key frame,
// so the worst "leave full view" is about three key-frame intervals.
//
//   bench_view_modes [--panes 36] [--rounds 5] [--software]
//   ORVEL_BENCH_EACH=1: every round's figures, and the panes that were slow to draw again.
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_ids.h"
#include "app/config.h"
#include "codec/decoder_table.h"
#include "gui/program.h"
#include "platform/ini_file.h"
#include "platform/ports/ui_channel.h"
#include "scenario.h"
#include "server.h"

namespace {

using namespace orvel;

bool spin_until(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

struct Figures {
    std::vector<double> call_ms, redraw_ms;
};

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int panes = 36, rounds = 5;
    bool software = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--panes") && i + 1 < argc) panes = std::atoi(argv[++i]);
        if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc) rounds = std::atoi(argv[++i]);
        if (!std::strcmp(argv[i], "--software")) software = true;
    }
    panes = std::clamp(panes, 1, 36);
    QApplication qt(argc, argv);
    codec::decoder_table_init();

    std::string scenario_text = "user admin 1234\ndevice 1\nswitch " + std::to_string(panes) +
                                "\nstream * mpeg4 176x144 noaudio\nstream 1 dual 352x288\n";
    dvrsim::Scenario scenario;
    std::string error;
    if (!dvrsim::load_scenario_text(scenario_text, scenario, error)) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        return 1;
    }
    dvrsim::Server server(std::move(scenario));
    if (!server.start("127.0.0.1", 0, error)) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        return 1;
    }
    const int port = server.command_port();
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    std::ostringstream ini_text;
    ini_text << "[LOCATION]\nnum=1\npos0=Sim\nip0=127.0.0.1\nuser0=admin\nps0=1234\n"
             << "port10=" << port << "\nport20=" << port + 1 << "\nport30=" << port + 2
             << "\n[DEFAULT]\nip=127.0.0.1\nport=" << port
             << "\n[PLAY]\nAUTOPLAY=TRUE\nDISPLAY=" << (software ? "GDI" : "DIRECTDRAW") << "\n";
    std::ofstream(dir.filePath(QStringLiteral("orvelcam.ini")).toStdString()) << ini_text.str();

    view::AppState state;
    platform::IniFile ini(platform::IniFile::default_path());
    app::Config config(ini);
    config.preload(state);
    auto program = std::make_unique<gui::Program>(state, config, view::ScreenModeKind::mode_1280);
    program->messages().set_override([](const std::string& text, const std::string&,
                                        platform::MessageButtons, platform::MessageIcon) {
        std::fprintf(stderr, "bench: message \"%s\"\n", text.c_str());
        return platform::MessageResult::ok;
    });
    program->start();

    auto drawn = [&] {
        std::vector<std::uint32_t> out;
        for (const auto& slot : state.live_slots)
            out.push_back(slot ? slot->pictures_drawn.load() : 0);
        return out;
    };
    auto all_drew_again = [&](const std::vector<std::uint32_t>& before) {
        for (std::size_t p = 0; p < before.size(); ++p) {
            const auto& slot = state.live_slots[p];
            if (slot && slot->pictures_drawn.load() <= before[p]) return false;
        }
        return true;
    };
    if (!spin_until([&] { return state.open_pane_count == panes; }, 30000) ||
        !spin_until([&] { return all_drew_again(std::vector<std::uint32_t>(36, 3)); }, 30000)) {
        std::fprintf(stderr, "bench: the panes did not all play (%d open)\n",
                     state.open_pane_count);
        return 1;
    }
    std::printf("bench_view_modes: %d panes playing, %s path at start\n", panes,
                state.display_gdi.load() ? "software" : "GPU");

    // One change: the time in the call, then until every open pane has drawn again.
    auto measure = [&](Figures& f, const std::function<void()>& change) {
        spin_until([] { return false; }, 200);  // let the grid settle between changes
        const auto before = drawn();
        QElapsedTimer t;
        t.start();
        change();
        f.call_ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        // In the full view only the enlarged pane draws.
        if (state.full_view_active.load()) {
            const int pane = state.selected_pane.load();
            spin_until([&] { return state.live_slots[pane]->pictures_drawn.load() > before[pane]; },
                       5000);
        } else {
            spin_until([&] { return all_drew_again(before); }, 5000);
        }
        if (std::getenv("ORVEL_BENCH_EACH") != nullptr && t.elapsed() > 1000) {
            for (std::size_t p = 0; p < before.size(); ++p) {
                const auto& slot = state.live_slots[p];
                if (slot && slot->pictures_drawn.load() <= before[p] + 2)
                    std::printf("  slow change: pane %zu drew %u since\n", p,
                                slot->pictures_drawn.load() - before[p]);
            }
        }
        f.redraw_ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    };
    app::Shell& shell = program->shell();
    Figures view_in, view_out, screen_in, screen_out, screen_in_again, screen_out_again,
        to_software, to_gpu;
    const char* gdi = "GDI";
    const char* direct = "DIRECTDRAW";
    for (int r = 0; r < rounds; ++r) {
        measure(view_in, [&] { shell.video_double_click(50, 50); });
        measure(view_out, [&] { shell.video_double_click(50, 50); });
        measure(screen_in, [&] { shell.on_command(app::id::kFullScreen); });
        measure(screen_out, [&] { shell.on_command(app::id::kControlFullScreen); });
        // Again: the windows and their GL widgets are kept from the first time.
        measure(screen_in_again, [&] { shell.on_command(app::id::kFullScreen); });
        measure(screen_out_again, [&] { shell.on_command(app::id::kControlFullScreen); });
        const bool gpu_now = state.display_gdi.load() == 0;
        measure(gpu_now ? to_software : to_gpu, [&] {
            program->handle_private_message(platform::kMsgDisplayModeChanged,
                                            reinterpret_cast<std::intptr_t>(gpu_now ? gdi : direct),
                                            0);
        });
        measure(gpu_now ? to_gpu : to_software, [&] {
            program->handle_private_message(platform::kMsgDisplayModeChanged,
                                            reinterpret_cast<std::intptr_t>(gpu_now ? direct : gdi),
                                            0);
        });
    }
    if (std::getenv("ORVEL_BENCH_EACH") != nullptr) {
        for (std::size_t r = 0; r < view_out.redraw_ms.size(); ++r)
            std::printf(
                "round %zu: view in %.0f out %.0f, screen in %.0f out %.0f, again %.0f %.0f\n", r,
                view_in.redraw_ms[r], view_out.redraw_ms[r], screen_in.redraw_ms[r],
                screen_out.redraw_ms[r], screen_in_again.redraw_ms[r],
                screen_out_again.redraw_ms[r]);
    }
    const double baseline = median(view_out.redraw_ms);
    std::printf("%-28s %10s %12s %10s %10s\n", "change (median)", "UI ms", "all drawn ms",
                "x leave-view", "worst ms");
    auto row = [&](const char* name, const Figures& f) {
        const double redraw = median(f.redraw_ms);
        const double worst = *std::max_element(f.redraw_ms.begin(), f.redraw_ms.end());
        std::printf("%-28s %10.1f %12.1f %10.2f %10.1f%s\n", name, median(f.call_ms), redraw,
                    baseline > 0 ? redraw / baseline : 0.0, worst,
                    redraw > 300 ? "  over 300 ms" : "");
    };
    row("enter full view", view_in);
    row("leave full view", view_out);
    row("enter full screen", screen_in);
    row("leave full screen", screen_out);
    row("enter full screen again", screen_in_again);
    row("leave full screen again", screen_out_again);
    row("switch to software path", to_software);
    row("switch to GPU path", to_gpu);
    std::printf("panes open at the end: %d of %d\n", state.open_pane_count, panes);
    program.reset();
    server.stop();
    codec::decoder_table_shutdown();
    return 0;
}
