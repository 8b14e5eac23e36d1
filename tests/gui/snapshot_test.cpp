// Photos of live panes: the picture the pane's pipeline hands over is written once, under
// the automatic name through the drive mapping, in the pixel form of the display path; a
// drive that cannot take it is told to the operator. And the save dialog's ".bmp" rule.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "../support/fake_ports.h"
#include "../support/temp_dir.h"
#include "gui/program_snapshots.h"
#include "gui_test_support.h"
#include "platform/ini_file.h"

namespace orvel::gui {
namespace {

struct RunNowUiPost : pane::UiPost {
    void post(std::function<void()> fn) override { fn(); }
};

class SnapshotTest : public ::testing::Test {
protected:
    SnapshotTest() {
        test::app();
        state_.pane_kind[2] = view::PANE_LIVE;
        state_.live_slots[2] = view::make_live_slot();
        state_.live_slots[2]->pane = 2;
        ProgramSnapshots::Links links;
        links.state = &state_;
        links.config = &config_;
        links.drives = &drives_;
        links.messages = &messages_;
        links.ui = &ui_;
        snapshots_ = std::make_unique<ProgramSnapshots>(links, dispatcher_);
    }
    std::vector<std::filesystem::path> bmps() const {
        std::vector<std::filesystem::path> out;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir_.path()))
            if (e.path().extension() == ".bmp") out.push_back(e.path());
        return out;
    }

    orvel::test::TempDir dir_;
    platform::IniFile ini_{dir_.file("orvelcam.ini")};
    app::Config config_{ini_};
    platform::DriveMap drives_{ini_, dir_.file("home")};
    view::AppState state_;
    orvel::test::FakeMessageBox messages_;
    RunNowUiPost ui_;
    app::CommandDispatcher dispatcher_;
    std::unique_ptr<ProgramSnapshots> snapshots_;
    std::vector<uint8_t> grey_ = std::vector<uint8_t>(352 * 288 * 2, 0x80);
};

TEST_F(SnapshotTest, LivePhotoIsTheNextPictureOnceUnderTheAutomaticName) {
    std::filesystem::create_directories(dir_.file("home"));
    snapshots_->take(2, grey_.data(), 352, 288, false);
    EXPECT_TRUE(bmps().empty()) << "no photo was asked for";

    snapshots_->photo(2);
    EXPECT_EQ(state_.live_slots[2]->snapshot_requested.load(), 1) << "the pipeline takes it";
    snapshots_->take(2, grey_.data(), 352, 288, false);
    snapshots_->take(2, grey_.data(), 352, 288, false);  // one photo, one file
    auto files = bmps();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].parent_path(), dir_.file("home") / "DVR" / "QEV_image");
    const std::string bytes = orvel::test::TempDir::read(files[0]);
    ASSERT_EQ(bytes.size(), 54u + 304128u) << "24-bit on the GPU path";
    EXPECT_EQ(static_cast<uint8_t>(bytes[28]), 24);
    EXPECT_EQ(static_cast<uint8_t>(bytes[54]), 0x80) << "YUY2 80 80 80 80 is grey 80";
    EXPECT_EQ(static_cast<uint8_t>(bytes[56]), 0x80);

    // The software path shows BGRX pictures: its photo is 32-bit.
    std::filesystem::remove(files[0]);
    snapshots_->photo(2);
    snapshots_->take(2, grey_.data(), 352, 288, true);
    files = bmps();
    ASSERT_EQ(files.size(), 1u);
    const std::string wide = orvel::test::TempDir::read(files[0]);
    EXPECT_EQ(wide.size(), 54u + 352u * 288u * 4u);
    EXPECT_EQ(static_cast<uint8_t>(wide[28]), 32);
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(SnapshotTest, AFolderThatCannotBeMadeIsToldToTheOperator) {
    // C: is a plain file: no DVR folder can be made in it.
    std::ofstream(dir_.file("home")) << "x";
    snapshots_->photo(2);
    snapshots_->take(2, grey_.data(), 352, 288, false);
    EXPECT_EQ(messages_.shown.size(), 1u);
    EXPECT_NE(messages_.shown[0].text.find("snapshot cannot be written"), std::string::npos);
}

TEST(SnapshotSaveName, BmpIsAddedOnlyWhenTheNameLacksIt) {
    EXPECT_EQ(snapshot_save_name("/tmp/door"), "/tmp/door.bmp");
    EXPECT_EQ(snapshot_save_name("/tmp/door.bmp"), "/tmp/door.bmp");
    EXPECT_EQ(snapshot_save_name("/tmp/DOOR.BMP"), "/tmp/DOOR.BMP");
    EXPECT_EQ(snapshot_save_name("/tmp/door.bmp.txt"), "/tmp/door.bmp.txt.bmp");
}

}  // namespace
}  // namespace orvel::gui
