#include "view/panes.h"

#include <gtest/gtest.h>

#include <memory>

#include "../support/fake_ports.h"

namespace orvel::view {
namespace {

struct FakeLayout : PaneLayoutHooks {
    int leaves = 0;
    std::vector<int> layouts;
    void leave_full_view() override {
        ++leaves;
        state->full_view_active = 0;
    }
    bool apply_layout(int count) override {
        layouts.push_back(count);
        return true;
    }
    AppState* state = nullptr;
};

struct PaneFixture : ::testing::Test {
    std::unique_ptr<AppState> state = std::make_unique<AppState>();
    FakeLayout layout;
    test::FakeMessageBox messages;
    void SetUp() override { layout.state = state.get(); }

    // Registers a slot in a pane as an open would (local-file slots: small, same rules).
    void occupy(int p) {
        state->local_slots[static_cast<std::size_t>(p)] = make_local_slot();
        state->pane_kind[static_cast<std::size_t>(p)] = PANE_LOCAL_FILE;
        state->open_pane_count += 1;
    }
    void release(int p) {
        state->local_slots[static_cast<std::size_t>(p)].reset();
        state->pane_kind[static_cast<std::size_t>(p)] = PANE_FREE;
        state->open_pane_count -= 1;
    }
};

TEST_F(PaneFixture, InitialStateHoldsTheInvariants) {
    EXPECT_TRUE(check_invariants(*state));
    EXPECT_EQ(state->grid_side, 2);
    EXPECT_EQ(state->audio_pane.load(), -1);
    EXPECT_EQ(state->latch_a[35], 1);
    ASSERT_NE(state->print_buffer, nullptr);
    EXPECT_EQ(state->print_buffer[kPrintBufferBytes - 1], 0);
    state->open_pane_count = 1;
    EXPECT_FALSE(check_invariants(*state));
    state->open_pane_count = 0;
    state->pane_kind[3] = PANE_REMOTE_FILE;
    EXPECT_FALSE(check_invariants(*state));
}

TEST_F(PaneFixture, FifthOpenGrowsTheGridAndTakesPaneFour) {
    for (int p = 0; p < 4; ++p) {
        EXPECT_EQ(choose_pane(*state, layout, messages, PaneChoiceFor::live_open), p);
        occupy(p);
    }
    EXPECT_EQ(choose_pane(*state, layout, messages, PaneChoiceFor::live_open), 4);
    EXPECT_EQ(state->grid_side, 3);
    EXPECT_EQ(layout.layouts, std::vector<int>{9});
    EXPECT_EQ(state->selected_pane.load(), 4);
    EXPECT_TRUE(check_invariants(*state));
}

TEST_F(PaneFixture, AFreedPaneIsReusedAndRemoteOpensKeepTheSelection) {
    for (int p = 0; p < 4; ++p) occupy(p);
    release(1);
    state->selected_pane = 3;
    EXPECT_EQ(choose_pane(*state, layout, messages, PaneChoiceFor::remote_open), 1);
    EXPECT_EQ(state->selected_pane.load(), 3);
    EXPECT_EQ(choose_pane(*state, layout, messages, PaneChoiceFor::live_open), 1);
    EXPECT_EQ(state->selected_pane.load(), 1);
    EXPECT_TRUE(layout.layouts.empty());
}

TEST_F(PaneFixture, TheThirtySeventhOpenIsRefusedWithItsMessage) {
    state->grid_side = 6;
    for (int p = 0; p < 36; ++p) occupy(p);
    state->selected_pane = 5;
    EXPECT_EQ(choose_pane(*state, layout, messages, PaneChoiceFor::live_open), -1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "not picture can use,please stop play");
    EXPECT_EQ(messages.shown[0].caption, "");
    EXPECT_EQ(state->selected_pane.load(), 5);
    EXPECT_EQ(state->grid_side, 6);
}

TEST_F(PaneFixture, FullViewIsLeftFirstAndABrokenCountIsRefused) {
    state->full_view_active = 1;
    EXPECT_EQ(choose_pane(*state, layout, messages, PaneChoiceFor::live_open), 0);
    EXPECT_EQ(layout.leaves, 1);
    // A count below the grid while every visible pane is used: refused, nothing overwritten.
    for (int p = 0; p < 4; ++p) occupy(p);
    state->open_pane_count = 3;
    EXPECT_EQ(choose_pane(*state, layout, messages, PaneChoiceFor::live_open), -1);
}

TEST_F(PaneFixture, CellsAndRectanglesFollowTheGrid) {
    state->grid_side = 3;
    state->video_client_width = 808;
    state->video_client_height = 657;
    EXPECT_EQ(pane_cell(*state, 4), (platform::Rect{269, 219, 538, 438}));
    EXPECT_EQ(pane_cell(*state, 0), (platform::Rect{0, 0, 269, 219}));
    EXPECT_EQ(pane_rect_in_area(7, 5, 808, 657), (PaneRect{161, 131, 323, 132}));
    EXPECT_EQ(pane_rect_in_area(35, 6, 1280, 1024), (PaneRect{213, 170, 1066, 851}));
    EXPECT_EQ(gpu_pane_rect(3, 2, 1074, 879), (platform::Rect{537, 439, 1074, 878}));
}

TEST_F(PaneFixture, ClicksFindThePaneWhoseCellHoldsThem) {
    for (int side = 2; side <= 6; ++side)
        for (int pane = 0; pane < side * side; ++pane) {
            const platform::Rect cell = grid_cell(pane, side, 1074, 879);
            EXPECT_EQ(pane_at(cell.left, cell.top, side, 1074, 879), pane);
            EXPECT_EQ(pane_at(cell.right - 1, cell.bottom - 1, side, 1074, 879), pane);
        }
    // The strip the integer division leaves at the right and bottom belongs to the last cells.
    EXPECT_EQ(pane_at(1073, 878, 4, 1074, 879), 15);
}

TEST_F(PaneFixture, PipelinesDrawWhereThePublishedLayoutSays) {
    state->screen = kScreenMode1280;
    state->grid_side = 5;
    state->video_client_width = 808;
    state->video_client_height = 657;
    publish_layout(*state);
    const GridLayout layout = state->layout.read();
    EXPECT_EQ(software_dest_rect(layout, 7, false, false), (platform::Rect{323, 132, 483, 262}))
        << "pane 7 of 25 on 808 x 657, less a pixel right and bottom";
    EXPECT_EQ(software_dest_rect(layout, 7, true, false),
              (platform::Rect{0, 0, kScreenMode1280.picture_width, kScreenMode1280.picture_height}))
        << "the full view fills the picture area";
    EXPECT_EQ(software_dest_rect(layout, 7, true, true), (platform::Rect{0, 0, 1280, 1024}));
    // In the full-screen window the cells are the window's: 1280 / 5 = 256 by 1024 / 5 = 204.
    EXPECT_EQ(software_dest_rect(layout, 7, false, true), (platform::Rect{513, 205, 768, 408}));
}

}  // namespace
}  // namespace orvel::view
