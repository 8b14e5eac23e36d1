// Local-file playback figures: N panes play the same CIF recording at 4x on the GPU path
// (pictures decoded straight into the renderer's buffers), and the process's CPU time per
// picture shown is set against libavcodec's bare single-thread decode of the same loops
// measured in this run. Then a paused pane is sought to random places: the time from the
// seek command to its picture being handed to the renderer.
//
//   bench_playback [--panes 4] [--pictures 2000] [--seeks 40]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bare_decode.h"
#include "codec/decoder_table.h"
#include "media/dvr_file.h"
#include "pane/file_panes.h"
#include "pane/pipelines.h"

namespace {

using namespace orvel;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

class NullRenderer final : public view::GpuRenderer {
public:
    std::array<std::atomic<int>, 36> shown{};
    std::array<std::vector<uint8_t>, 36> buffers;
    bool renderer_create() override { return true; }
    void renderer_release() override {}
    bool renderer_build_panes(int, const platform::Rect*) override { return true; }
    bool toggle_pane_full_view(int) override { return true; }
    bool pane_full_view() const override { return false; }
    int current_pane() const override { return 0; }
    void set_device_window(bool) override {}
    void set_pane_picture_size(int, int, int) override {}
    bool create_pane_surface(int) override { return true; }
    void use_narrow_high_res(bool) override {}
    void draw_pane(const uint8_t*, int pane, std::string_view, bool, uint64_t) override {
        shown[static_cast<size_t>(pane)].fetch_add(1);
    }
    void draw_high_res(const uint8_t*, int, int, int, uint32_t, std::string_view,
                       uint64_t) override {}
    uint8_t* begin_pane_picture(int pane, int width, int height) override {
        auto& b = buffers[static_cast<size_t>(pane)];
        b.resize(static_cast<size_t>(width) * height * 2);
        return b.data();
    }
    void commit_pane_picture(int pane, std::string_view, bool, uint64_t) override {
        shown[static_cast<size_t>(pane)].fetch_add(1);
    }
};

struct NullLayout : view::PaneLayoutHooks {
    void leave_full_view() override {}
    bool apply_layout(int) override { return true; }
};

struct NullMessages : platform::MessageBoxPort {
    platform::MessageResult show_message(std::string_view text, std::string_view,
                                         platform::MessageButtons, platform::MessageIcon) override {
        std::fprintf(stderr, "message: %.*s\n", static_cast<int>(text.size()), text.data());
        return platform::MessageResult::ok;
    }
};

struct InlineUi : pane::UiPost {
    std::mutex lock;
    std::vector<std::function<void()>> posted;
    void post(std::function<void()> fn) override {
        std::lock_guard g(lock);
        posted.push_back(std::move(fn));
    }
    void pump() {
        std::vector<std::function<void()>> ready;
        {
            std::lock_guard g(lock);
            ready.swap(posted);
        }
        for (auto& fn : ready) fn();
    }
};

double process_cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int arg(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const int panes = std::clamp(arg(argc, argv, "--panes", 4), 1, 36);
    const int pictures = std::max(arg(argc, argv, "--pictures", 2000), 100);
    const int seeks = std::max(arg(argc, argv, "--seeks", 40), 1);

    const bench::CameraLoops loops = bench::camera_loops(1);
    const auto& loop = loops[0];
    media::DvrHeader h;
    h.width = bench::kLoopWidth;
    h.height = bench::kLoopHeight;
    media::DvrBuilder builder(h);
    for (int i = 0; i < pictures; ++i) {
        const auto& frame = loop[static_cast<size_t>(i % bench::kLoopFrames)];
        // The loop's frames carry libavcodec's padding; the record holds the frame only.
        builder.add_video(frame.data(), static_cast<uint32_t>(frame.size()),
                          static_cast<uint32_t>(i) * 40, i % bench::kLoopGop == 0);
    }
    builder.finish();
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("orvel-bench-play-" + std::to_string(::getpid()) + ".dvr");
    if (!builder.save(file.string())) return 1;

    const double bare = bench::bare_decode_seconds_per_frame(loops);

    codec::decoder_table_init();
    int result = 0;
    {
        view::AppState state;
        NullRenderer renderer;
        InlineUi ui;
        NullLayout layout;
        NullMessages messages;
        pane::PanePipelines pipelines(state);
        pipelines.env().gpu = &renderer;
        pipelines.env().ui = &ui;
        pane::FilePanes files(state, layout, messages, pipelines.env());
        std::atomic<int> ended{0};
        files.on_ended = [&](int, pane::FileEnd) { ended.fetch_add(1); };

        // Playing: every pane at 4x to its end.
        const double cpu0 = process_cpu_seconds();
        const auto wall0 = SteadyClock::now();
        for (int p = 0; p < panes; ++p) {
            state.selected_pane.store(p);
            if (files.open_file(file.string()) < 0) return 1;
            files.pane(p)->set_speed(4);
        }
        while (ended.load() < panes) {
            ui.pump();
            std::this_thread::sleep_for(5ms);
        }
        const double cpu = process_cpu_seconds() - cpu0;
        const double wall = std::chrono::duration<double>(SteadyClock::now() - wall0).count();
        long shown = 0;
        for (int p = 0; p < panes; ++p) shown += renderer.shown[static_cast<size_t>(p)].load();
        const double per_picture = shown > 0 ? cpu / static_cast<double>(shown) : 0;
        std::printf("playback: %d panes x %d pictures at 4x, %ld shown in %.1f s\n", panes,
                    pictures, shown, wall);
        std::printf("cpu_per_picture_us=%.1f bare_decode_us=%.1f ratio=%.2f\n", per_picture * 1e6,
                    bare * 1e6, bare > 0 ? per_picture / bare : 0.0);

        // Seeking a paused pane: command to picture.
        state.selected_pane.store(0);
        if (files.open_file(file.string()) != 0) return 1;
        pane::FilePane& f = *files.pane(0);
        f.toggle();  // paused
        std::this_thread::sleep_for(100ms);
        std::mt19937 rng(7);
        std::vector<double> ms;
        const uint32_t duration = f.duration_ms();
        for (int i = 0; i < seeks; ++i) {
            const int before = renderer.shown[0].load();
            const auto t0 = SteadyClock::now();
            if (!f.seek(static_cast<uint32_t>(rng() % duration))) continue;
            while (renderer.shown[0].load() == before) std::this_thread::yield();
            ms.push_back(
                std::chrono::duration<double, std::milli>(SteadyClock::now() - t0).count());
        }
        std::sort(ms.begin(), ms.end());
        if (!ms.empty())
            std::printf("seek_to_picture_ms p50=%.2f p95=%.2f max=%.2f (%zu seeks)\n",
                        ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back(), ms.size());
        else
            result = 1;
        files.close_all();
    }
    codec::decoder_table_shutdown();
    std::filesystem::remove(file);
    return result;
}
