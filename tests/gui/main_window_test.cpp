// The main window's controls at the layout table's places in both screen modes, the pad,
// the tooltips, and the hooks reached by clicks.
#include "gui/main_window.h"

#include <gtest/gtest.h>

#include <QTest>
#include <vector>

#include "app/command_ids.h"
#include "app/main_layout.h"
#include "gui_test_support.h"

namespace orvel::gui {
namespace {

using view::ScreenModeKind;

class MainWindowModes : public ::testing::TestWithParam<ScreenModeKind> {
protected:
    void SetUp() override { test::app(); }
};

TEST_P(MainWindowModes, EveryControlSitsAtItsLayoutPlace) {
    const ScreenModeKind mode = GetParam();
    MainWindow w(mode, {});
    const view::ScreenMode& s = view::screen_mode_for(mode);
    EXPECT_EQ(w.size(), QSize(s.window_width, s.window_height));
    EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
    for (const app::ControlLayout& c : app::main_controls_layout()) {
        QWidget* ctl = w.control(c.id);
        ASSERT_NE(ctl, nullptr) << c.id;
        const app::ControlPlace& at = c.place(mode);
        EXPECT_EQ(ctl->pos(), QPoint(at.x, at.y)) << "control " << c.id;
        if (at.width > 0) {
            EXPECT_EQ(ctl->size(), QSize(at.width, at.height)) << c.id;
        }
        EXPECT_EQ(ctl->isVisibleTo(&w), c.initially_visible) << c.id;
    }
    // The video area is the static control 1168 at (left, top), (right-left) x (bottom-top).
    EXPECT_EQ(w.video_area()->geometry(),
              QRect(s.video_left, s.video_top, s.video_width(), s.video_height()));
    EXPECT_EQ(w.video_area()->palette().color(QPalette::Window), QColor(8, 1, 1));
}

TEST_P(MainWindowModes, PadHasTwelveButtonsWithPlacesAndTooltips) {
    const ScreenModeKind mode = GetParam();
    MainWindow w(mode, {});
    const auto pad = app::pad_buttons_layout();
    ASSERT_EQ(w.pad_buttons().size(), 12u);
    ASSERT_EQ(pad.size(), 12u);
    const bool wide = mode == ScreenModeKind::mode_1280;
    for (std::size_t i = 0; i < pad.size(); ++i) {
        const PadButton* b = w.pad_buttons()[i];
        EXPECT_EQ(b->pos(), QPoint(wide ? pad[i].x_1280 : pad[i].x_1024,
                                   wide ? pad[i].y_1280 : pad[i].y_1024))
            << i;
        EXPECT_EQ(b->latching(), pad[i].latching);
    }
    EXPECT_EQ(w.pad_buttons()[0]->toolTip(), QStringLiteral("focus far"));
    EXPECT_EQ(w.pad_buttons()[2]->toolTip(), QStringLiteral("large halo "));  // text as stored
    EXPECT_EQ(w.pad_buttons()[9]->toolTip(), QStringLiteral("turn down"));
    EXPECT_TRUE(w.pad_buttons()[10]->toolTip().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(BothModes, MainWindowModes,
                         ::testing::Values(ScreenModeKind::mode_1024, ScreenModeKind::mode_1280),
                         [](const auto& info) {
                             return info.param == ScreenModeKind::mode_1280 ? std::string("m1280")
                                                                            : std::string("m1024");
                         });

TEST(MainWindow, ToolTipsComeFromTheStringTable) {
    test::app();
    MainWindow w(ScreenModeKind::mode_1024, {});
    EXPECT_EQ(w.control(app::id::kExit)->toolTip(), QStringLiteral("EXIT"));
    EXPECT_EQ(w.control(app::id::kMinimise)->toolTip(), QStringLiteral("MIN"));
    EXPECT_EQ(w.control(app::id::kFullScreen)->toolTip(), QStringLiteral("full screen (F11)"));
    EXPECT_EQ(w.control(app::id::kConnect)->toolTip(), QStringLiteral("connect remote camera"));
    EXPECT_EQ(w.control(app::id::kSettings)->toolTip(), QStringLiteral("setting"));
    EXPECT_EQ(w.control(app::id::kOpenFile)->toolTip(), QStringLiteral("open the local file"));
    EXPECT_EQ(w.control(app::id::kSelectCamera)->toolTip(), QStringLiteral("select camera"));
    EXPECT_EQ(w.seek_slider()->maximum(), 1000);
    EXPECT_EQ(w.speed_box()->count(), 3);
    EXPECT_EQ(w.speed_box()->currentText(), QStringLiteral("2"));
    EXPECT_EQ(w.time_text()->text(), QStringLiteral("00:00:00"));
}

TEST(MainWindow, ClicksReachTheCommandHookByIdAndPadReportsPressAndRelease) {
    test::app();
    std::vector<int> ids;
    std::vector<std::pair<int, bool>> pad;
    MainWindowHooks hooks;
    hooks.command = [&](int id) { ids.push_back(id); };
    hooks.pad = [&](int i, bool down) { pad.emplace_back(i, down); };
    MainWindow w(ScreenModeKind::mode_1280, std::move(hooks));
    w.show();
    for (int id : {app::id::kSplit9, app::id::kExit, app::id::kZoom, app::id::kAudioButton}) {
        QTest::mouseClick(w.control(id), Qt::LeftButton);
    }
    EXPECT_EQ(ids, (std::vector<int>{app::id::kSplit9, app::id::kExit, app::id::kZoom,
                                     app::id::kAudioButton}));
    // Hidden controls take no clicks.
    QTest::mouseClick(w.control(app::id::kSeekSlider), Qt::LeftButton);
    EXPECT_EQ(ids.size(), 4u);

    PadButton* up = w.pad_buttons()[6];
    QTest::mousePress(up, Qt::LeftButton);
    EXPECT_TRUE(up->is_down());
    QTest::mouseRelease(up, Qt::LeftButton);
    EXPECT_EQ(pad, (std::vector<std::pair<int, bool>>{{6, true}, {6, false}}));
}

TEST(MainWindow, SeekSliderReportsScrollCodes) {
    test::app();
    std::vector<int> codes;
    MainWindowHooks hooks;
    hooks.seek_slider = [&](int code) { codes.push_back(code); };
    MainWindow w(ScreenModeKind::mode_1024, std::move(hooks));
    QSlider* s = w.seek_slider();
    s->triggerAction(QAbstractSlider::SliderPageStepAdd);
    s->setSliderDown(true);
    s->triggerAction(QAbstractSlider::SliderMove);
    s->setSliderDown(false);  // emits sliderReleased
    EXPECT_EQ(codes,
              (std::vector<int>{3, app::id::kScrollThumbTrack, app::id::kScrollThumbPosition}));
}

TEST(MainWindow, TreeHitPartsSeparateLabelFromRightOfIt) {
    test::app();
    MainWindow w(ScreenModeKind::mode_1280, {});
    w.show();
    auto* site = new QTreeWidgetItem(w.tree(), {QStringLiteral("Gate(10.0.0.5)")});
    new QTreeWidgetItem(site, {QStringLiteral("Cam 01--Door")});
    const QRect r = w.tree()->visualItemRect(site);
    EXPECT_EQ(w.tree_hit_part(site, QPoint(r.left() + 30, r.center().y())),
              platform::TreeHitPart::label);
    EXPECT_EQ(w.tree_hit_part(site, QPoint(r.left() + 2, r.center().y())),
              platform::TreeHitPart::icon);
    EXPECT_EQ(w.tree_hit_part(site, QPoint(r.left() - 5, r.center().y())),
              platform::TreeHitPart::button);
    EXPECT_EQ(w.tree_hit_part(site, QPoint(r.left() + 400, r.center().y())),
              platform::TreeHitPart::right_of_label);
}

TEST(MainWindow, DoubleClickOnACameraActsAsOneClick) {
    test::app();
    std::vector<TreeGesture> gestures;
    MainWindowHooks hooks;
    hooks.tree = [&](TreeGesture g, QTreeWidgetItem*, platform::TreeHitPart, QPoint) {
        gestures.push_back(g);
    };
    MainWindow w(ScreenModeKind::mode_1024, std::move(hooks));
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    auto* site = new QTreeWidgetItem(w.tree(), {QStringLiteral("Gate(10.0.0.5)")});
    auto* camera = new QTreeWidgetItem(site, {QStringLiteral("Cam 01--Door")});
    site->setExpanded(true);
    const QRect r = w.tree()->visualItemRect(camera);
    // Through the window system's path, where the platform turns a second press into a
    // double click.
    const QPoint at = w.tree()->viewport()->mapTo(&w, QPoint(r.left() + 30, r.center().y()));
    QTest::mouseDClick(w.windowHandle(), Qt::LeftButton, {}, at);
    EXPECT_EQ(gestures, (std::vector<TreeGesture>{TreeGesture::click, TreeGesture::double_click}));

    // The next single click is a click again.
    gestures.clear();
    QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, at, 600);
    EXPECT_EQ(gestures, (std::vector<TreeGesture>{TreeGesture::click}));
}

}  // namespace
}  // namespace orvel::gui
