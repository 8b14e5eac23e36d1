// Remote playback figures against the simulator's file port on loopback (in this process):
//  - first picture: from the moment the DVR's stream header arrives (the first frame follows
//    it at once) to the first picture handed to the renderer, per camera opened;
//  - seek: four cameras playing, all repositioned at once; time until every pane has shown a
//    picture of the new position.
// Software path, CIF MPEG-4 recordings. Reports medians and maxima over the rounds.
//
//   bench_remote [--rounds 10]
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "codec/decoder_table.h"
#include "pane/pipelines.h"
#include "pane/remote_panes.h"
#include "platform/ports/message_box.h"
#include "server.h"
#include "view/panes.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Blitter final : orvel::view::SoftwareBlitter {
    std::array<std::vector<uint8_t>, 36> buffers;
    void blit(int, const uint8_t*, int, int, const orvel::platform::Rect&, bool,
              const orvel::platform::Rect&, orvel::view::ReceivedAtNs) override {}
    void clear_panes() override {}
    uint8_t* begin_blit(int pane, orvel::view::StoredSize stored) override {
        auto& b = buffers[static_cast<std::size_t>(pane)];
        b.resize(static_cast<std::size_t>(stored.width) * stored.height * 4);
        return b.data();
    }
};

struct Posts final : orvel::pane::UiPost {
    std::mutex mutex;
    std::deque<std::function<void()>> pending;
    void post(std::function<void()> fn) override {
        std::lock_guard lock(mutex);
        pending.push_back(std::move(fn));
    }
    void pump() {
        std::deque<std::function<void()>> ready;
        {
            std::lock_guard lock(mutex);
            ready.swap(pending);
        }
        for (auto& fn : ready) fn();
    }
};

struct NoBoxes final : orvel::platform::MessageBoxPort {
    orvel::platform::MessageResult show_message(std::string_view, std::string_view,
                                                orvel::platform::MessageButtons,
                                                orvel::platform::MessageIcon) override {
        return orvel::platform::MessageResult::ok;
    }
};

struct Layout final : orvel::view::PaneLayoutHooks {
    void leave_full_view() override {}
    bool apply_layout(int) override { return true; }
};

std::string path_of(int camera) {
    char p[96];
    std::snprintf(p, sizeof p,
                  "C:\\dvr_media\\video\\09-03-07\\camera %02d\\09-03-07-10-00-00-%02d.dvr", camera,
                  camera);
    return p;
}

double ms_since(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

void report(const char* what, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::printf("%-44s median %7.1f ms   max %7.1f ms   (%zu)\n", what, v[v.size() / 2], v.back(),
                v.size());
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 10;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::max(1, std::atoi(argv[i + 1]));
    using namespace orvel;
    codec::decoder_table_init();
    dvrsim::Scenario scenario;
    scenario.users["admin"] = "1234";
    scenario.switch_count = 4;
    scenario.stream.camera_count = 4;
    for (int cam = 1; cam <= 4; ++cam)
        scenario.recordings.push_back({cam, 2009, 3, 7, 'C', 10, 0, 0, 0, 600});
    dvrsim::Server server(scenario);
    std::string error;
    if (!server.start("127.0.0.1", 0, error)) {
        std::fprintf(stderr, "bench_remote: %s\n", error.c_str());
        return 1;
    }
    {
        view::AppState state;
        state.display_gdi = 1;
        view::publish_layout(state);
        std::memcpy(state.remote_site_address.data(), "127.0.0.1", 9);
        state.remote_file_port = server.command_port() + 2;
        Blitter blitter;
        Posts posts;
        pane::PanePipelines pipelines(state);
        pipelines.env().blitter = &blitter;
        pipelines.env().ui = &posts;
        Layout layout;
        NoBoxes boxes;
        pane::RemotePanes panes(state, layout, boxes, nullptr, pipelines.env(), {});
        for (int cam = 1; cam <= 4; ++cam) panes.open_remote_pane(cam);

        auto drawn = [&](int pane) {
            return state.remote_slots[static_cast<std::size_t>(pane)]->pictures_drawn.load();
        };
        auto wait_for = [&](const std::function<bool()>& done) {
            const auto until = Clock::now() + 10s;
            while (!done() && Clock::now() < until) {
                posts.pump();
                std::this_thread::sleep_for(1ms);
            }
            return done();
        };

        // First picture after the header: one camera at a time, from a fresh open.
        std::vector<double> first;
        for (int r = 0; r < rounds; ++r) {
            const int cam = 1 + r % 4, pane = panes.pane_of(cam);
            const uint32_t before = drawn(pane);
            panes.play_remote_file(cam, path_of(cam), 36000, 60 + r);
            std::array<uint8_t, 28> header{};
            if (!wait_for([&] { return panes.pipeline(pane)->stream_header(header); })) break;
            const auto header_at = Clock::now();
            if (!wait_for([&] { return drawn(pane) > before; })) break;
            first.push_back(ms_since(header_at));
            panes.stop_remote_pane(cam);
        }

        // Seek with four cameras playing.
        for (int cam = 1; cam <= 4; ++cam) panes.play_remote_file(cam, path_of(cam), 36000, 0);
        wait_for([&] { return drawn(0) > 5 && drawn(1) > 5 && drawn(2) > 5 && drawn(3) > 5; });
        std::vector<double> seek;
        for (int r = 0; r < rounds; ++r) {
            // The old streams stop first (part of the seek), so no picture of theirs counts.
            const auto t0 = Clock::now();
            for (int cam = 1; cam <= 4; ++cam) panes.stop_remote_pane(cam);
            std::array<uint32_t, 4> before{};
            for (int p = 0; p < 4; ++p) before[static_cast<std::size_t>(p)] = drawn(p);
            for (int cam = 1; cam <= 4; ++cam)
                panes.play_remote_file(cam, path_of(cam), 36000, 30 * (r + 1));
            if (!wait_for([&] {
                    for (int p = 0; p < 4; ++p)
                        if (drawn(p) <= before[static_cast<std::size_t>(p)]) return false;
                    return true;
                }))
                break;
            seek.push_back(ms_since(t0));
            std::this_thread::sleep_for(300ms);
        }
        if (!first.empty()) report("first picture after the stream header", first);
        if (!seek.empty()) report("seek of 4 cameras, all showing the new time", seek);
        panes.close_all();
    }
    server.stop();
    codec::decoder_table_shutdown();
    return 0;
}
