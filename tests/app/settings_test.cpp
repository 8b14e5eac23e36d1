// The settings dialog's logic: the gigabyte figures, what the dialog shows for a given
// configuration and drive mapping, and what OK writes and tells the main window.
#include "app/settings.h"

#include <gtest/gtest.h>

#include <memory>

#include "../support/fake_ports.h"
#include "../support/temp_dir.h"

namespace orvel::app {
namespace {

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

TEST(SettingsFigures, GigabytesShowTwoCorrectDecimals) {
    EXPECT_EQ(format_gigabytes(kGiB - 1), "0.99 G");  // not 0.107 G
    EXPECT_EQ(format_gigabytes(80 * kGiB), "80.00 G");
    EXPECT_EQ(format_gigabytes(kGiB + kGiB / 2), "1.50 G");
    EXPECT_EQ(format_gigabytes(kGiB / 100), "0.00 G");  // cut, never rounded up
    EXPECT_EQ(format_gigabytes(kGiB / 100 + 1), "0.01 G");
    EXPECT_EQ(format_gigabytes(std::uint64_t{5000} * kGiB + kGiB * 3 / 4), "5000.75 G");
    EXPECT_EQ(record_folder_text('E'), "E:\\dvr_media\\video");
}

struct SettingsFixture : ::testing::Test {
    test::TempDir dir;
    std::unique_ptr<platform::IniFile> ini;
    std::unique_ptr<Config> config;
    std::unique_ptr<platform::DriveMap> drives;
    test::FakeUiChannel main_window;

    void open(const std::string& text) {
        ini = std::make_unique<platform::IniFile>(dir.write("orvelcam.ini", text));
        config = std::make_unique<Config>(*ini);
        drives = std::make_unique<platform::DriveMap>(*ini, dir.path());
    }
};

TEST_F(SettingsFixture, OkWithoutAChangeSendsNoDisplayMessage) {
    open("[PLAY]\nDISPLAY=GDI\nAUTOPLAY=FALSE\n[RECORD]\nDISK=C\n");
    const SettingsModel model = load_settings(*config, *drives);
    EXPECT_TRUE(model.display_gdi);
    EXPECT_FALSE(model.autoplay);
    EXPECT_FALSE(accept_settings(*config, model, main_window));
    EXPECT_TRUE(main_window.sent.empty());
    EXPECT_EQ(config->display_value(), "GDI");
    EXPECT_FALSE(config->autoplay());
}

TEST_F(SettingsFixture, ChangedDisplaySendsTheNewValueOnce) {
    open("");
    SettingsModel model = load_settings(*config, *drives);
    EXPECT_FALSE(model.display_gdi);
    model.display_gdi = true;
    std::string told;
    struct Handler : platform::UiMessageHandler {
        std::string* told;
        std::intptr_t handle_private_message(int message, std::intptr_t w, std::intptr_t) override {
            if (message == platform::kMsgDisplayModeChanged)
                *told = reinterpret_cast<const char*>(w);
            return 1;
        }
    } handler;
    handler.told = &told;
    main_window.set_handler(&handler);
    EXPECT_TRUE(accept_settings(*config, model, main_window));
    ASSERT_EQ(main_window.sent.size(), 1u);
    EXPECT_EQ(told, "GDI");
    EXPECT_EQ(config->display_value(), "GDI");
}

TEST_F(SettingsFixture, UnsupportedGpuForcesGdi) {
    open("[PLAY]\nDISPLAY=DIRECTDRAW\nDIRECTDRAWSUPPORT=FALSE\n");
    const SettingsModel model = load_settings(*config, *drives);
    EXPECT_FALSE(model.gpu_offered);
    EXPECT_TRUE(model.display_gdi);
}

TEST_F(SettingsFixture, DisksComeFromTheMappingAndAMissingChosenDiskStaysChosen) {
    const auto archive = dir.path() / "archive";
    std::filesystem::create_directories(archive);
    open("[RECORD]\nDISK=E\n[DRIVES]\nD=" + archive.string() +
         "\nF=" + (dir.path() / "gone").string() + "\n");
    SettingsModel model = load_settings(*config, *drives);
    const auto& c = model.disks[0];
    const auto& d = model.disks[1];
    EXPECT_TRUE(c.available);  // the home folder (here the test folder)
    EXPECT_TRUE(d.available);
    EXPECT_EQ(d.root, archive);
    const auto space = platform::DriveMap::space_of(archive);
    ASSERT_TRUE(space.has_value());
    EXPECT_EQ(d.capacity, format_gigabytes(space->capacity_bytes));
    EXPECT_FALSE(model.disks[2].available);  // E: not mapped
    EXPECT_FALSE(model.disks[3].available);  // F: mapped to a folder that does not exist
    EXPECT_TRUE(model.disks[3].capacity.empty());
    EXPECT_EQ(model.checked_disk, 'E');

    // OK saves the checked letter even though E: is not there.
    accept_settings(*config, model, main_window);
    EXPECT_EQ(config->record_disk(), "E");
    // No letter checked: H.
    model.checked_disk = 0;
    accept_settings(*config, model, main_window);
    EXPECT_EQ(config->record_disk(), "H");
}

TEST_F(SettingsFixture, ALetterMappedInTheDialogIsWrittenOnlyByOk) {
    open("");
    SettingsModel model = load_settings(*config, *drives);
    auto& g = model.disks[4];
    ASSERT_EQ(g.letter, 'G');
    EXPECT_FALSE(g.available);
    map_disk(g, dir.path());
    EXPECT_TRUE(g.available);
    EXPECT_FALSE(g.capacity.empty());
    EXPECT_FALSE(drives->root('G').has_value());  // nothing written yet
    accept_settings(*config, model, main_window);
    EXPECT_EQ(drives->root('G'), dir.path());
}

}  // namespace
}  // namespace orvel::app
