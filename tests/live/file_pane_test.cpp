// Local-file panes on the pane pipeline: a recording plays to its end and frees its pane,
// pause / step / seek show exactly the records they should, and a missing or cut-short file
// is handled as an operator would expect.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "../support/fake_ports.h"
#include "../support/temp_dir.h"
#include "clip_tools.h"
#include "codec/decoder_table.h"
#include "media/dvr_file.h"
#include "pane/file_panes.h"
#include "pane/pipelines.h"
#include "stream_fixture.h"

namespace orvel::test {
namespace {

using namespace std::chrono_literals;

// `pictures` MPEG-4 pictures 40 ms apart from 10 s on (a key frame every 10), six audio
// records after every tenth picture; `dual`: the dual form (16-byte records, class 0 video).
std::string make_file(const TempDir& dir, int pictures, std::size_t cut_bytes = 0,
                      bool dual = false) {
    static const auto standard_clip = orvel::testing::encode_lavc(352, 288, 30, 10);
    static const auto dual_clip = orvel::testing::encode_xvid(352, 288, 30, 10);
    const auto& clip = dual ? dual_clip : standard_clip;
    media::DvrHeader h;
    h.width = 352;
    h.height = 288;
    h.codec_marker = dual ? media::kMarkerDual : 0;
    media::DvrBuilder b(h);
    const std::vector<uint8_t> block(512, 0x55);
    for (int i = 0; i < pictures; ++i) {
        const auto& packet = clip[static_cast<std::size_t>(i) % clip.size()];
        b.add_video(packet.data(), static_cast<uint32_t>(packet.size()),
                    10000 + static_cast<uint32_t>(i) * 40, i % 10 == 0);
        if (i % 10 == 9)
            for (int k = 0; k < 6; ++k) b.add_audio(block.data(), 10000 + i * 40);
    }
    b.finish();
    b.bytes().resize(b.bytes().size() - cut_bytes);
    const std::string path = dir.file("clip.dvr").string();
    EXPECT_TRUE(b.save(path));
    return path;
}

class FilePaneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { codec::decoder_table_init(); }
    static void TearDownTestSuite() { codec::decoder_table_shutdown(); }
    FilePaneTest() : pipelines_(state_) {
        pipelines_.env().gpu = &renderer_;
        pipelines_.env().blitter = &renderer_;
        pipelines_.env().ui = &ui_;
        files_.on_ended = [this](int pane, pane::FileEnd how) { ended_.push_back({pane, how}); };
    }
    int drawn(int pane) { return renderer_.draws_per_pane[static_cast<size_t>(pane)].load(); }
    bool pump_until(const std::function<bool()>& done) { return test::pump_until(ui_, done); }

    TempDir dir_;
    view::AppState state_;
    CountingRenderer renderer_;
    QueuedUiPost ui_;
    pane::PanePipelines pipelines_;
    NoLayout layout_;
    FakeMessageBox messages_;
    pane::FilePanes files_{state_, layout_, messages_, pipelines_.env()};
    std::vector<std::pair<int, pane::FileEnd>> ended_;
};

TEST_F(FilePaneTest, PlaysEveryPictureAtFourTimesAndTheEndFreesThePane) {
    const std::string path = make_file(dir_, 30);
    const int pane = files_.open_file(path);
    ASSERT_EQ(pane, 0);
    EXPECT_EQ(state_.pane_kind[0], view::PANE_LOCAL_FILE);
    EXPECT_EQ(files_.pane(0)->duration_ms(), 10000u + 29 * 40);
    files_.pane(0)->set_speed(4);
    EXPECT_EQ(files_.pane(0)->play_state(), pane::kLocalFaster);
    ASSERT_TRUE(pump_until([&] { return !ended_.empty(); }));
    EXPECT_EQ(ended_[0].first, 0);
    EXPECT_EQ(ended_[0].second, pane::FileEnd::end_of_file);
    EXPECT_EQ(drawn(0), 30) << "every video record is shown once, none twice";
    EXPECT_EQ(state_.pane_kind[0], view::PANE_FREE);
    EXPECT_EQ(state_.open_pane_count, 0);
    EXPECT_EQ(state_.local_slots[0], nullptr);
    EXPECT_TRUE(view::check_invariants(state_));
    // The freed pane takes the next file; a dual-form recording plays every picture too.
    ended_.clear();
    renderer_.draws_per_pane[0] = 0;
    ASSERT_EQ(files_.open_file(make_file(dir_, 30, 0, true)), 0);
    files_.pane(0)->set_speed(4);
    ASSERT_TRUE(pump_until([&] { return !ended_.empty(); }));
    EXPECT_EQ(ended_[0].second, pane::FileEnd::end_of_file);
    EXPECT_EQ(drawn(0), 30);
}

TEST_F(FilePaneTest, PauseStepAndSeekShowExactlyTheirRecords) {
    const std::string path = make_file(dir_, 30);
    ASSERT_EQ(files_.open_file(path), 0);
    pane::FilePane& file = *files_.pane(0);
    ASSERT_TRUE(pump_until([&] { return drawn(0) >= 1; }));
    file.toggle();
    EXPECT_EQ(file.play_state(), pane::kLocalPaused);
    // A picture in progress as the pause arrives is finished; one step after it settles the
    // pane (the job has run since), so the count below is exact.
    file.step();
    ASSERT_TRUE(pump_until([&] { return file.play_state() == pane::kLocalPaused; }));
    const int paused_at = drawn(0);
    ASSERT_LT(paused_at, 7) << "the steps below stay before the first audio records";
    for (int i = 0; i < 3; ++i) {
        const int before = drawn(0);
        file.step();
        ASSERT_TRUE(pump_until([&] { return file.play_state() == pane::kLocalPaused; }));
        ASSERT_TRUE(pump_until([&] { return drawn(0) == before + 1; })) << "step " << i;
    }
    EXPECT_EQ(drawn(0), paused_at + 3);

    // Seek to 0 lands on the first index entry and shows its picture although paused.
    const int before_seek = drawn(0);
    ASSERT_TRUE(file.seek(0));
    ASSERT_TRUE(pump_until([&] { return drawn(0) == before_seek + 1; }));
    EXPECT_EQ(file.position_ms(), 10000u);
    EXPECT_EQ(file.play_state(), pane::kLocalPaused);
    EXPECT_FALSE(file.seek(10000 + 40 * 30 + 5000)) << "no index entry so late";

    // Nine steps reach picture 9; six audio records follow it. A photo's step goes on to the
    // next picture; a plain step stops on an audio record.
    for (int i = 0; i < 9; ++i) {
        file.step();
        ASSERT_TRUE(pump_until([&] { return file.play_state() == pane::kLocalPaused; }));
    }
    EXPECT_EQ(file.position_ms(), 10000u + 9 * 40);
    const int at_nine = drawn(0);
    file.step_to_picture();
    ASSERT_TRUE(pump_until([&] { return file.play_state() == pane::kLocalPaused; }));
    EXPECT_EQ(drawn(0), at_nine + 1);
    EXPECT_EQ(file.position_ms(), 10000u + 10 * 40);

    // Play/pause from 3x resumes at 1x.
    file.set_speed(3);
    file.toggle();
    EXPECT_EQ(file.play_state(), pane::kLocalPlaying);
    EXPECT_EQ(state_.local_slots[0]->speed_divisor.load(), 1);
}

TEST_F(FilePaneTest, MissingFileIsSaidAndNeverCreatedAndACutFileEndsNormally) {
    const std::string missing = dir_.file("none.dvr").string();
    EXPECT_EQ(files_.open_file(missing), -1);
    EXPECT_FALSE(std::filesystem::exists(missing)) << "opening never creates the file";
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].caption, missing);
    EXPECT_EQ(state_.open_pane_count, 0);

    // A recording cut inside its last record (a killed recorder) plays to the cut.
    const std::string cut = make_file(dir_, 20, 7);
    ASSERT_EQ(files_.open_file(cut), 0);
    files_.pane(0)->set_speed(4);
    ASSERT_TRUE(pump_until([&] { return !ended_.empty(); }));
    EXPECT_EQ(ended_[0].second, pane::FileEnd::end_of_file);
    EXPECT_EQ(messages_.shown.size(), 1u) << "no damage message for a cut last record";
}

}  // namespace
}  // namespace orvel::test
