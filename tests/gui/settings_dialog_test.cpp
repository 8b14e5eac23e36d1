// The settings dialog opened from its button, offscreen, driven as an operator drives it:
// its face, title and texts, a chosen disk that does not exist, CANCLE writing nothing, and
// a letter mapped to a folder with the chooser beside it, saved by OK.
#include "gui/settings_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>

#include "../support/fake_ports.h"
#include "../support/temp_dir.h"
#include "app/command_ids.h"
#include "gui_test_support.h"

namespace orvel::gui {
namespace {

namespace sid = app::settings_id;

struct SettingsButton : ::testing::Test {
    void SetUp() override {
        test::app();
        ini = std::make_unique<platform::IniFile>(dir.write(
            "orvelcam.ini",
            "[RECORD]\nDISK=E\n[PLAY]\nDISPLAY=GDI\n[DRIVES]\nC=" + dir.path().string() + "\n"));
        config = std::make_unique<app::Config>(*ini);
        wire_settings_button(dispatcher, controls, *config, main_window, nullptr,
                             [this](QWidget*, char letter, QString) {
                                 asked.push_back(letter);
                                 return QString::fromStdString(dir.path().string());
                             });
    }

    // Presses the settings button; `operate` runs on the open dialog.
    void run(const std::function<void(SettingsDialog&)>& operate) {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, poll, [poll, &operate, this] {
            auto* dialog = dynamic_cast<SettingsDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            poll->deleteLater();
            face_while_open = controls.faces[app::id::kSettings];
            operate(*dialog);
        });
        poll->start(5);
        ASSERT_TRUE(dispatcher.dispatch(app::id::kSettings));
    }
    static void press(SettingsDialog& d, int id) {
        QTest::mouseClick(static_cast<QAbstractButton*>(d.control(id)), Qt::LeftButton);
    }

    orvel::test::TempDir dir;
    std::unique_ptr<platform::IniFile> ini;
    std::unique_ptr<app::Config> config;
    app::CommandDispatcher dispatcher;
    orvel::test::FakeControls controls;
    orvel::test::FakeUiChannel main_window;
    std::vector<char> asked;
    int face_while_open = 0;
};

TEST_F(SettingsButton, ShowsTheConfigurationAndCancelWritesNothing) {
    const std::string before = orvel::test::TempDir::read(ini->path());
    run([](SettingsDialog& d) {
        EXPECT_EQ(d.windowTitle(), QString::fromUtf8("\xE8\xAE\xBE\xE7\xBD\xAE"));
        bool version_shown = false;
        for (QLabel* l : d.findChildren<QLabel*>()) version_shown |= l->text() == "VER: 8.5";
        EXPECT_TRUE(version_shown);
        auto* e = static_cast<QRadioButton*>(d.control(sid::kDiskFirst + 2));
        EXPECT_TRUE(e->isChecked());  // DISK=E, but there is no E:
        EXPECT_FALSE(e->isEnabled());
        EXPECT_TRUE(d.control(sid::kDiskFirst)->isEnabled());  // C: is mapped
        EXPECT_FALSE(d.control(sid::kCapacityFirst)->property("text").toString().isEmpty());
        EXPECT_EQ(d.control(sid::kFilePath)->property("text").toString(),
                  QStringLiteral("E:\\dvr_media\\video"));
        EXPECT_TRUE(static_cast<QRadioButton*>(d.control(sid::kDisplayGdi))->isChecked());
        press(d, sid::kCancel);
    });
    EXPECT_EQ(face_while_open, app::bitmap::kSettingsPressed);
    EXPECT_EQ(controls.faces[app::id::kSettings], app::bitmap::kSettingsNormal);
    EXPECT_EQ(orvel::test::TempDir::read(ini->path()), before);
}

TEST_F(SettingsButton, TheChooserBesideALetterMapsItAndOkSavesIt) {
    run([](SettingsDialog& d) {
        EXPECT_FALSE(d.control(sid::kDiskFirst + 4)->isEnabled());  // G: not mapped
        QTest::mouseClick(d.folder_button('G'), Qt::LeftButton);
        EXPECT_TRUE(d.control(sid::kDiskFirst + 4)->isEnabled());
        EXPECT_FALSE(d.control(sid::kRemainFirst + 4)->property("text").toString().isEmpty());
        press(d, sid::kDiskFirst + 4);
        EXPECT_EQ(d.control(sid::kFilePath)->property("text").toString(),
                  QStringLiteral("G:\\dvr_media\\video"));
        press(d, sid::kOk);
    });
    EXPECT_EQ(asked, std::vector<char>{'G'});
    EXPECT_EQ(config->record_disk(), "G");
    EXPECT_EQ(ini->get_string("DRIVES", "G", "", 4096), dir.path().string());
    EXPECT_TRUE(main_window.sent.empty());  // the display mode did not change
}

}  // namespace
}  // namespace orvel::gui
