// Live panes opened with recording: the pane's stream connection feeds the one writer, the
// file it leaves passes the structure check with the frames the pane received, and a disk
// that cannot take the file is reported to the UI once, with the pane still playing.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "../support/fake_ports.h"
#include "../support/temp_dir.h"
#include "codec/decoder_table.h"
#include "media/dvr_verify.h"
#include "media/wall_clock.h"
#include "pane/live_panes.h"
#include "pane/live_recordings.h"
#include "pane/pipelines.h"
#include "platform/drives.h"
#include "platform/ini_file.h"
#include "stream_fixture.h"

namespace orvel::test {
namespace {

using namespace std::chrono_literals;

class LiveRecordingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { codec::decoder_table_init(); }
    static void TearDownTestSuite() { codec::decoder_table_shutdown(); }
    LiveRecordingTest() : pipelines_(state_) {
        pipelines_.env().gpu = &renderer_;
        pipelines_.env().blitter = &renderer_;
        pipelines_.env().ui = &ui_;
        std::filesystem::create_directories(dir_.file("c"));
        ini_.write_string("RECORD", "DISK", "D");
    }
    media::RecorderEnv env() const { return media::RecorderEnv{&ini_, &drives_, &clock_}; }
    // Every .dvr file under the temporary tree.
    std::vector<std::filesystem::path> files() const {
        std::vector<std::filesystem::path> out;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir_.path()))
            if (e.path().extension() == ".dvr") out.push_back(e.path());
        return out;
    }
    bool pump_until(const std::function<bool()>& done) { return test::pump_until(ui_, done); }

    TempDir dir_;
    platform::IniFile ini_{dir_.file("orvelcam.ini")};
    platform::DriveMap drives_{ini_, dir_.file("c")};
    media::SystemWallClock clock_;
    view::AppState state_;
    CountingRenderer renderer_;
    QueuedUiPost ui_;
    pane::PanePipelines pipelines_;
    NoLayout layout_;
    FakeMessageBox messages_;
};

dvrsim::StreamConfig config() {
    dvrsim::StreamConfig c;
    c.camera_count = 4;
    c.loop_frames = 25;
    c.gop = 5;
    return c;
}

TEST_F(LiveRecordingTest, RecordedPaneLeavesASoundFileWithItsFrames) {
    std::filesystem::create_directories(dir_.file("d"));
    ini_.write_string("DRIVES", "D", dir_.file("d").string());
    LoopbackStreamServer server(config());
    server.warm(2);
    pane::LiveRecordings recordings(env(), ui_);
    {
        pane::LivePanes panes(state_, layout_, messages_, nullptr, pipelines_.env());
        panes.recorder_for = [&](const view::LiveSlot& slot) { return recordings.start(slot); };
        panes.on_closed = [&](int pane) { recordings.finish(pane); };
        const int pane =
            panes.open_live_pane("127.0.0.1", server.port() - 1, 2, "Cam 02--Door", true);
        ASSERT_EQ(pane, 0);
        EXPECT_TRUE(state_.live_slots[0]->recording) << "REC shows: a recorder is fed";
        ASSERT_TRUE(pump_until([&] { return renderer_.draws_per_pane[0].load() >= 30; }));
        const media::PaneRecording* rec = recordings.recording(0);
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(rec->status().fault, media::RecordFault::none);
        EXPECT_TRUE(panes.close_live_pane(0));
        EXPECT_EQ(recordings.recording(0), nullptr) << "closing the pane ends its recording";
    }
    ASSERT_TRUE(recordings.wait_idle(10000));
    const auto written = files();
    ASSERT_EQ(written.size(), 1u);
    const std::string path = written[0].string();
    EXPECT_NE(path.find("dvr_media/video/127.0.0.1/"), std::string::npos) << path;
    EXPECT_NE(path.find("camera 02"), std::string::npos) << path;
    const media::VerifyReport report = media::verify_dvr_file(path);
    EXPECT_EQ(report.verdict, media::VerifyVerdict::sound) << path;
    // Every picture the pane drew came through the recorder first; the file begins at a key
    // frame, so it may miss the few pictures before the first one.
    EXPECT_GE(report.video_records + 5, static_cast<uint64_t>(renderer_.draws_per_pane[0].load()));
    EXPECT_GE(report.key_frames, 1u);
    EXPECT_GE(report.index_entries, 1u);
}

TEST_F(LiveRecordingTest, UnwritableDiskIsReportedOnceAndThePaneKeepsPlaying) {
    // The D: folder lies under a plain file, so no folder can be made there.
    std::ofstream(dir_.file("blocker")) << "x";
    ini_.write_string("DRIVES", "D", (dir_.file("blocker") / "d").string());
    LoopbackStreamServer server(config());
    server.warm(1);
    pane::LiveRecordings recordings(env(), ui_);
    std::vector<media::RecordFault> faults;
    recordings.on_fault = [&](int pane, media::RecordFault fault, const std::string& label) {
        EXPECT_EQ(pane, 0);
        EXPECT_NE(label.find("127.0.0.1 channel 01"), std::string::npos) << label;
        faults.push_back(fault);
    };
    pane::LivePanes panes(state_, layout_, messages_, nullptr, pipelines_.env());
    panes.recorder_for = [&](const view::LiveSlot& slot) { return recordings.start(slot); };
    panes.on_closed = [&](int pane) { recordings.finish(pane); };
    ASSERT_EQ(panes.open_live_pane("127.0.0.1", server.port() - 1, 1, "Cam 01--Gate", true), 0);
    ASSERT_TRUE(
        pump_until([&] { return !faults.empty() && renderer_.draws_per_pane[0].load() >= 30; }));
    EXPECT_EQ(faults, std::vector<media::RecordFault>{media::RecordFault::cannot_create})
        << "one report for the episode, not one per frame or per retry";
    EXPECT_GT(recordings.recording(0)->status().frames_unwritten, 0u);
    panes.close_all();
    EXPECT_TRUE(files().empty());
}

}  // namespace
}  // namespace orvel::test
