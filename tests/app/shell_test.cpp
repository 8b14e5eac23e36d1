#include "app/shell.h"

#include <gtest/gtest.h>

#include <memory>

#include "../support/fake_ports.h"
#include "../support/temp_dir.h"
#include "app/command_ids.h"
#include "app/screen_choice.h"
#include "view/fixed_text.h"

namespace orvel::app {
namespace {

using platform::MenuId;

// Local playback as a test double: one pane plays a file of a set length.
struct FakePlayback : LocalPlaybackPort {
    int playing_pane = -1;
    std::int64_t file_length = 0;
    std::int64_t file_position = 0;
    int state = 2;
    std::vector<std::string> calls;
    std::vector<std::int64_t> times_shown;

    bool plays_file(int pane) const override { return pane == playing_pane; }
    std::int64_t position(int) const override { return file_position; }
    std::int64_t length(int) const override { return file_length; }
    int play_state(int) const override { return state; }
    void pause(int) override { calls.push_back("pause"); }
    void seek(int, std::int64_t target) override {
        calls.push_back("seek " + std::to_string(target));
    }
    void resume(int) override { calls.push_back("resume"); }
    void show_time(int, std::int64_t value) override { times_shown.push_back(value); }
    void refresh_controls(int pane) override { calls.push_back("refresh " + std::to_string(pane)); }
    void finish_pane(int pane) override { calls.push_back("finish " + std::to_string(pane)); }
};

struct ShellFixture : ::testing::Test {
    test::TempDir dir;
    platform::IniFile ini{dir.file("orvelcam.ini")};
    Config config{ini};
    std::unique_ptr<view::AppState> state = std::make_unique<view::AppState>();
    test::FakeMessageBox messages;
    test::FakeTree tree;
    test::FakeMenus menus;
    test::FakeControls controls;
    test::FakeTimers timers;
    test::FakeSleeper sleeper;
    CommandDispatcher dispatcher;
    std::unique_ptr<Shell> shell;
    FakePlayback playback;

    void SetUp() override {
        menus.append_item(MenuId::audio, id::kAudioSilence, "silence");
        shell = std::make_unique<Shell>(
            *state, config, ShellPorts{messages, tree, menus, controls, timers, sleeper},
            dispatcher);
    }
    void start() {
        shell->initialise();
        shell->set_local_playback(&playback);
    }
    void use_pane(int p) { state->pane_kind[static_cast<std::size_t>(p)] = view::PANE_LIVE; }
};

TEST(ScreenChoice, CommandLineWinsThenOnlyAnExact1280ScreenGives1280) {
    using view::ScreenModeKind;
    EXPECT_EQ(choose_screen_mode("1280", 1024, 768), ScreenModeKind::mode_1280);
    EXPECT_EQ(choose_screen_mode("1024", 1280, 1024), ScreenModeKind::mode_1024);
    EXPECT_EQ(choose_screen_mode("other", 1280, 1024), ScreenModeKind::mode_1280);
    EXPECT_EQ(choose_screen_mode("", 1600, 1200), ScreenModeKind::mode_1024);
    EXPECT_EQ(choose_screen_mode("1280 ", 1024, 768), ScreenModeKind::mode_1024);
    const char* argv[] = {"orvelcam", "1280"};
    EXPECT_EQ(command_line_from_args(2, argv), "1280");
    EXPECT_EQ(command_line_from_args(1, argv), "");
    // --verbose is the program's own and does not spoil the exact "1280".
    const char* verbose[] = {"orvelcam", "--verbose", "1280"};
    const ProgramOptions options = parse_program_options(3, verbose);
    EXPECT_TRUE(options.verbose);
    EXPECT_EQ(choose_screen_mode(options.command_line, 1024, 768), ScreenModeKind::mode_1280);
    EXPECT_FALSE(parse_program_options(2, argv).verbose);
}

TEST_F(ShellFixture, InitialisationLaysOutFourPanesAndFillsTheTree) {
    ini.write_string("LOCATION", "num", "3");
    ini.write_string("LOCATION", "pos0", "Gate");
    ini.write_string("LOCATION", "ip0", "10.0.0.1");
    ini.write_string("LOCATION", "pos1", "Hall");
    ini.write_string("LOCATION", "ip1", "10.0.0.2");
    ini.write_string("LOCATION", "port11", "9100");
    ini.write_string("LOCATION", "pos2", "Hall2");
    ini.write_string("LOCATION", "ip2", "10.0.0.2");
    ini.write_string("LOCATION", "port12", "9100");
    ini.write_string("DEFAULT", "ip", "10.0.0.2");
    ini.write_string("DEFAULT", "port", "9100");
    platform::TreeItem connected = platform::kNoTreeItem;
    shell->hooks().connect_default_site = [&](platform::TreeItem item) { connected = item; };
    start();

    EXPECT_EQ(state->grid_side, 2);
    EXPECT_EQ(state->layout_pane_count, 4);
    EXPECT_EQ(menus.ids(MenuId::audio), (std::vector<int>{5999, 6000, 6001, 6002, 6003}));
    EXPECT_EQ(menus.checked(MenuId::audio), std::vector<int>{5999});
    EXPECT_EQ(controls.slider_ranges[id::kSeekSlider], std::make_pair(0, 1000));
    EXPECT_EQ(controls.texts[id::kTimeText], "00:00:00");
    EXPECT_FALSE(controls.visible_state[id::kSeekSlider]);
    EXPECT_EQ(ini.get_string("PLAY", "DIRECTDRAWSUPPORT", "", 16), "TRUE");
    EXPECT_EQ(timers.running[id::kTimerTimeline], 15000);

    const auto sites = tree.children(platform::kNoTreeItem);
    ASSERT_EQ(sites.size(), 3u);
    EXPECT_EQ(tree.item(sites[0]).text, "Gate(10.0.0.1)");
    EXPECT_EQ(tree.item(sites[0]).data, 9000u);
    EXPECT_EQ(tree.item(sites[0]).state_image, 6);
    // Two sites match the default: the last one is it, and it is connected at start.
    EXPECT_EQ(state->default_site_item, sites[2]);
    EXPECT_EQ(connected, sites[2]);
}

TEST_F(ShellFixture, SplitGuardRefusesWhileADroppedPaneIsInUse) {
    start();
    dispatcher.dispatch(id::kSplit16);
    ASSERT_EQ(state->grid_side, 4);
    use_pane(0);
    use_pane(7);
    dispatcher.dispatch(id::kSplit4);
    EXPECT_EQ(state->grid_side, 4);
    EXPECT_EQ(state->layout_pane_count, 16);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "please stop the fourth then play");
    EXPECT_EQ(messages.shown[0].caption, "please stop file");

    state->pane_kind[7] = view::PANE_FREE;
    use_pane(3);
    state->selected_pane = 3;
    dispatcher.dispatch(id::kSplit4);
    EXPECT_EQ(state->grid_side, 2);
    EXPECT_EQ(state->layout_pane_count, 4);
    EXPECT_EQ(state->selected_pane.load(), 0);
    EXPECT_EQ(state->last_click_x, 1);
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(ShellFixture, EachGuardHasItsMessageAndGrowingNeverAsks) {
    start();
    dispatcher.dispatch(id::kSplit36);
    use_pane(30);
    const std::pair<int, const char*> cases[] = {
        {id::kSplit25, "please stop the 25 picture then play"},
        {id::kSplit16, "please stop the sixteenth picture then play"},
        {id::kSplit9, "please stop the nineth then play"},
        {id::kSplit4, "please stop the fourth then play"},
    };
    for (const auto& [button, text] : cases) {
        messages.shown.clear();
        dispatcher.dispatch(button);
        ASSERT_EQ(messages.shown.size(), 1u) << button;
        EXPECT_EQ(messages.shown[0].text, text);
        EXPECT_EQ(state->grid_side, 6);
    }
    state->pane_kind[30] = view::PANE_FREE;
    use_pane(5);
    messages.shown.clear();
    dispatcher.dispatch(id::kSplit9);
    EXPECT_EQ(state->grid_side, 3);
    dispatcher.dispatch(id::kSplit4);  // pane 5 is beyond 4 panes
    EXPECT_EQ(state->grid_side, 3);
    EXPECT_EQ(messages.shown.size(), 1u);
    dispatcher.dispatch(id::kSplit25);
    EXPECT_EQ(state->grid_side, 5);
}

TEST_F(ShellFixture, SameSplitOrFullViewChangesNothing) {
    start();
    const auto faces_before = controls.face_log.size();
    dispatcher.dispatch(id::kSplit4);
    EXPECT_EQ(controls.face_log.size(), faces_before);
    state->full_view_active = 1;
    dispatcher.dispatch(id::kSplit36);
    EXPECT_EQ(state->grid_side, 2);
    EXPECT_EQ(state->layout_pane_count, 4);
}

TEST_F(ShellFixture, SplitChangeRefreshesPlaybackControlsExceptForNinePanes) {
    start();
    dispatcher.dispatch(id::kSplit9);
    EXPECT_TRUE(playback.calls.empty());
    dispatcher.dispatch(id::kSplit16);
    EXPECT_EQ(playback.calls, std::vector<std::string>{"refresh 0"});
}

TEST_F(ShellFixture, LayoutButtonsSwapFacesAndSlotsGetNewRectangles) {
    start();
    state->live_slots[7] = view::make_live_slot();
    state->live_slots[7]->pane = 7;
    state->pane_kind[7] = view::PANE_LIVE;
    state->open_pane_count = 1;
    dispatcher.dispatch(id::kSplit25);
    EXPECT_EQ(controls.faces[id::kSplit4], 203);
    EXPECT_EQ(controls.faces[id::kSplit25], 448);
    // 25 panes on 808 x 657: pane 7 is at (323, 132), 161 x 131, as the pipelines read it.
    const view::GridLayout layout = state->layout.read();
    EXPECT_EQ(view::pane_rect_in_area(7, layout.grid_side, layout.area_width, layout.area_height),
              (view::PaneRect{161, 131, 323, 132}));
    EXPECT_EQ(state->live_slots[7]->draw_enabled.load(), 1);
}

TEST_F(ShellFixture, AudioChoiceMovesTheCheckAndTheFace) {
    start();
    dispatcher.dispatch(6002);  // "channel 3"
    EXPECT_EQ(state->audio_pane.load(), 2);
    EXPECT_EQ(menus.checked(MenuId::audio), std::vector<int>{6002});
    EXPECT_EQ(controls.faces[id::kAudioButton], 432);
    const auto log_size = menus.log.size();
    dispatcher.dispatch(6002);
    EXPECT_EQ(menus.log.size(), log_size);
    EXPECT_EQ(state->previous_audio_pane, -1);
    dispatcher.dispatch(id::kAudioSilence);
    EXPECT_EQ(state->audio_pane.load(), -1);
    EXPECT_EQ(state->previous_audio_pane, 2);
    EXPECT_EQ(menus.checked(MenuId::audio), std::vector<int>{5999});
    EXPECT_EQ(controls.faces[id::kAudioButton], 433);
}

TEST_F(ShellFixture, PanesThirtyTwoToThirtyFiveAreChosenLikeTheOthers) {
    start();
    dispatcher.dispatch(6033);  // not in the 4-pane grid: no item, nothing happens
    EXPECT_EQ(state->audio_pane.load(), -1);
    dispatcher.dispatch(id::kSplit36);
    EXPECT_TRUE(menus.has_item(MenuId::audio, 6035));
    EXPECT_EQ(menus.entry(MenuId::audio, 6035)->text, "channel 36");
    for (int item = 6032; item <= 6035; ++item) {
        dispatcher.dispatch(item);
        EXPECT_EQ(state->audio_pane.load(), item - 6000);
        EXPECT_EQ(menus.checked(MenuId::audio), std::vector<int>{item});
    }
}

TEST_F(ShellFixture, ShrinkingPastTheHeardPaneSilencesIt) {
    start();
    dispatcher.dispatch(id::kSplit16);
    dispatcher.dispatch(6009);
    ASSERT_EQ(state->audio_pane.load(), 9);
    dispatcher.dispatch(id::kSplit4);
    EXPECT_EQ(state->audio_pane.load(), -1);
    EXPECT_EQ(menus.ids(MenuId::audio), (std::vector<int>{5999, 6000, 6001, 6002, 6003}));
    EXPECT_EQ(menus.checked(MenuId::audio), std::vector<int>{5999});
    EXPECT_EQ(controls.faces[id::kAudioButton], 433);
    // A pane that stays keeps its sound.
    dispatcher.dispatch(id::kSplit16);
    dispatcher.dispatch(6001);
    dispatcher.dispatch(id::kSplit4);
    EXPECT_EQ(state->audio_pane.load(), 1);
}

TEST_F(ShellFixture, AudioButtonPopsTheMenuAndRoutesTheChoice) {
    start();
    controls.rects[id::kAudioButton] = {731, 699, 779, 739};
    menus.popup_answer = 6001;
    dispatcher.dispatch(id::kAudioButton);
    ASSERT_EQ(menus.popups.size(), 1u);
    EXPECT_EQ(menus.popups[0].x, 756);
    EXPECT_EQ(menus.popups[0].y, 699);
    EXPECT_EQ(menus.popups[0].align, platform::PopupAlign::bottom_left);
    EXPECT_EQ(state->audio_pane.load(), 1);
}

TEST_F(ShellFixture, ExitAndMinimiseShowTheirFaces) {
    start();
    dispatcher.dispatch(id::kExit);
    EXPECT_EQ(controls.quit_codes, std::vector<int>{0});
    EXPECT_EQ(controls.faces[id::kExit], 194);
    dispatcher.dispatch(id::kMinimise);
    EXPECT_EQ(controls.minimised, 1);
    EXPECT_EQ(controls.face_log.back(), std::make_pair(id::kMinimise, 269));
}

TEST_F(ShellFixture, TimersFollowPlaybackAndRearmTheTimeline) {
    start();
    int refreshes = 0;
    shell->hooks().timeline_refresh = [&] { ++refreshes; };
    shell->on_timer(id::kTimerTimeline);
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(timers.running[id::kTimerTimeline], 5000);

    shell->on_timer(id::kTimerPlayback);            // nothing plays
    EXPECT_TRUE(controls.slider_log.size() == 1u);  // only the initial position
    playback.playing_pane = 0;
    playback.file_length = 3600;
    playback.file_position = 900;
    shell->on_timer(id::kTimerPlayback);
    EXPECT_EQ(controls.slider_positions[id::kSeekSlider], 250);
    EXPECT_EQ(playback.times_shown.back(), 900);
    playback.file_length = 0;
    shell->on_timer(id::kTimerPlayback);
    EXPECT_EQ(controls.slider_positions[id::kSeekSlider], 0);
    state->seek_in_progress = 1;
    playback.file_length = 100;
    shell->on_timer(id::kTimerPlayback);
    EXPECT_EQ(controls.slider_positions[id::kSeekSlider], 0);
}

TEST_F(ShellFixture, SeekSliderDragsReleasesAndResumes) {
    start();
    playback.playing_pane = 0;
    playback.file_length = 2000;
    controls.slider_positions[id::kSeekSlider] = 500;
    shell->on_seek_slider(id::kScrollThumbTrack);
    EXPECT_TRUE(playback.calls.empty());
    EXPECT_EQ(playback.times_shown.back(), 1000);
    EXPECT_EQ(state->seek_in_progress.load(), 1);

    sleeper.sleeps.clear();
    shell->on_seek_slider(id::kScrollThumbPosition);
    EXPECT_EQ(playback.calls, (std::vector<std::string>{"pause", "seek 1000", "resume"}));
    EXPECT_TRUE(sleeper.taken().empty()) << "the UI thread never waits for a seek";
    EXPECT_EQ(state->seek_in_progress.load(), 0);

    playback.calls.clear();
    playback.state = 1;                                 // paused: stays paused after the seek
    controls.slider_positions[id::kSeekSlider] = 5000;  // out of range: clamped
    shell->on_seek_slider(1);
    EXPECT_EQ(playback.calls, (std::vector<std::string>{"pause", "seek 2000"}));
}

TEST_F(ShellFixture, PaneFinishedLeavesFullViewAndHandsOnByKind) {
    start();
    int restored = 0;
    std::vector<std::intptr_t> next_asked;
    shell->hooks().renderer_restore_grid = [&] { ++restored; };
    shell->hooks().timeline_next_segment = [&](std::intptr_t camera) {
        next_asked.push_back(camera);
        return false;
    };
    state->full_view_active = 1;
    state->pane_kind[2] = view::PANE_LOCAL_FILE;
    EXPECT_EQ(shell->handle_private_message(32770, 2, 0), 1);
    EXPECT_EQ(state->full_view_active.load(), 0);
    EXPECT_EQ(restored, 1);
    EXPECT_EQ(playback.calls, std::vector<std::string>{"finish 2"});

    state->pane_kind[3] = view::PANE_REMOTE_FILE;
    sleeper.sleeps.clear();
    shell->handle_private_message(32770, 3, 5);
    EXPECT_EQ(next_asked, std::vector<std::intptr_t>{5});
    EXPECT_EQ(sleeper.taken(), std::vector<int>{500});
    EXPECT_EQ(controls.invalidated.back(), view::pane_cell(*state, 3));

    // Out-of-range panes are ignored.
    EXPECT_EQ(shell->handle_private_message(32770, 36, 0), 1);
    EXPECT_EQ(shell->handle_private_message(32770, -1, 0), 1);
}

TEST_F(ShellFixture, RemoteDateHidesThePlaybackControlsAndDisplaySwitchIsHandedOn) {
    start();
    std::string date;
    std::vector<bool> switched;
    shell->hooks().remote_search_date = [&](const char* d) { date = d; };
    shell->hooks().renderer_switch = [&](bool gpu) {
        switched.push_back(gpu);
        return true;
    };
    for (int c : {id::kSeekSlider, id::kPhoto, id::kFrameStep}) controls.visible_state[c] = true;
    const char chosen[] = "26-12-08";
    shell->handle_private_message(32771, reinterpret_cast<std::intptr_t>(chosen), 0);
    EXPECT_EQ(date, "26-12-08");
    for (int c : {id::kSpeedBox, id::kTimeText, id::kSeekSlider, id::kPlayPause, id::kSpeedPlay,
                  id::kStop, id::kPrint, id::kPhoto, id::kFrameStep}) {
        EXPECT_FALSE(controls.visible_state[c]) << c;
    }
    const char gdi[] = "GDI";
    shell->handle_private_message(32772, reinterpret_cast<std::intptr_t>(gdi), 0);
    EXPECT_EQ(switched, std::vector<bool>{false});
    EXPECT_EQ(state->display_gdi.load(), 1);
    EXPECT_EQ(shell->handle_private_message(40000, 0, 0), 0);
}

}  // namespace
}  // namespace orvel::app
