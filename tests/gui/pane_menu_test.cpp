// A right click on a live pane, offscreen against the DVR simulator: the menu lists "stop",
// "zoom", "photo", the camera's preset names and the tour; choosing a preset or the tour
// sends its camera command; "stop" frees the pane; an empty pane opens no menu.
#include <gtest/gtest.h>

#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/command_ids.h"
#include "app/config.h"
#include "codec/decoder_table.h"
#include "gui/program.h"
#include "gui_test_support.h"
#include "program_fixture.h"
#include "platform/ini_file.h"
#include "scenario.h"
#include "server.h"

namespace orvel::gui {
namespace {

namespace id = app::id;

class PaneMenu : public test::ProgramFixture {
protected:
    void SetUp() override {
        dvrsim::Scenario scenario;
        std::string error;
        ASSERT_TRUE(dvrsim::load_scenario_text(
            "user admin 1234\ndevice 1\nswitch 2\nstream * mpeg4 176x144 noaudio\n"
            "camera 1 Gate\ncamera 2 Yard\npreset 1 0 Gate closed\npreset 1 2 Street\n",
            scenario, error))
            << error;
        const int port = start_server(std::move(scenario));
        ASSERT_GT(port, 0);
        std::ostringstream ini_text;
        ini_text << "[LOCATION]\nnum=1\npos0=Sim\nip0=127.0.0.1\nuser0=admin\nps0=1234\n"
                 << "port10=" << port << "\n[DEFAULT]\nip=127.0.0.1\nport=" << port
                 << "\n[PLAY]\nAUTOPLAY=TRUE\nDISPLAY=GDI\n";
        start_program(ini_text.str(), view::ScreenModeKind::mode_1024, [this] {
            program->menus().set_popup_override([this](QMenu& menu, QPoint) -> QAction* {
                shown.clear();
                QAction* chosen = nullptr;
                for (QAction* a : menu.actions()) {
                    if (a->isSeparator()) continue;
                    shown.push_back(a->text().toStdString());
                    if (a->data().toInt() == choice) chosen = a;
                }
                ++menus_shown;
                return chosen;
            });
        });
        ASSERT_TRUE(test::spin_until([&] { return state.open_pane_count == 2; }, 10000));
    }
    // A real right-button press in the middle of a pane of the 2 x 2 grid.
    void right_click(int pane) {
        VideoWindow* video = program->window().video_area()->video_window();
        const QPoint at((pane % 2) * video->width() / 2 + video->width() / 4,
                        (pane / 2) * video->height() / 2 + video->height() / 4);
        QTest::mouseClick(video, Qt::RightButton, {}, at);
    }
    int log_count(const std::string& needle) const {
        const auto lines = server->log_lines();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) {
            return l.find(needle) != std::string::npos;
        }));
    }

    std::vector<std::string> shown;
    int choice = 0;
    int menus_shown = 0;
};

TEST_F(PaneMenu, LivePaneMenuListsThePresetNamesAndSendsTheirCommands) {
    // The preset names follow the login reply in a message of their own: the site record
    // exists (with empty names) before they are read, so wait for the first camera's names.
    ASSERT_TRUE(test::spin_until([&] {
        const auto names = program->net().preset_names(0);
        return names.has_value() && (*names)[0] != 0;
    }));
    choice = id::kPresetBase + 2;
    right_click(0);
    EXPECT_EQ(shown, (std::vector<std::string>{"stop", "zoom", "photo", "Gate closed", "Street",
                                               "\xE8\xBD\xAE\xE8\xAF\xA2"}));
    EXPECT_EQ(state.menu_pane, 0);
    ASSERT_TRUE(test::spin_until([&] { return log_count("control code=21 camera=1 sub=2") == 1; }));
    choice = id::kPresetTour;
    right_click(0);
    ASSERT_TRUE(test::spin_until([&] { return log_count("control code=30 camera=1") == 1; }));

    // The second camera has no presets: only the three commands.
    choice = 0;
    right_click(1);
    EXPECT_EQ(shown, (std::vector<std::string>{"stop", "zoom", "photo"}));

    // An empty pane opens nothing.
    const int before = menus_shown;
    right_click(3);
    EXPECT_EQ(menus_shown, before);

    // "stop" closes the pane and its camera item goes back to idle.
    choice = id::kPaneStop;
    right_click(1);
    EXPECT_EQ(state.pane_kind[1], view::PANE_FREE);
    EXPECT_EQ(state.open_pane_count, 1);
    QtTreeControl& tree = program->tree();
    const platform::TreeItem second = tree.next_sibling(tree.first_child(state.default_site_item));
    EXPECT_EQ(net::item_play_state(tree.item_data(second)), 0);
}

}  // namespace
}  // namespace orvel::gui
