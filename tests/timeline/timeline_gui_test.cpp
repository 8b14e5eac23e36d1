// The Date dialog and the timeline window on Qt (offscreen), and the whole program's remote
// search against the simulated DVR running the demo scenario: the dialog circles the days
// with recordings, OK searches the chosen day, the timeline draws the demo's recordings, and a
// ticked camera plays its first recording in a remote pane (fast play reopens it).
// With ORVEL_SCREENSHOT_DIR set, the program test saves date_dialog.png and timeline.png.
#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <memory>
#include <sstream>

#include "../gui/gui_test_support.h"
#include "../gui/program_fixture.h"
#include "app/command_ids.h"
#include "app/config.h"
#include "codec/decoder_table.h"
#include "gui/date_dialog.h"
#include "gui/program.h"
#include "gui/timeline_window.h"
#include "platform/ini_file.h"
#include "scenario.h"
#include "server.h"

namespace orvel::gui {
namespace {

int pixels_of(const QImage& image, QRgb colour, QRect area = {}) {
    if (area.isNull()) area = image.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) ++n;
    return n;
}

void save_screenshot(QWidget& widget, const char* name) {
    const QByteArray dir = qgetenv("ORVEL_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(QString::fromUtf8(dir));
    widget.grab().save(QString::fromUtf8(dir) + "/" + name);
}

TEST(DateDialog, CirclesRecordedDaysFollowsTheMonthsAndSendsTheChosenDate) {
    test::app();
    std::vector<std::string> chosen;
    std::vector<std::pair<int, int>> asked;
    DateDialog::Hooks hooks;
    hooks.chosen = [&](const std::string& text) { chosen.push_back(text); };
    hooks.ask_masks = [&](int y, int m) {
        asked.push_back({y, m});
        return true;
    };
    DateDialog dialog(nullptr, QDate(2009, 3, 9), hooks);
    MarkedCalendar* cal = dialog.calendar();
    EXPECT_EQ(cal->objectName(), "1045");
    // Weekends are written in red too: the circles add to that.
    const int red_before = pixels_of(cal->grab().toImage(), qRgb(255, 0, 0));

    dialog.set_masks({1u << 0, 1u << 1, (1u << 4) | (1u << 6)});  // Jan 1, Feb 2, Mar 5 and 7
    EXPECT_TRUE(cal->circled(QDate(2009, 3, 5)));
    EXPECT_TRUE(cal->circled(QDate(2009, 2, 2))) << "the partly shown month before";
    EXPECT_FALSE(cal->circled(QDate(2009, 3, 6)));
    EXPECT_GT(pixels_of(cal->grab().toImage(), qRgb(255, 0, 0)), red_before + 40)
        << "red circles are drawn";

    cal->setCurrentPage(2009, 2);  // one month back: the middle mask for the shown month
    EXPECT_TRUE(asked.empty());
    EXPECT_TRUE(cal->circled(QDate(2009, 2, 2)));
    EXPECT_TRUE(cal->circled(QDate(2009, 1, 1)));
    EXPECT_TRUE(cal->circled(QDate(2009, 3, 7)));

    cal->setCurrentPage(2008, 11);  // outside the masks: the DVR is asked for that month's
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], (std::pair<int, int>{2008, 12}));
    EXPECT_FALSE(cal->circled(QDate(2009, 1, 1)));
    dialog.set_masks({0, 1u << 10, 0});
    EXPECT_TRUE(cal->circled(QDate(2008, 11, 11)));
    cal->setCurrentPage(2008, 12);  // the month after this query: asked again
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1], (std::pair<int, int>{2009, 1}));
    cal->setCurrentPage(2009, 3);  // back to the opening month: the masks cover it
    EXPECT_EQ(asked.size(), 3u) << "March is offset +2 from the January query";

    cal->setSelectedDate(QDate(2009, 3, 5));
    QTest::mouseClick(dialog.ok_button(), Qt::LeftButton);
    EXPECT_EQ(chosen, std::vector<std::string>{"09-03-05"});
    EXPECT_EQ(dialog.result(), 1);
}

struct RecordingPanes : media::RemotePaneHooks {
    bool open_remote_pane(int camera) override {
        opened.push_back(camera);
        return true;
    }
    bool play_remote_file(int camera, const std::string&, int, int offset_s) override {
        plays.push_back({camera, offset_s});
        return true;
    }
    std::vector<int> opened;
    std::vector<std::pair<int, int>> plays;
};

media::DayIndex six_cameras() {
    media::DayIndex index;
    for (int cam = 1; cam <= 6; ++cam) {
        media::RecordingSegment blue, red;
        blue.hour = 6;
        blue.length_s = 3600;
        red.hour = 12;
        red.kind = 1;
        red.length_s = 1800;
        index.add_segment(cam, blue);
        index.add_segment(cam, red);
    }
    return index;
}

TEST(TimelineWindow, DrawsBarsAndForwardsBoxesMouseAndScrolling) {
    test::app();
    QWidget parent;
    parent.resize(1024, 768);
    RecordingPanes panes;
    struct Messages : platform::MessageBoxPort {
        platform::MessageResult show_message(std::string_view text, std::string_view,
                                             platform::MessageButtons,
                                             platform::MessageIcon) override {
            shown.emplace_back(text);
            return platform::MessageResult::ok;
        }
        std::vector<std::string> shown;
    } messages;
    TimelineWindow w(&parent, view::kScreenMode1024, panes, messages, 6, "09-03-07");
    EXPECT_EQ(w.geometry(), QRect(8, 671, 600, 94));
    EXPECT_FALSE(w.scroll_bar()->isHidden()) << "more than four cameras scroll";
    w.set_rows(six_cameras());

    const QImage image = w.grab().toImage();
    const media::TimelineView& v = w.timeline().view();
    const int r = v.row_height();
    EXPECT_GT(pixels_of(image, qRgb(0, 0, 255), QRect(60, r + 3, v.width - 60, r - 4)), 0);
    EXPECT_GT(pixels_of(image, qRgb(255, 0, 0), QRect(60, 4 * r + 3, v.width - 60, r - 4)), 0);

    QTest::mouseClick(w.row_box(0), Qt::LeftButton);
    EXPECT_TRUE(w.row_box(0)->isChecked());
    EXPECT_EQ(panes.opened, std::vector<int>{1});

    // A press 5 pixels beside the cursor, released at 12:15, positions camera 1 there.
    const int cursor = w.timeline().cursor_x();
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(cursor + 5, 5));
    EXPECT_FALSE(w.timeline().dragging());
    panes.plays.clear();
    const int x = media::time_to_x(v, 12 * 3600 + 15 * 60) + 1;
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(x, 40));
    ASSERT_EQ(panes.plays.size(), 1u);
    EXPECT_EQ(panes.plays[0].first, 1);
    EXPECT_NEAR(panes.plays[0].second, 15 * 60, 200);

    QTest::mouseClick(&w, Qt::RightButton, {}, QPoint(300, 40));
    EXPECT_TRUE(w.timeline().view().zoomed);
    EXPECT_EQ(w.timeline().view().zoom_start_hour, 12);

    w.scroll_bar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(w.timeline().view().scroll_row, 2) << "six cameras: at most row 2";
    EXPECT_FALSE(w.row_box(0)->isChecked()) << "boxes follow the visible rows";
}

class ProgramSearch : public test::ProgramFixture {
protected:
    void SetUp() override {
        dvrsim::Scenario scenario;
        std::string error;
        ASSERT_TRUE(dvrsim::load_scenario_file(ORVEL_DEMO_SCENARIO, scenario, error)) << error;
        const int port = start_server(std::move(scenario));
        ASSERT_GT(port, 0);
        std::ostringstream ini_text;
        ini_text << "[LOCATION]\nnum=1\npos0=Demo DVR\nip0=127.0.0.1\nuser0=admin\nps0=1234\n"
                 << "port10=" << port << "\n[DEFAULT]\nip=127.0.0.1\nport=" << port
                 << "\n[PLAY]\nAUTOPLAY=FALSE\nDISPLAY=GDI\n[RECORD]\nDISK=C\n[DRIVES]\nC="
                 << dir.filePath(QStringLiteral("disk")).toStdString() << "\n";
        QDir(dir.path()).mkdir(QStringLiteral("disk"));
        start_program(ini_text.str(), view::ScreenModeKind::mode_1280);
    }
};

TEST_F(ProgramSearch, TodaysRecordingsAreCircledSearchedAndDrawn) {
    const platform::TreeItem site = state.default_site_item;
    ASSERT_NE(site, platform::kNoTreeItem);
    ASSERT_TRUE(test::spin_until([&] { return program->tree().first_child(site) != 0; }, 5000));
    program->tree().select_item(site);

    const net::QueryDate today = net::today_utc();
    const QDate day(today.year, today.month, today.day);
    bool circled_today = false, circled_yesterday = false;
    program->search_view().set_dialog_runner([&](DateDialog& dialog) {
        dialog.show();
        circled_today = test::spin_until([&] { return dialog.calendar()->circled(day); }, 5000);
        circled_yesterday = dialog.calendar()->circled(day.addDays(-1));
        save_screenshot(dialog, "date_dialog.png");
        dialog.calendar()->setSelectedDate(day);
        QTest::mouseClick(dialog.ok_button(), Qt::LeftButton);
        return dialog.result();
    });
    program->shell().on_command(app::id::kSiteRemoteFiles);
    EXPECT_TRUE(circled_today);
    EXPECT_TRUE(circled_yesterday);

    TimelineWindow* timeline = program->search_view().timeline_window();
    ASSERT_NE(timeline, nullptr);
    EXPECT_EQ(timeline->geometry(), QRect(21, 897, 750, 119));
    EXPECT_EQ(timeline->timeline().date_text(),
              media::search_date_text(today.year, today.month, today.day));
    ASSERT_TRUE(test::spin_until([&] { return timeline->timeline().row_camera(11) == 12; }, 5000));
    EXPECT_EQ(timeline->timeline().row_segments(0).size(), 6u);
    EXPECT_EQ(timeline->timeline().row_camera(2), 3);
    EXPECT_EQ(timeline->timeline().row_segments(2)[0].drive, 'D');
    EXPECT_TRUE(program->menus().is_item_checked(platform::MenuId::site, 32811));

    // Ticking camera 1 opens a remote pane that plays its first recording.
    QTest::mouseClick(timeline->row_box(0), Qt::LeftButton);
    EXPECT_TRUE(timeline->row_box(0)->isChecked());
    ASSERT_TRUE(test::spin_until([&] { return timeline->timeline().row_playing(0); }, 3000));
    ASSERT_EQ(state.pane_kind[0], view::PANE_REMOTE_FILE);
    const view::RemoteFileSlot& slot = *state.remote_slots[0];
    EXPECT_EQ(std::string(slot.caption.data()),
              "Remote File : " + program->tree().item_text(program->tree().first_child(site)));
    ASSERT_TRUE(test::spin_until([&] { return slot.pictures_drawn.load() >= 10; }, 5000))
        << slot.frames_queued.load() << " frames, " << slot.pictures_drawn.load() << " drawn";
    EXPECT_GE(program->remote_panes().pane_time_s(0),
              timeline->timeline().row_segments(0)[0].start_s());
    // Fast play reopens it in mode 2. Its button lies under the timeline's place and stays
    // above it, so the operator can reach it.
    QWidget* fast = program->window().control(app::id::kFastPlay);
    ASSERT_NE(fast, nullptr);
    EXPECT_TRUE(timeline->geometry().intersects(fast->geometry()));
    EXPECT_EQ(program->window().childAt(fast->geometry().center()), fast);
    program->shell().on_command(app::id::kFastPlay);
    EXPECT_EQ(state.fast_play.load(), 1);
    ASSERT_TRUE(test::spin_until(
        [&] {
            const auto lines = server->log_lines();
            return std::any_of(lines.begin(), lines.end(),
                               [](const auto& l) { return l.find("(fast)") != l.npos; });
        },
        5000));
    timeline->repaint();
    save_screenshot(program->window(), "timeline.png");

    // The pane menu's "record" saves what the pane plays; fast play is refused meanwhile.
    std::array<uint8_t, 28> header{};
    ASSERT_TRUE(test::spin_until(
        [&] {
            const pane::RemotePane* p = program->remote_panes().pipeline(0);
            return p != nullptr && p->stream_header(header);
        },
        5000));
    state.menu_pane = 0;
    program->shell().on_command(app::id::kPaneRecord);
    EXPECT_EQ(slot.recording.load(), 1);
    EXPECT_EQ(state.remote_recording_count.load(), 1);
    program->shell().on_command(app::id::kFastPlay);
    EXPECT_EQ(state.fast_play.load(), 1) << "refused while saving";
    program->shell().on_command(app::id::kPaneRecord);
    EXPECT_EQ(state.remote_recording_count.load(), 0);
    // "stop" on the remote pane clears its camera's box and frees the pane.
    program->shell().on_command(app::id::kPaneStop);
    EXPECT_EQ(state.pane_kind[0], view::PANE_FREE);
    EXPECT_FALSE(timeline->timeline().row_selected(0));
    EXPECT_FALSE(timeline->row_box(0)->isChecked());

    // "display files" hides the window, unticking its cameras and closing their panes; again
    // shows it.
    QTest::mouseClick(timeline->row_box(0), Qt::LeftButton);
    ASSERT_EQ(state.pane_kind[0], view::PANE_REMOTE_FILE);
    program->shell().on_command(32811);
    EXPECT_TRUE(timeline->isHidden());
    EXPECT_FALSE(timeline->timeline().row_selected(0));
    EXPECT_EQ(state.pane_kind[0], view::PANE_FREE);
    program->shell().on_command(32811);
    EXPECT_FALSE(timeline->isHidden());
    EXPECT_TRUE(boxes.empty()) << boxes.front();
}

}  // namespace
}  // namespace orvel::gui
