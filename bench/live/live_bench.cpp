// End-to-end live view figures: N CIF cameras from the simulator's stream service (in a child
// process, so this process's CPU time is the client's alone), played through the live panes
// on the software path. Reports the share of sent video frames displayed, the client's CPU
// time per displayed frame against libavcodec's bare decode of the same frames measured in
// this run, receive-to-hand-off latency percentiles and resident memory per pane.
//
//   bench_live [--panes 36] [--seconds 60] [--gpu]
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "codec/decoder_table.h"
#include "pane/live_panes.h"
#include "pane/pipelines.h"
#include "platform/memory_tuning.h"
#include "bare_decode.h"
#include "stream/encoders.h"
#include "stream/stream_service.h"
#include "view/panes.h"
#include "view/render/yuy2_convert.h"

namespace {

using namespace orvel::bench;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kCameraWidth = 352, kCameraHeight = 288;

dvrsim::StreamConfig camera_config(int cameras) {
    dvrsim::StreamConfig c;
    c.camera_count = cameras;
    c.loop_frames = 50;
    c.gop = 25;
    c.defaults.kind = dvrsim::StreamKind::mpeg4;
    c.defaults.width = kCameraWidth;
    c.defaults.height = kCameraHeight;
    c.defaults.audio = true;
    return c;
}

// Child process: serves the stream port until SIGTERM, then writes nothing and exits.
std::atomic<bool> g_child_stop{false};
void on_term(int) { g_child_stop = true; }

[[noreturn]] void run_server_child(int listen_fd, int cameras, int ready_fd) {
    signal(SIGTERM, on_term);
    ::prctl(PR_SET_NAME, "bench-dvr", 0, 0, 0);  // its threads can be told apart in profiles
    dvrsim::StreamConfig config = camera_config(cameras);
    dvrsim::StreamLibrary library(config);
    dvrsim::StreamSelectBoard board;
    std::list<std::thread> threads;
    std::vector<int> fds;
    // Pre-encode every camera's loop before the client starts counting.
    std::string error;
    for (int cam = 1; cam <= cameras; ++cam)
        library.video(cam, dvrsim::StreamKind::mpeg4, kCameraWidth, kCameraHeight, error);
    library.audio(error);
    // Encoding is done: the parent's baseline runs while this process is idle.
    const char ready = 1;
    if (::write(ready_fd, &ready, 1) != 1) _exit(1);
    ::close(ready_fd);
    std::thread acceptor([&] {
        while (!g_child_stop.load()) {
            const int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) break;
            fds.push_back(fd);
            threads.emplace_back([&, fd] {
                dvrsim::serve_stream_connection(fd, config, library, board, g_child_stop,
                                                [](const std::string&) {});
            });
        }
    });
    while (!g_child_stop.load()) std::this_thread::sleep_for(50ms);
    ::shutdown(listen_fd, SHUT_RDWR);
    acceptor.join();
    for (int fd : fds) ::shutdown(fd, SHUT_RDWR);
    for (auto& t : threads) t.join();
    _exit(0);
}

// Latency histogram in 1 ms buckets up to 1 s.
struct Histogram {
    std::array<std::atomic<uint32_t>, 1001> buckets{};
    void add_ns(uint64_t ns) {
        const uint64_t ms = std::min<uint64_t>(ns / 1'000'000, 1000);
        buckets[ms].fetch_add(1);
    }
    double percentile(double p) const {
        uint64_t total = 0;
        for (const auto& b : buckets) total += b.load();
        if (total == 0) return 0;
        uint64_t seen = 0;
        for (size_t i = 0; i < buckets.size(); ++i) {
            seen += buckets[i].load();
            if (seen >= p * total) return static_cast<double>(i);
        }
        return 1000;
    }
};

uint64_t now_ns() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
            .count());
}

// Software-path stand-in: copies each picture into the pane's own buffer, as the real blitter
// does before the UI thread presents it, and measures latency at that hand-off.
class MeasuringRenderer : public orvel::view::GpuRenderer, public orvel::view::SoftwareBlitter {
public:
    MeasuringRenderer() {
        for (auto& b : buffers_) b.resize(static_cast<size_t>(kCameraWidth) * kCameraHeight * 4);
    }
    Histogram latency;
    std::atomic<bool> measuring{false};
    std::array<std::mutex, 36> locks;

    bool renderer_create() override { return true; }
    void renderer_release() override {}
    bool renderer_build_panes(int, const orvel::platform::Rect*) override { return true; }
    bool toggle_pane_full_view(int) override { return true; }
    bool pane_full_view() const override { return false; }
    int current_pane() const override { return 0; }
    void set_device_window(bool) override {}
    void set_pane_picture_size(int, int, int) override {}
    bool create_pane_surface(int) override { return true; }
    void use_narrow_high_res(bool) override {}
    void draw_pane(const uint8_t* yuy2, int pane, std::string_view, bool, uint64_t at) override {
        hand_off(yuy2, pane, static_cast<size_t>(kCameraWidth) * kCameraHeight * 2, at);
    }
    void draw_high_res(const uint8_t*, int, int, int, uint32_t, std::string_view,
                       uint64_t) override {}
    void blit(int pane, const uint8_t* bgrx, int w, int h, const orvel::platform::Rect&, bool,
              const orvel::platform::Rect&, uint64_t at) override {
        hand_off(bgrx, pane, static_cast<size_t>(w) * h * 4, at);
    }
    void clear_panes() override {}
    uint8_t* begin_blit(int pane, orvel::view::StoredSize stored) override {
        if (pane < 0 || pane >= 36) return nullptr;
        auto& b = buffers_[static_cast<size_t>(pane)];
        b.resize(static_cast<size_t>(stored.width) * stored.height * 4);
        return b.data();
    }
    void commit_blit(int, orvel::view::StoredSize, const orvel::platform::Rect&, bool,
                     const orvel::platform::Rect&, uint64_t at, uint32_t) override {
        if (measuring.load() && at != 0) latency.add_ns(now_ns() - at);
    }
    uint8_t* begin_pane_picture(int pane, int width, int height) override {
        if (pane < 0 || pane >= 36) return nullptr;
        auto& b = buffers_[static_cast<size_t>(pane)];
        b.resize(static_cast<size_t>(width) * height * 2);
        return b.data();
    }
    void commit_pane_picture(int, std::string_view, bool, uint64_t at) override {
        if (measuring.load() && at != 0) latency.add_ns(now_ns() - at);
    }

private:
    void hand_off(const uint8_t* picture, int pane, size_t bytes, uint64_t at) {
        if (pane < 0 || pane >= 36) return;
        {
            std::lock_guard lock(locks[static_cast<size_t>(pane)]);
            auto& b = buffers_[static_cast<size_t>(pane)];
            std::memcpy(b.data(), picture, std::min(bytes, b.size()));
        }
        if (measuring.load() && at != 0) latency.add_ns(now_ns() - at);
    }
    std::array<std::vector<uint8_t>, 36> buffers_;
};

struct NullLayout : orvel::view::PaneLayoutHooks {
    void leave_full_view() override {}
    bool apply_layout(int) override { return true; }
};

struct NullMessages : orvel::platform::MessageBoxPort {
    orvel::platform::MessageResult show_message(std::string_view text, std::string_view,
                                                orvel::platform::MessageButtons,
                                                orvel::platform::MessageIcon) override {
        std::fprintf(stderr, "message: %.*s\n", static_cast<int>(text.size()), text.data());
        return orvel::platform::MessageResult::ok;
    }
};

double cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long resident_kib() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The client's per-frame work without its threads: the decoder table's decode to YUY2, the
// conversion to BGRX and the copy a blit makes, frames round-robin in one thread.
double pipeline_seconds_per_frame(const std::vector<std::vector<std::vector<uint8_t>>>& loops) {
    std::vector<int> handles;
    for (size_t i = 0; i < loops.size(); ++i)
        handles.push_back(orvel::codec::decoder_create(1, kCameraWidth, kCameraHeight));
    std::vector<uint8_t> picture(static_cast<size_t>(kCameraWidth) * kCameraHeight * 4);
    std::vector<std::vector<uint8_t>> panes(loops.size(), std::vector<uint8_t>(picture.size()));
    int frames = 0;
    const double start = thread_cpu_seconds();
    for (int round = 0; round < 4; ++round) {
        for (size_t i = 0; i < 50; ++i) {
            for (size_t cam = 0; cam < loops.size(); ++cam) {
                if (i >= loops[cam].size() || handles[cam] < 0) continue;
                const auto& bytes = loops[cam][i];
                orvel::codec::decoder_decode(handles[cam], static_cast<int>(bytes.size()),
                                             bytes.data(), picture.data());
                orvel::view::yuy2_to_bgrx(picture.data(), kCameraWidth, kCameraHeight);
                std::memcpy(panes[cam].data(), picture.data(), picture.size());
                ++frames;
            }
        }
    }
    const double secs = thread_cpu_seconds() - start;
    for (int h : handles)
        if (h >= 0) orvel::codec::decoder_destroy(h);
    return frames > 0 ? secs / frames : 0;
}

}  // namespace

int main(int argc, char** argv) {
    orvel::platform::tune_allocator_for_streaming();  // as the program does
    int panes = 36, seconds = 60;
    bool gpu = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--panes") && i + 1 < argc)
            panes = std::clamp(std::atoi(argv[++i]), 1, 36);
        else if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = std::max(5, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--gpu"))
            gpu = true;
    }
    const int listen_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listen_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    ::getsockname(listen_fd, reinterpret_cast<sockaddr*>(&sa), &len);
    ::listen(listen_fd, 64);
    const int port = ntohs(sa.sin_port);
    int ready_pipe[2];
    if (::pipe(ready_pipe) != 0) return 1;
    const pid_t child = fork();
    if (child == 0) {
        ::close(ready_pipe[0]);
        run_server_child(listen_fd, panes, ready_pipe[1]);
    }
    ::close(listen_fd);
    ::close(ready_pipe[1]);

    // Baselines are measured while the simulator is idle: once before the client runs and
    // once after, in this same process.
    const auto loops = camera_loops(panes);
    char ready = 0;
    if (::read(ready_pipe[0], &ready, 1) != 1)
        std::fprintf(stderr, "simulator did not get ready\n");
    ::close(ready_pipe[0]);
    orvel::codec::decoder_table_init();
    const double bare_before = bare_decode_seconds_per_frame(loops);
    const double pipeline_before = pipeline_seconds_per_frame(loops);
    orvel::view::AppState state;
    state.display_gdi = gpu ? 0 : 1;
    state.grid_side = 6;
    state.layout_pane_count = 36;
    orvel::view::publish_layout(state);
    MeasuringRenderer renderer;
    orvel::pane::PanePipelines pipelines(state);
    pipelines.env().gpu = &renderer;
    pipelines.env().blitter = &renderer;
    NullLayout layout;
    NullMessages messages;
    const long base_kib = resident_kib();
    std::vector<long> rss_samples;
    uint64_t queued = 0, drawn = 0;
    double cpu = 0;
    {
        orvel::pane::LivePanes live(state, layout, messages, nullptr, pipelines.env());
        for (int cam = 1; cam <= panes; ++cam) {
            const std::string text = "Cam " + std::to_string(cam) + "--bench";
            if (live.open_live_pane("127.0.0.1", port - 1, cam, text, false) < 0)
                std::fprintf(stderr, "camera %d did not open\n", cam);
        }
        std::this_thread::sleep_for(3s);  // warm-up: decoders learn their streams
        auto totals = [&](uint64_t& q, uint64_t& d) {
            q = d = 0;
            for (auto& s : state.live_slots)
                if (s) q += s->frames_queued.load(), d += s->pictures_drawn.load();
        };
        uint64_t q0, d0;
        totals(q0, d0);
        const double cpu0 = cpu_seconds();
        renderer.measuring = true;
        const auto start = Clock::now();
        while (Clock::now() - start < std::chrono::seconds(seconds)) {
            std::this_thread::sleep_for(1s);
            rss_samples.push_back(resident_kib());
        }
        renderer.measuring = false;
        cpu = cpu_seconds() - cpu0;
        uint64_t q1, d1;
        totals(q1, d1);
        queued = q1 - q0;
        drawn = d1 - d0;
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    const double bare_after = bare_decode_seconds_per_frame(loops);
    const double pipeline_after = pipeline_seconds_per_frame(loops);
    orvel::codec::decoder_table_shutdown();
    const double bare = (bare_before + bare_after) / 2;
    const double pipeline = (pipeline_before + pipeline_after) / 2;

    // Audio frames are queued too (one per 768 ms per camera); video frames are the rest.
    const double audio_frames = panes * seconds / 0.768;
    const double video_queued = static_cast<double>(queued) - audio_frames;
    const double per_frame = drawn > 0 ? cpu / drawn : 0;
    long peak = 0;
    for (long r : rss_samples) peak = std::max(peak, r);
    std::printf("panes %d, %d s, %s path\n", panes, seconds, gpu ? "GPU" : "software");
    std::printf(
        "video frames expected at 25/s: %d, received: %.0f, displayed: %llu (%.2f%% of received)\n",
        panes * seconds * 25, video_queued, static_cast<unsigned long long>(drawn),
        video_queued > 0 ? 100.0 * drawn / video_queued : 0.0);
    std::printf(
        "libavcodec bare decode of the same %d streams: %.1f us per frame (before %.1f, after "
        "%.1f)\n",
        panes, bare * 1e6, bare_before * 1e6, bare_after * 1e6);
    std::printf(
        "client pipeline without threads (decode to YUY2, convert, copy): %.1f us per frame, ratio "
        "%.2f\n",
        pipeline * 1e6, bare > 0 ? pipeline / bare : 0.0);
    std::printf("client CPU per displayed frame: %.1f us; ratio to bare decode %.2f\n",
                per_frame * 1e6, bare > 0 ? per_frame / bare : 0.0);
    std::printf("receive-to-hand-off latency: p50 %.0f ms, p99 %.0f ms\n",
                renderer.latency.percentile(0.50), renderer.latency.percentile(0.99));
    std::printf(
        "resident memory: base %ld KiB, peak %ld KiB, %.2f MiB per pane; first %ld KiB, last %ld "
        "KiB\n",
        base_kib, peak, (peak - base_kib) / 1024.0 / panes,
        rss_samples.empty() ? 0 : rss_samples.front(),
        rss_samples.empty() ? 0 : rss_samples.back());
    return 0;
}
