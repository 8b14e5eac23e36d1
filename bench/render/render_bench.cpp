// Per-frame cost of the two renderers against libavcodec's bare decode of a CIF MPEG-4 frame,
// all measured in one run; each iteration is one frame. The closing lines give the ratios.
//
//   gpu_draw_call       GPU path, display thread: draw_pane (copy into the pane buffer, mark)
//   software_draw_call  software path, display thread: yuy2_to_bgrx + blit (copy, mark)
//   software_blit_only  the blit alone (the conversion is the display thread's own work)
//   software_present    software path, UI thread: take the pane and paint it into its rectangle
//   gpu_present         GPU path, UI thread: upload, convert and scale, caption (informative:
//                       under a virtual display the GL driver itself runs on the CPU)
//
// Run under an X display (xvfb-run) for the GPU figures; without one they are skipped.
#include <QApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "clip_tools.h"
#include "gui/render/gl_renderer.h"
#include "gui/render/software_renderer.h"
#include "platform/ports/message_box.h"
#include "view/render/yuy2_convert.h"

namespace {

using orvel::testing::Packet;
namespace render = orvel::gui::render;

constexpr int kWidth = 352;
constexpr int kHeight = 288;

class SilentBoxes : public orvel::platform::MessageBoxPort {
public:
    orvel::platform::MessageResult show_message(std::string_view text, std::string_view,
                                                orvel::platform::MessageButtons,
                                                orvel::platform::MessageIcon) override {
        std::fprintf(stderr, "renderer: %.*s\n", static_cast<int>(text.size()), text.data());
        return orvel::platform::MessageResult::ok;
    }
};

const std::vector<Packet>& clip() {
    static const std::vector<Packet> packets = orvel::testing::encode_lavc(kWidth, kHeight, 50, 25);
    return packets;
}

// A moving YUY2 picture (the decoder's output format).
const std::vector<uint8_t>& yuy2_picture() {
    static const std::vector<uint8_t> picture = [] {
        std::vector<uint8_t> p(static_cast<size_t>(kWidth) * kHeight * 2);
        for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
        return p;
    }();
    return picture;
}

void bare_decode(benchmark::State& state) {
    const std::vector<Packet>& packets = clip();
    std::vector<std::vector<uint8_t>> padded;
    for (const Packet& p : packets) {
        padded.emplace_back(p.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        std::memcpy(padded.back().data(), p.data(), p.size());
    }
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->thread_count = 1;
    avcodec_open2(ctx, codec, nullptr);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    size_t next = 0;
    for (auto _ : state) {
        packet->data = padded[next].data();
        packet->size = static_cast<int>(packets[next].size());
        next = (next + 1) % packets.size();
        avcodec_send_packet(ctx, packet);
        while (avcodec_receive_frame(ctx, frame) == 0) {
            benchmark::DoNotOptimize(frame->data[0][0]);
            av_frame_unref(frame);
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
}

struct GlSetup {
    QWidget window;
    SilentBoxes boxes;
    std::unique_ptr<render::GlRenderer> renderer;
    bool ok = false;
};

// Made on first use, destroyed before the application.
std::unique_ptr<GlSetup> g_gl;

GlSetup& gl_setup() {
    if (!g_gl) {
        g_gl = std::make_unique<GlSetup>();
        GlSetup& setup = *g_gl;
        setup.window.resize(808, 657);
        setup.window.show();
        QApplication::processEvents();
        setup.renderer = std::make_unique<render::GlRenderer>(&setup.window, setup.boxes);
        setup.renderer->set_refresh_interval_ms(1000000);
        if (setup.renderer->renderer_create()) {
            orvel::platform::Rect rects[4];
            for (int p = 0; p < 4; ++p) {
                rects[p] = {(p % 2) * 404, (p / 2) * 328, (p % 2 + 1) * 404, (p / 2 + 1) * 328};
                setup.renderer->set_pane_picture_size(kWidth, kHeight, p);
            }
            setup.ok = setup.renderer->renderer_build_panes(4, rects);
        }
    }
    return *g_gl;
}

void gpu_draw_call(benchmark::State& state) {
    GlSetup& s = gl_setup();
    if (!s.ok) {
        state.SkipWithError("no OpenGL device");
        return;
    }
    const std::vector<uint8_t>& picture = yuy2_picture();
    for (auto _ : state) s.renderer->draw_pane(picture.data(), 0, "Cam 01--Gate", false, 1);
}

void gpu_present(benchmark::State& state) {
    GlSetup& s = gl_setup();
    if (!s.ok) {
        state.SkipWithError("no OpenGL device");
        return;
    }
    const std::vector<uint8_t>& picture = yuy2_picture();
    auto* widget = static_cast<QOpenGLWidget*>(s.renderer->widget());
    for (auto _ : state) {
        s.renderer->draw_pane(picture.data(), 0, "Cam 01--Gate", false, 1);
        s.renderer->refresh();
        widget->repaint();
        widget->makeCurrent();
        widget->context()->functions()->glFinish();
        widget->doneCurrent();
    }
}

struct SoftwareSetup {
    QWidget window;
    std::unique_ptr<render::SoftwareRenderer> renderer;
};

std::unique_ptr<SoftwareSetup> g_software;

SoftwareSetup& software_setup() {
    if (!g_software) {
        g_software = std::make_unique<SoftwareSetup>();
        SoftwareSetup& setup = *g_software;
        setup.window.resize(808, 657);
        setup.window.show();
        QApplication::processEvents();
        setup.renderer = std::make_unique<render::SoftwareRenderer>(&setup.window);
        setup.renderer->set_refresh_interval_ms(1000000);
    }
    return *g_software;
}

void software_draw_call(benchmark::State& state) {
    SoftwareSetup& s = software_setup();
    const std::vector<uint8_t>& picture = yuy2_picture();
    std::vector<uint8_t> bgrx(static_cast<size_t>(kWidth) * kHeight * 4);
    const orvel::platform::Rect dest{1, 1, 404, 328};
    for (auto _ : state) {
        orvel::view::yuy2_to_bgrx_copy(picture.data(), bgrx.data(), kWidth, kHeight);
        s.renderer->blit(0, bgrx.data(), kWidth, kHeight, dest, false, {}, 1);
    }
}

void software_blit_only(benchmark::State& state) {
    SoftwareSetup& s = software_setup();
    std::vector<uint8_t> bgrx(static_cast<size_t>(kWidth) * kHeight * 4, 0x55);
    const orvel::platform::Rect dest{1, 1, 404, 328};
    for (auto _ : state) s.renderer->blit(0, bgrx.data(), kWidth, kHeight, dest, false, {}, 1);
}

void software_present(benchmark::State& state) {
    SoftwareSetup& s = software_setup();
    std::vector<uint8_t> bgrx(static_cast<size_t>(kWidth) * kHeight * 4, 0x55);
    const orvel::platform::Rect dest{1, 1, 404, 328};
    QWidget* surface = s.renderer->video_surface();
    for (auto _ : state) {
        s.renderer->blit(0, bgrx.data(), kWidth, kHeight, dest, false, {}, 1);
        s.renderer->refresh();
        surface->repaint(1, 1, 403, 327);
    }
}

// Prints each benchmark's time per frame over the bare decode's at the end of the run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (!run.error_occurred && run.iterations > 0)
                cpu_ns_[run.benchmark_name()] = run.GetAdjustedCPUTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto base = cpu_ns_.find("bare_decode");
        if (base == cpu_ns_.end() || base->second <= 0) return;
        std::printf("\nCPU time per CIF frame as a ratio of libavcodec's bare decode:\n");
        for (const auto& [name, time] : cpu_ns_)
            if (name != "bare_decode") std::printf("  %-20s %.3f\n", name.c_str(), time / base->second);
    }

private:
    std::map<std::string, double> cpu_ns_;
};

}  // namespace

BENCHMARK(bare_decode)->Unit(benchmark::kMicrosecond);
BENCHMARK(gpu_draw_call)->Unit(benchmark::kMicrosecond);
BENCHMARK(software_draw_call)->Unit(benchmark::kMicrosecond);
BENCHMARK(software_blit_only)->Unit(benchmark::kMicrosecond);
BENCHMARK(software_present)->Unit(benchmark::kMicrosecond);
BENCHMARK(gpu_present)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    const char* display = std::getenv("DISPLAY");
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", display && *display ? "xcb" : "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    g_gl.reset();
    g_software.reset();
    return 0;
}
