// Helper process of the recording kill test and of the soak benchmark: N live panes of a DVR's
// stream port (cameras 1..N), each fed through the real pipeline (network thread, frame ring,
// workers, decoders) and recorded by the one RecordWriter, as the program records a pane.
//
//   live_record_child STREAM_PORT PANES HOME [STATS_FILE]
//
// Recordings go to drive D: mapped to HOME/d. When every pane has handed 100 frames to its
// recording and the writer has written them, one line "recording F1 F2 ..." (frames per pane)
// goes to standard output. With STATS_FILE, the file is rewritten every second with one line
// per pane: "pane P frames F drawn D files N". SIGTERM or SIGINT closes the panes, finishes
// every file and exits 0.
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "codec/decoder_table.h"
#include "media/record_writer.h"
#include "net/stream/stream_recorder.h"
#include "pane/live_pane.h"
#include "pane/pipelines.h"
#include "platform/drives.h"
#include "platform/ini_file.h"
#include "stream_fixture.h"
#include "view/app_state.h"

namespace {

using namespace std::chrono_literals;
using namespace orvel;

std::atomic<bool> g_stop{false};
void on_signal(int) { g_stop = true; }

// What the program's recording pane does with its stream: every header, frame and end goes
// to the pane's recording.
class RecordingLink final : public net::StreamRecorder {
public:
    explicit RecordingLink(std::shared_ptr<media::PaneRecording> rec) : rec_(std::move(rec)) {}
    void on_stream_header(const uint8_t* header28) override { rec_->stream_header(header28); }
    void on_frame(const uint8_t* frame, std::size_t bytes) override {
        rec_->frame(frame, bytes);
        frames.fetch_add(1, std::memory_order_relaxed);
    }
    void on_stream_end() override { rec_->stream_ended(); }
    media::PaneRecording& recording() { return *rec_; }
    std::atomic<uint64_t> frames{0};

private:
    std::shared_ptr<media::PaneRecording> rec_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: live_record_child STREAM_PORT PANES HOME [STATS_FILE]\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const int pane_count = std::clamp(std::atoi(argv[2]), 1, 16);
    const std::filesystem::path home = argv[3];
    const std::string stats_path = argc > 4 ? argv[4] : "";
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::filesystem::create_directories(home / "c");
    std::filesystem::create_directories(home / "d");
    platform::IniFile ini((home / "orvelcam.ini").string());
    ini.write_string("DRIVES", "D", (home / "d").string());
    ini.write_string("RECORD", "DISK", "D");
    const platform::DriveMap drives(ini, (home / "c").string());
    const media::SystemWallClock clock;
    const media::RecorderEnv env{&ini, &drives, &clock};

    codec::decoder_table_init();
    int code = 0;
    {
        view::AppState state;
        test::CountingRenderer renderer;
        test::QueuedUiPost ui;
        pane::PanePipelines pipelines(state);
        pipelines.env().gpu = &renderer;
        pipelines.env().blitter = &renderer;
        pipelines.env().ui = &ui;
        media::RecordWriter writer(env);

        std::vector<std::unique_ptr<view::LiveSlot>> slots;
        std::vector<std::unique_ptr<RecordingLink>> links;
        std::vector<std::unique_ptr<pane::LivePane>> panes;
        for (int p = 0; p < pane_count; ++p) {
            auto slot = view::make_live_slot();
            slot->pane = p;
            std::strcpy(slot->peer_address.data(), "127.0.0.1");
            slot->stream_port = port;
            slot->channel = p + 1;
            links.push_back(std::make_unique<RecordingLink>(writer.start(p, "127.0.0.1", p + 1)));
            panes.push_back(std::make_unique<pane::LivePane>(pipelines.env(), *slot));
            if (!panes.back()->start({}, links.back().get())) code = 1;
            slots.push_back(std::move(slot));
        }
        bool announced = false;
        auto next_stats = std::chrono::steady_clock::now();
        while (!g_stop.load() && code == 0) {
            ui.pump();
            if (!announced) {
                bool all = true;
                for (const auto& l : links) all = all && l->frames.load() >= 100;
                if (all && writer.wait_idle(5000)) {
                    // Counted after the writer was idle: every frame counted is on disk.
                    std::string line = "recording";
                    for (const auto& l : links) line += " " + std::to_string(l->frames.load());
                    std::printf("%s\n", line.c_str());
                    std::fflush(stdout);
                    announced = true;
                }
            }
            if (!stats_path.empty() && std::chrono::steady_clock::now() >= next_stats) {
                next_stats += 1s;
                const std::string temporary = stats_path + ".tmp";
                if (std::FILE* f = std::fopen(temporary.c_str(), "w")) {
                    for (int p = 0; p < pane_count; ++p) {
                        const auto i = static_cast<std::size_t>(p);
                        std::fprintf(
                            f, "pane %d frames %llu drawn %llu files %llu\n", p,
                            static_cast<unsigned long long>(links[i]->frames.load()),
                            static_cast<unsigned long long>(slots[i]->pictures_drawn.load()),
                            static_cast<unsigned long long>(
                                links[i]->recording().status().files_begun));
                    }
                    std::fclose(f);
                    std::rename(temporary.c_str(), stats_path.c_str());
                }
            }
            std::this_thread::sleep_for(50ms);
        }
        // Panes first (the network thread stops feeding the recordings), then the writer
        // finishes every file as it is destroyed.
        for (auto& p : panes) p->close();
        for (auto& l : links) writer.stop(l->recording());
    }
    codec::decoder_table_shutdown();
    return code;
}
