// Remote-playback panes against the simulated DVR's file port on loopback: a recording plays
// and ends with exactly one pane-finished report, the timeline steps the camera on to its next
// recording, fast play reopens at the position in mode 2, and a saved copy is a sound .dvr file.
#include "pane/remote_panes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "../support/fake_ports.h"
#include "../support/temp_dir.h"
#include "codec/decoder_table.h"
#include "media/dvr_verify.h"
#include "media/timeline/timeline.h"
#include "pane/pipelines.h"
#include "platform/drives.h"
#include "platform/ini_file.h"
#include "server.h"
#include "stream_fixture.h"
#include "view/panes.h"

namespace orvel::test {
namespace {

using namespace std::chrono_literals;

struct FixedLayout : view::PaneLayoutHooks {
    void leave_full_view() override {}
    bool apply_layout(int) override { return true; }
};

dvrsim::Scenario scenario() {
    dvrsim::Scenario s;
    s.users["admin"] = "1234";
    s.switch_count = 4;
    s.stream.camera_count = 4;
    s.stream.loop_frames = 10;
    s.stream.gop = 5;
    // Camera 2: two short recordings with a gap; camera 3 a longer one to save and speed up.
    s.recordings.push_back({2, 2009, 3, 7, 'C', 10, 0, 0, 0, 2});
    s.recordings.push_back({2, 2009, 3, 7, 'C', 10, 0, 5, 1, 2});
    s.recordings.push_back({3, 2009, 3, 7, 'D', 11, 0, 0, 0, 60});
    return s;
}

class RemotePanesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { codec::decoder_table_init(); }
    static void TearDownTestSuite() { codec::decoder_table_shutdown(); }

    RemotePanesTest() : server_(scenario()), pipelines_(state_) {
        std::string error;
        if (!server_.start("127.0.0.1", 0, error)) ADD_FAILURE() << error;
        pipelines_.env().gpu = &renderer_;
        pipelines_.env().ui = &ui_;
        std::memcpy(state_.remote_site_address.data(), "127.0.0.1", 9);
        state_.remote_file_port = server_.command_port() + 2;
    }
    ~RemotePanesTest() override {
        panes_.reset();
        server_.stop();
    }

    void make_panes(media::RecordWriter* writer = nullptr) {
        pane::RemotePanes::Links links;
        links.camera_text = [](int camera) { return "Cam 0" + std::to_string(camera) + "--Yard"; };
        links.finished = [this](int pane, int camera_index) {
            finished_.push_back({pane, camera_index});
            if (on_finished) on_finished(camera_index);
        };
        links.writer = writer;
        panes_ = std::make_unique<pane::RemotePanes>(state_, layout_, messages_, nullptr,
                                                     pipelines_.env(), std::move(links));
    }
    // Runs the UI posts until `done` holds (bounded: the recordings here last seconds).
    bool pump_until(const std::function<bool()>& done, std::chrono::seconds limit = 20s) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            ui_.pump();
            if (done()) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    int log_count(const std::string& needle) const {
        const auto lines = server_.log_lines();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) {
            return l.find(needle) != std::string::npos;
        }));
    }

    dvrsim::Server server_;
    view::AppState state_;
    CountingRenderer renderer_;
    QueuedUiPost ui_;
    pane::PanePipelines pipelines_;
    FixedLayout layout_;
    FakeMessageBox messages_;
    std::unique_ptr<pane::RemotePanes> panes_;
    std::vector<std::pair<int, int>> finished_;
    std::function<void(int camera_index)> on_finished;
};

constexpr const char* kFirst =
    "C:\\dvr_media\\video\\09-03-07\\camera 02\\09-03-07-10-00-00-02.dvr";

TEST_F(RemotePanesTest, ARecordingPlaysItsFramesAndEndsWithOneFinishedReport) {
    make_panes();
    ASSERT_TRUE(panes_->open_remote_pane(2));
    const int pane = panes_->pane_of(2);
    ASSERT_EQ(pane, 0);
    EXPECT_EQ(state_.pane_kind[0], view::PANE_REMOTE_FILE);
    EXPECT_EQ(state_.open_pane_count, 1);
    EXPECT_STREQ(state_.remote_slots[0]->caption.data(), "Remote File : Cam 02--Yard");

    ASSERT_TRUE(panes_->play_remote_file(2, kFirst, 36000, 0));
    ASSERT_TRUE(pump_until([&] { return !finished_.empty(); }));
    // Every picture of the two seconds was shown, at the recording's own times.
    EXPECT_GE(renderer_.draws_per_pane[0].load(), 40);
    EXPECT_EQ(panes_->pane_time_s(pane), 36001);
    EXPECT_FALSE(panes_->plays(pane));
    // Closing the pane stops its job; nothing else was on its way.
    panes_->close_remote_pane(2);
    ui_.pump();
    ASSERT_EQ(finished_.size(), 1u);
    EXPECT_EQ(finished_[0], (std::pair<int, int>{0, 1}));
    EXPECT_EQ(state_.pane_kind[0], view::PANE_FREE);
    EXPECT_EQ(state_.open_pane_count, 0);
}

TEST_F(RemotePanesTest, TheTimelineMovesAFinishedCameraOnToItsNextRecording) {
    make_panes();
    media::Timeline timeline(*panes_, 4, "09-03-07");
    media::DayIndex index;
    media::RecordingSegment a{'C', 10, 0, 0, 0, 2};
    media::RecordingSegment b{'C', 10, 0, 5, 1, 2};
    index.add_segment(2, a);
    index.add_segment(2, b);
    timeline.set_rows(index);
    on_finished = [&](int camera_index) { timeline.next_segment(camera_index); };

    timeline.tick();  // the first tick puts the position at 0:00, before every recording
    ASSERT_TRUE(timeline.row_box_clicked(0, true));  // in a gap: the earliest recording starts
    ASSERT_TRUE(pump_until([&] { return finished_.size() == 2; }));
    EXPECT_EQ(log_count("file: C:\\dvr_media\\video\\09-03-07\\camera 02\\09-03-07-10-00-00-02.dvr"
                        " from 0 s"),
              1);
    EXPECT_EQ(log_count("09-03-07-10-00-05-02.dvr from 0 s"), 1);
    EXPECT_EQ(panes_->pane_time_s(0), 36006) << "the second recording played to its end";
    // The second end finds no third recording.
    EXPECT_FALSE(timeline.next_segment(1));
}

TEST_F(RemotePanesTest, FastPlayReopensAtThePositionInModeTwoAndIsRefusedWhileSaving) {
    TempDir dir;
    platform::IniFile ini(dir.path() / "orvelcam.ini");
    ini.write_string("RECORD", "DISK", "C");
    platform::DriveMap drives(ini, dir.path());
    media::SystemWallClock clock;
    media::RecordWriter writer({&ini, &drives, &clock});
    // The software path, which draws "REC" in a box of its own.
    state_.display_gdi = 1;
    pipelines_.env().blitter = &renderer_;
    view::publish_layout(state_);
    make_panes(&writer);
    ASSERT_TRUE(panes_->open_remote_pane(3));
    const std::string path = "D:\\dvr_media\\video\\09-03-07\\camera 03\\09-03-07-11-00-00-03.dvr";
    ASSERT_TRUE(panes_->play_remote_file(3, path, 39600, 0));
    ASSERT_TRUE(pump_until([&] { return panes_->pane_time_s(0) >= 39602; }));

    EXPECT_FALSE(panes_->fast_play_toggle(false)) << "no timeline";
    const int drawn = renderer_.draws_per_pane[0].load();
    ASSERT_TRUE(panes_->fast_play_toggle(true));
    EXPECT_EQ(state_.fast_play.load(), 1);
    ASSERT_TRUE(pump_until([&] {
        return log_count("(fast)") == 1 && renderer_.draws_per_pane[0].load() > drawn + 5;
    }));
    const auto lines = server_.log_lines();
    const auto fast = std::find_if(lines.begin(), lines.end(),
                                   [](const auto& l) { return l.find("(fast)") != l.npos; });
    const int from_s = std::stoi(fast->substr(fast->find(" from ") + 6));
    EXPECT_GE(from_s, 2);
    EXPECT_LE(from_s, 10);

    // Timer 2 turns fast play off only while a live pane shows the same DVR.
    EXPECT_FALSE(panes_->fast_play_meets_live());
    state_.live_slots[5] = view::make_live_slot();
    std::memcpy(state_.live_slots[5]->peer_address.data(), "127.0.0.2", 9);
    EXPECT_FALSE(panes_->fast_play_meets_live()) << "another DVR";
    std::memcpy(state_.live_slots[5]->peer_address.data(), "127.0.0.1", 9);
    EXPECT_TRUE(panes_->fast_play_meets_live());
    state_.live_slots[5].reset();

    // Back to normal speed (with sound) for the saving.
    ASSERT_TRUE(panes_->fast_play_toggle(true));
    EXPECT_EQ(state_.fast_play.load(), 0);
    std::array<uint8_t, 28> header{};
    ASSERT_TRUE(pump_until([&] { return panes_->pipeline(0)->stream_header(header); }));

    // Saving: from the next key frame, "REC" on the pane; fast play is refused meanwhile.
    ASSERT_TRUE(panes_->record_toggle(0));
    EXPECT_EQ(state_.remote_recording_count.load(), 1);
    EXPECT_EQ(state_.remote_slots[0]->recording.load(), 1);
    EXPECT_FALSE(panes_->fast_play_toggle(true));
    EXPECT_EQ(state_.fast_play.load(), 0);
    const int shown = panes_->pane_time_s(0);
    ASSERT_TRUE(pump_until([&] { return panes_->pane_time_s(0) >= shown + 3; }));
    const platform::Rect dest = renderer_.dest_of(0), rec = renderer_.rec_box_of(0);
    // A pane's destination keeps its right column inclusive: the box is x + w - 60 .. x + w - 10.
    EXPECT_EQ(rec, (platform::Rect{dest.right + 1 - 60, dest.top, dest.right + 1 - 10, dest.top + 25}));
    ASSERT_TRUE(panes_->record_toggle(0));
    EXPECT_EQ(state_.remote_slots[0]->recording.load(), 0);
    const int drawn_saving = renderer_.draws_per_pane[0].load();
    ASSERT_TRUE(pump_until([&] { return renderer_.draws_per_pane[0].load() > drawn_saving + 1; }));
    EXPECT_EQ(renderer_.rec_box_of(0), platform::Rect{}) << "no REC once saving stopped";
    EXPECT_EQ(state_.remote_recording_count.load(), 0);
    ASSERT_TRUE(writer.wait_idle(10'000));

    std::vector<std::filesystem::path> saved;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path()))
        if (e.path().extension() == ".dvr") saved.push_back(e.path());
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_NE(saved[0].string().find("127.0.0.1"), std::string::npos) << saved[0];
    EXPECT_NE(saved[0].string().find("camera 03"), std::string::npos) << saved[0];
    const media::VerifyReport report = media::verify_dvr_file(saved[0].string());
    EXPECT_EQ(report.verdict, media::VerifyVerdict::sound)
        << (report.problems.empty() ? "" : report.problems[0]);
    EXPECT_GT(report.video_records, 20);
    EXPECT_GT(report.audio_records, 0);
    EXPECT_EQ(report.audio_records % 6, 0) << "every sound frame became six 512-byte records";
    // The DVR path the pane requests again is the recording's own.
    EXPECT_STREQ(state_.remote_slots[0]->file_path.data(), path.c_str());
}

}  // namespace
}  // namespace orvel::test
