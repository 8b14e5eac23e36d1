// The timeline's behaviour without a window: the day index it is built from (and the faults
// of hostile replies), the axis and bars, zoom and scrolling, the cursor's drag rules, how
// cameras are positioned, started and stepped on, the DVR path of a recording, and the Date
// dialog's day marks and date text.
#include "media/timeline/timeline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/timeline/calendar_marks.h"
#include "media/timeline/day_index.h"
#include "net/stream/stream_request.h"

namespace orvel::media {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A day-index record for `camera` with the given entry bytes; its length field is right
// unless `length` is given.
Bytes record(int camera, const Bytes& entries, int length = -1) {
    const int n = length >= 0 ? length : static_cast<int>(entries.size() + 6);
    Bytes b{5,
            0,
            static_cast<std::uint8_t>(camera),
            static_cast<std::uint8_t>(camera >> 8),
            static_cast<std::uint8_t>(n),
            static_cast<std::uint8_t>(n >> 8)};
    b.insert(b.end(), entries.begin(), entries.end());
    return b;
}

Bytes entry(int h, int m, int s, int kind, int length_s) {
    return {static_cast<std::uint8_t>(h),
            static_cast<std::uint8_t>(m),
            static_cast<std::uint8_t>(s),
            static_cast<std::uint8_t>(kind),
            static_cast<std::uint8_t>(length_s),
            static_cast<std::uint8_t>(length_s >> 8),
            0,
            0};
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Records what the timeline asks of the remote panes.
struct FakePanes : RemotePaneHooks {
    struct Play {
        int camera;
        std::string path;
        int start_s, offset_s;
    };
    bool open_remote_pane(int camera) override {
        opened.push_back(camera);
        return panes_free-- > 0;
    }
    bool play_remote_file(int camera, const std::string& path, int start_s, int offset_s) override {
        plays.push_back({camera, path, start_s, offset_s});
        return true;
    }
    void stop_remote_pane(int camera) override { stopped.push_back(camera); }
    void close_remote_pane(int camera) override { closed.push_back(camera); }
    int remote_recording_count() override { return recording; }
    int playing_time_s() override { return time_s; }

    int panes_free = 36;
    int recording = 0;
    int time_s = -1;
    std::vector<int> opened, stopped, closed;
    std::vector<Play> plays;
};

// Camera 3 of the example (08:00:00 300 s blue, 09:30:00 600 s red, drive C) and camera 5
// on drive D with 10:15:00 for 60 s and 11:00:00 for 120 s.
DayIndex example_index() {
    DayIndex index;
    const Bytes cam3{0x43, 0x08, 0, 0, 0, 0x2C, 0x01, 0, 0, 0x09, 0x1E, 0, 0x01, 0x58, 0x02, 0, 0};
    Bytes cam5{'D'};
    const Bytes e1 = entry(10, 15, 0, 0, 60), e2 = entry(11, 0, 0, 0, 120);
    cam5.insert(cam5.end(), e1.begin(), e1.end());
    cam5.insert(cam5.end(), e2.begin(), e2.end());
    index.add_reply(cat({record(3, cam3), record(5, cam5)}));
    return index;
}

TEST(TimelineRows, ExampleRecordGivesABlueAndARedBarOnDriveC) {
    FakePanes panes;
    Timeline t(panes, 8, "09-03-07");
    t.set_rows(example_index());
    EXPECT_EQ(t.row_camera(0), 3);
    const auto& s = t.row_segments(0);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].start_s(), 8 * 3600);
    EXPECT_EQ(s[0].length_s, 300);
    EXPECT_EQ(s[1].start_s(), 9 * 3600 + 30 * 60);
    EXPECT_EQ(s[1].length_s, 600);
    EXPECT_EQ(s[0].drive, 'C');
    EXPECT_EQ(s[1].drive, 'C');
    BarRect blue, red;
    ASSERT_TRUE(segment_bar(t.view(), 1, s[0], blue));
    ASSERT_TRUE(segment_bar(t.view(), 1, s[1], red));
    EXPECT_FALSE(blue.red);
    EXPECT_TRUE(red.red);
    EXPECT_EQ(blue.left, 60 + 480 * 540 / 1440);
    EXPECT_EQ(blue.right - blue.left, 1) << "300 s of a 540-pixel day is under a pixel";
    EXPECT_EQ(blue.top, 18 * 1 + 3);
    EXPECT_EQ(t.row_camera(1), 5);
    EXPECT_EQ(t.row_segments(1)[1].drive, 'D') << "a letter applies to the entries after it";
}

TEST(TimelineRows, HostileRepliesNeverReadPastTheMessageNorGrowTheIndex) {
    // A lettered entry needs 9 bytes: with 8 left it is dropped, and nothing past the
    // message is read (the vector is exactly the message, so a sanitizer would see it).
    Bytes body = entry(8, 0, 0, 0, 10);
    body.push_back('E');
    const Bytes cut = entry(9, 0, 0, 0, 10);
    body.insert(body.end(), cut.begin(), cut.end() - 1);
    DayIndex index;
    EXPECT_EQ(index.add_reply(record(1, body)), 1);
    ASSERT_EQ(index.row_for(1)->segments.size(), 1u);

    // A record claiming more than arrived yields only its whole entries.
    DayIndex claimed;
    EXPECT_EQ(claimed.add_reply(record(2, entry(1, 0, 0, 0, 1), 400)), 1);

    // More than 36 camera blocks: the rows beyond 36 are not kept.
    Bytes many;
    for (int cam = 1; cam <= 40; ++cam) {
        const Bytes r = record(cam, entry(1, 0, 0, 0, 5));
        many.insert(many.end(), r.begin(), r.end());
    }
    DayIndex wide;
    wide.add_reply(many);
    EXPECT_EQ(wide.rows().size(), 36u);
    EXPECT_EQ(wide.row_for(37), nullptr);

    // The same reply again replaces the camera's list instead of doubling it; an entry at
    // no time of the day (hour 24) is not kept.
    const Bytes reply = record(4, cat({entry(1, 0, 0, 0, 5), entry(24, 0, 0, 0, 5)}));
    DayIndex again;
    for (int i = 0; i < 3; ++i) again.add_reply(reply);
    EXPECT_EQ(again.row_for(4)->segments.size(), 1u);

    // Segments added one by one stop at what one record can list.
    DayIndex single;
    RecordingSegment s;
    s.length_s = 5;
    int kept = 0;
    for (int i = 0; i < 10000; ++i) kept += single.add_segment(2, s) ? 1 : 0;
    EXPECT_EQ(kept, 65535 / 8);
    EXPECT_EQ(single.row_for(2)->segments.size(), static_cast<std::size_t>(kept));
}

TEST(TimelineView, AxisZoomAndScrolling) {
    TimelineView v;
    v.width = 600;
    EXPECT_EQ(time_to_x(v, 12 * 3600), 330);
    EXPECT_EQ(x_to_time(v, 330), 12 * 3600);

    FakePanes panes;
    Timeline t(panes, 10, "09-03-07");
    t.resize(600, 94);
    t.set_rows(example_index());
    panes.time_s = 23 * 3600 + 30 * 60;
    t.tick();
    ASSERT_EQ(t.position_s(), 23 * 3600 + 30 * 60);
    t.right_click();
    EXPECT_TRUE(t.view().zoomed);
    EXPECT_EQ(t.view().zoom_start_hour, 22) << "the window shows 22:00 to 24:00";
    EXPECT_EQ(time_to_x(t.view(), 24 * 3600), 600);
    EXPECT_EQ(t.cursor_x(), 60 + 90 * 60 * 540 / 7200);
    BarRect bar;
    EXPECT_FALSE(segment_bar(t.view(), 1, t.row_segments(0)[0], bar)) << "08:00 is outside";
    t.right_click();
    EXPECT_FALSE(t.view().zoomed);

    t.scroll(ScrollCode::page_down);
    EXPECT_EQ(t.view().scroll_row, 4);
    t.scroll(ScrollCode::page_down);
    EXPECT_EQ(t.view().scroll_row, 6) << "clamped to camera count - 4";
    t.scroll(ScrollCode::line_down);
    EXPECT_EQ(t.view().scroll_row, 6);
    t.scroll(ScrollCode::line_up);
    t.scroll(ScrollCode::line_up);
    t.scroll(ScrollCode::line_up);
    EXPECT_EQ(t.view().scroll_row, 3);
    t.scroll(ScrollCode::page_up);
    EXPECT_EQ(t.view().scroll_row, 0);
    t.scroll(ScrollCode::thumb, 18 * 5 + 2);
    EXPECT_EQ(t.view().scroll_row, 5);
}

TEST(TimelineCursor, APressBesideTheCursorDoesNotDragButTheReleasePositionsAllCameras) {
    FakePanes panes;
    Timeline t(panes, 8, "09-03-07");
    t.resize(600, 94);
    t.set_rows(example_index());
    ASSERT_TRUE(t.row_box_clicked(0, true));
    ASSERT_TRUE(t.row_box_clicked(1, true));
    panes.plays.clear();

    const int x = t.cursor_x();
    EXPECT_EQ(t.press(x + 5, 5), Timeline::MouseResult::done);
    EXPECT_FALSE(t.dragging());
    t.move(x + 100);
    EXPECT_EQ(t.cursor_x(), x) << "no drag: the cursor stays";
    // 09:35:00 lies in camera 3's red recording; camera 5 waits for 10:15.
    const int release_x = time_to_x(t.view(), 9 * 3600 + 35 * 60) + 1;
    const int at = x_to_time(t.view(), release_x);
    EXPECT_EQ(t.release(release_x), Timeline::MouseResult::done);
    ASSERT_EQ(panes.plays.size(), 1u);
    EXPECT_EQ(panes.plays[0].camera, 3);
    EXPECT_EQ(panes.plays[0].start_s, 9 * 3600 + 30 * 60);
    EXPECT_EQ(panes.plays[0].offset_s, at - (9 * 3600 + 30 * 60));
    EXPECT_TRUE(t.row_playing(0));
    EXPECT_FALSE(t.row_playing(1));
    EXPECT_EQ(t.row_current_segment(1), 0) << "camera 5 will play 10:15 next";
    EXPECT_TRUE(t.following());

    // Within 4 pixels inside the header band the cursor is dragged.
    t.press(t.cursor_x() + 4, 3);
    EXPECT_TRUE(t.dragging());
    EXPECT_FALSE(t.following());
    t.move(300);
    EXPECT_EQ(t.cursor_x(), 300);

    // While a remote pane is being saved the mouse positions nothing.
    panes.recording = 1;
    panes.plays.clear();
    EXPECT_EQ(t.release(200), Timeline::MouseResult::refused_recording);
    EXPECT_EQ(t.press(200, 3), Timeline::MouseResult::refused_recording);
    EXPECT_TRUE(panes.plays.empty());
    EXPECT_STREQ(kStopRecordingFirst, "Please stop recording first !");
}

TEST(TimelineCameras, TickingStartsTheEarliestRecordingAndAnEndStepsOn) {
    FakePanes panes;
    Timeline t(panes, 8, "09-03-07");
    t.set_rows(example_index());
    t.tick();  // first tick: position 0, nothing to position yet
    EXPECT_EQ(t.position_s(), 0);
    ASSERT_TRUE(t.row_box_clicked(1, true));  // camera 5, drive D
    ASSERT_EQ(panes.plays.size(), 1u) << "the only ticked camera starts at its first recording";
    EXPECT_EQ(panes.plays[0].path,
              "D:\\dvr_media\\video\\09-03-07\\camera 05\\09-03-07-10-15-00-05.dvr");
    EXPECT_EQ(panes.plays[0].offset_s, 0);

    EXPECT_TRUE(t.next_segment(4));
    ASSERT_EQ(panes.plays.size(), 2u);
    EXPECT_EQ(panes.plays[1].start_s, 11 * 3600);
    EXPECT_FALSE(t.next_segment(4)) << "after the day's last recording there is none";
    EXPECT_TRUE(t.next_segment(20)) << "a camera without a row: nothing to do";

    // Unticking closes the pane; a camera without a free pane stays unticked.
    EXPECT_FALSE(t.row_box_clicked(1, false));
    EXPECT_EQ(panes.closed, std::vector<int>{5});
    panes.panes_free = 0;
    EXPECT_FALSE(t.row_box_clicked(0, true));
    EXPECT_EQ(t.selected_count(), 0);
    EXPECT_FALSE(t.row_box_clicked(2, true)) << "a row without recordings";
}

TEST(TimelineCameras, ATimeInNoRecordingOpensNothingAndCamerasInAGapStepOnLater) {
    FakePanes panes;
    Timeline t(panes, 8, "09-03-07");
    t.resize(600, 94);
    t.set_rows(example_index());
    t.all_box_clicked(true);
    ASSERT_EQ(t.selected_count(), 2);
    t.tick();  // position 0: both wait; the earliest (camera 3 at 08:00) starts
    ASSERT_EQ(panes.plays.size(), 1u);
    EXPECT_EQ(panes.plays[0].camera, 3);

    // After every recording of the day: nothing opens, the playing camera stops.
    panes.plays.clear();
    t.release(time_to_x(t.view(), 20 * 3600));
    EXPECT_TRUE(panes.plays.empty());
    EXPECT_EQ(panes.stopped, std::vector<int>{3});
    EXPECT_FALSE(t.row_playing(0));

    // Camera 5 waits in a gap; when the playing panes' time reaches 10:15 it starts.
    t.release(time_to_x(t.view(), 9 * 3600 + 31 * 60));
    panes.plays.clear();
    panes.time_s = 10 * 3600 + 15 * 60;
    t.tick();
    ASSERT_EQ(panes.plays.size(), 1u);
    EXPECT_EQ(panes.plays[0].camera, 5);
    EXPECT_EQ(panes.plays[0].offset_s, 0);
}

TEST(TimelineRequest, TheDvrPathOfASegmentGivesTheExact76ByteRequest) {
    RecordingSegment s;
    s.drive = 'D';
    s.hour = 10;
    s.minute = 15;
    const std::string path = remote_file_path("09-03-07", 3, s);
    EXPECT_EQ(path, "D:\\dvr_media\\video\\09-03-07\\camera 03\\09-03-07-10-15-00-03.dvr");
    const auto request = net::build_file_request(false, 120, path);
    Bytes expected{0, 0, 0, 0, 0, 0, 0, 0, 120, 0, 0, 0};
    expected.insert(expected.end(), path.begin(), path.end());
    expected.resize(76, 0);
    EXPECT_EQ(Bytes(request.begin(), request.end()), expected);
    EXPECT_EQ(net::build_file_request(true, 0, path)[0], 2) << "fast play asks for mode 2";
}

TEST(DateDialogMarks, MasksFollowTheShownMonthAndTheDateTextIsTwoDigitFields) {
    const DayMasks m{0x1, 0x2, 0x4};  // M-2: day 1, M-1: day 2, M: day 3
    EXPECT_EQ(applied_masks(-3, m), (DayMasks{0, 0, 0x1}));
    EXPECT_EQ(applied_masks(-2, m), (DayMasks{0, 0x1, 0x2}));
    EXPECT_EQ(applied_masks(-1, m), (DayMasks{0x1, 0x2, 0x4}));
    EXPECT_EQ(applied_masks(0, m), (DayMasks{0x2, 0x4, 0}));
    EXPECT_EQ(applied_masks(1, m), (DayMasks{0x4, 0, 0}));
    EXPECT_EQ(applied_masks(2, m), (DayMasks{0, 0, 0}));
    EXPECT_EQ(applied_masks(-4, m), (DayMasks{0, 0, 0}));
    EXPECT_EQ(month_offset(2009, 1, 2009, 3), -2);
    EXPECT_EQ(month_offset(2008, 12, 2009, 1), -1);
    EXPECT_TRUE(day_marked(applied_masks(-1, m), 0, 2)) << "one month back: the middle mask";
    EXPECT_FALSE(day_marked(applied_masks(-1, m), 0, 3));
    EXPECT_TRUE(day_marked(applied_masks(-1, m), 1, 3));
    EXPECT_FALSE(day_marked(m, 0, 32));
    EXPECT_EQ(search_date_text(2009, 3, 5), "09-03-05");
    EXPECT_EQ(search_date_text(2100, 12, 31), "00-12-31");
}

}  // namespace
}  // namespace orvel::media
