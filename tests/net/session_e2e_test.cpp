// Site connection and login end to end against the simulated DVR on loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "../support/fake_ports.h"
#include "net/connect_dialog_logic.h"
#include "net/net_session.h"
#include "net_fakes.h"
#include "platform/log.h"
#include "session_rig.h"

namespace orvel::net {
namespace {

using platform::TreeHitPart;
using platform::TreeItem;
using test::base_scenario;
using test::kFullName;
using test::Rig;

TEST(SessionE2E, ConnectDialogLogsInAddsTheSiteAndReusesTheConnection) {
    Rig rig;
    rig.config.recent = {"10.0.0.9", "", "10.0.0.1"};
    rig.config.user = "operator";
    ConnectDialogLogic dialog(*rig.session, rig.state, rig.config, rig.box);
    ConnectDialogModel m = dialog.open();
    EXPECT_EQ(m.address_items, (std::vector<std::string>{"10.0.0.9", "10.0.0.1"}));
    EXPECT_EQ(m.address, "10.0.0.9");
    EXPECT_EQ(m.user, "operator");
    EXPECT_FALSE(m.port1_enabled);

    m.address = "127.0.0.1";
    m.user = "admin";
    m.password = "1234";
    ConnectDialogLogic::port_check_toggled(m, true);
    ConnectDialogLogic::command_port_edited(m, std::to_string(rig.port()));
    EXPECT_EQ(m.port3, std::to_string(rig.port() + 2));
    EXPECT_TRUE(m.port1_enabled);
    EXPECT_FALSE(m.port2_enabled);
    m.site_name = "Lab";
    m.save_port = true;
    ASSERT_EQ(rig.press_connect(dialog, m), ConnectDialogLogic::Outcome::kClose);
    ASSERT_TRUE(rig.channel.pump_until([&] {
        return rig.tree.children(platform::kNoTreeItem).size() == 1 &&
               rig.tree.children(rig.tree.root_item()).size() == 4;
    }));
    const TreeItem site = rig.tree.root_item();
    EXPECT_EQ(rig.tree.item(site).text, "Lab(127.0.0.1)");
    EXPECT_EQ(rig.tree.item(site).data, static_cast<std::uint32_t>(rig.port()));
    EXPECT_EQ(rig.tree.item(site).state_image, kImageSite);
    EXPECT_TRUE(rig.tree.item(site).expanded);
    EXPECT_EQ(rig.texts_under(site),
              (std::vector<std::string>{"Cam 01--Gate", "Cam 02--(Location)",
                                        "Cam 03--" + kFullName, "Cam 04--Yard"}));
    const auto cams = rig.tree.children(site);
    for (std::size_t i = 0; i < cams.size(); ++i) {
        EXPECT_EQ(rig.tree.item(cams[i]).data, i + 1);
        EXPECT_EQ(rig.tree.item(cams[i]).state_image, kImageCameraIdle);
    }
    ASSERT_EQ(rig.config.added.size(), 1u);
    EXPECT_STREQ(rig.config.added[0].name.data(), "Lab");
    EXPECT_EQ(rig.config.added[0].port3, rig.port() + 2);
    EXPECT_EQ(rig.config.ports_written, std::vector<int>{rig.port()});
    ASSERT_EQ(rig.config.saved.size(), 1u);
    EXPECT_EQ(rig.config.saved[0], (std::pair<std::string, std::string>{"1234", "127.0.0.1"}));

    // Presets of camera 1 arrive after the login and land in the site record.
    ASSERT_TRUE(
        rig.channel.pump_until([&] { return rig.session->site_record(0).presets[0][0] == 'H'; }));
    const SiteRecord rec = rig.session->site_record(0);
    EXPECT_STREQ(rec.address.data(), "127.0.0.1");
    EXPECT_EQ(rec.device, 1);
    EXPECT_EQ(rec.switch_count, 4);
    EXPECT_EQ(fixed_text(rec.presets[0].data() + 2 * kPresetNameBytes, kPresetNameBytes), "Door");

    // Again: the same connection, no second set of items.
    ConnectDialogModel again = dialog.open();
    again.address = "127.0.0.1";
    again.port1 = std::to_string(rig.port());
    again.user = "admin";
    again.password = "1234";
    ASSERT_EQ(rig.press_connect(dialog, again), ConnectDialogLogic::Outcome::kClose);
    ASSERT_TRUE(rig.wait_log("accepted", 2));
    rig.channel.pump_for(150);
    EXPECT_EQ(rig.session->connection_count(), 1);
    EXPECT_EQ(rig.server.clients_served(), 1);
    EXPECT_EQ(rig.tree.size(), 5u);
}

TEST(SessionE2E, ConnectDialogReplacesAConnectionTheDvrClosed) {
    dvrsim::Scenario s = base_scenario();
    s.drop_after_ms = 200;
    Rig rig(s);
    ConnectDialogLogic dialog(*rig.session, rig.state, rig.config, rig.box);
    ConnectDialogModel m = dialog.open();
    m.address = "127.0.0.1";
    m.port1 = std::to_string(rig.port());
    m.user = "admin";
    m.password = "1234";
    ASSERT_EQ(rig.press_connect(dialog, m), ConnectDialogLogic::Outcome::kClose);
    ASSERT_TRUE(rig.channel.pump_until([&] {
        const CommandConnection* c = rig.session->connection(0);
        return c && c->reader_ended.load();
    }));
    ASSERT_EQ(rig.press_connect(dialog, m), ConnectDialogLogic::Outcome::kClose);
    ASSERT_TRUE(rig.wait_log("accepted", 2));
    EXPECT_EQ(rig.server.clients_served(), 2);
    EXPECT_EQ(rig.session->connection_count(), 1);
    EXPECT_TRUE(rig.box.shown.empty());
}

TEST(SessionE2E, SaveThePortRefusesAnExistingSiteName) {
    Rig rig;
    rig.configure_site("Lab");
    ConnectDialogLogic dialog(*rig.session, rig.state, rig.config, rig.box);
    ConnectDialogModel m = dialog.open();
    m.address = "127.0.0.1";
    m.port1 = std::to_string(rig.port());
    m.site_name = "Lab";
    m.save_port = true;
    EXPECT_EQ(dialog.connect(m), ConnectDialogLogic::Outcome::kStay);
    ASSERT_EQ(rig.box.shown.size(), 1u);
    EXPECT_EQ(rig.box.shown[0].text, "this site exist");
    EXPECT_EQ(rig.box.shown[0].caption, "Error");
    EXPECT_FALSE(m.save_port);
    EXPECT_EQ(rig.session->connection_count(), 0);

    // A port nobody listens on: "connect failed", the dialog stays.
    m.port1 = "1";
    EXPECT_EQ(rig.press_connect(dialog, m), ConnectDialogLogic::Outcome::kStay);
    EXPECT_EQ(rig.box.shown.back().text, "connect failed");
    EXPECT_EQ(rig.session->connection_count(), 0);
}

TEST(SessionE2E, TreeDoubleClickLogsInOnceAndReusesTheConnection) {
    Rig rig;
    const TreeItem site = rig.configure_site("Gate house");
    rig.session->on_tree_double_click(site, TreeHitPart::indent);  // not on the label: nothing
    EXPECT_EQ(rig.session->connection_count(), 0);
    rig.session->on_tree_double_click(site, TreeHitPart::label);
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.tree.children(site).size() == 4; }));
    EXPECT_EQ(rig.tree.children(platform::kNoTreeItem).size(), 1u);  // no new site item
    EXPECT_EQ(rig.state.sites[0].port2, rig.port() + 1);

    rig.tree.select_item(site);
    rig.session->on_tree_double_click(site, TreeHitPart::label);
    ASSERT_TRUE(rig.wait_log("check"));
    ASSERT_TRUE(rig.wait_log("accepted", 2));
    rig.channel.pump_for(150);
    EXPECT_EQ(rig.tree.children(site).size(), 4u);
    EXPECT_EQ(rig.session->connection_count(), 1);
    EXPECT_EQ(rig.server.clients_served(), 1);
    EXPECT_TRUE(rig.box.shown.empty());
    // A camera item is not connected by a double click. Whatever it sent would reach the DVR
    // on this connection before the requests of the site double click that follows it.
    rig.session->on_tree_double_click(rig.tree.children(site)[0], TreeHitPart::label);
    rig.tree.select_item(site);
    rig.session->on_tree_double_click(site, TreeHitPart::label);
    ASSERT_TRUE(rig.wait_log("accepted", 3));
    // In the DVR's log, the logins before the second check are the two of the site clicks.
    const auto lines = rig.server.log_lines();
    int checks = 0, logins_before = 0;
    for (const std::string& line : lines) {
        if (line.find("check") != std::string::npos && ++checks == 2) break;
        if (line.find("accepted") != std::string::npos) ++logins_before;
    }
    EXPECT_EQ(checks, 2);
    EXPECT_EQ(logins_before, 2);
    EXPECT_EQ(rig.session->connection_count(), 1);
    EXPECT_EQ(rig.server.clients_served(), 1);
}

TEST(SessionE2E, WrongPasswordShowsTheMessageAndKeepsTheConnection) {
    Rig rig;
    const TreeItem site = rig.configure_site("Lab", "wrong");
    rig.session->on_tree_double_click(site, TreeHitPart::label);
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.box.count() == 1; }));
    EXPECT_EQ(rig.box.shown[0].text, "incorrect  user name or password ");
    EXPECT_EQ(rig.box.shown[0].caption, "");
    EXPECT_TRUE(rig.tree.children(site).empty());
    ASSERT_EQ(rig.session->connection_count(), 1);
    EXPECT_FALSE(rig.session->connection(0)->reader_ended.load());

    // The operator corrects the password and tries again on the same connection.
    copy_text(rig.state.sites[0].password, "1234");
    rig.tree.select_item(site);
    rig.session->on_tree_double_click(site, TreeHitPart::label);
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.tree.children(site).size() == 4; }));
    EXPECT_EQ(rig.server.clients_served(), 1);
    // Only the first 8 bytes of a long user name and password reach the DVR.
    rig.session->send_login(0, rig.site("x", "administrator", "secret-long"), kLoginFromTree, site,
                            false);
    EXPECT_TRUE(rig.wait_log("login user=administ password=secret-l accepted"));
}

std::vector<std::string> tree_after_login(dvrsim::Scenario scenario) {
    Rig rig(std::move(scenario));
    const TreeItem site = rig.configure_site("Lab");
    rig.session->on_tree_double_click(site, TreeHitPart::label);
    rig.channel.pump_until([&] { return rig.tree.children(site).size() == 4; });
    rig.channel.pump_until([&] { return rig.session->site_record(0).presets[0][0] == 'H'; });
    auto texts = rig.texts_under(site);
    for (TreeItem c : rig.tree.children(site))
        texts.push_back(std::to_string(rig.tree.item(c).data));
    texts.push_back(fixed_text(rig.session->site_record(0).presets[0].data(), kPresetNameBytes));
    return texts;
}

TEST(SessionE2E, SplitAndJoinedRepliesGiveTheSameTree) {
    const auto plain = tree_after_login(base_scenario());
    ASSERT_EQ(plain.size(), 9u);
    dvrsim::Scenario split = base_scenario();
    split.split_bytes = 7;
    split.split_pause_ms = 3;
    dvrsim::Scenario joined = base_scenario();
    joined.join_replies = true;
    EXPECT_EQ(tree_after_login(split), plain);
    EXPECT_EQ(tree_after_login(joined), plain);
}

TEST(SessionE2E, DisconnectRemovesItemsConnectionAndRecordAndDeleteIsRefusedWhileConnected) {
    Rig rig;
    const TreeItem site = rig.configure_site("Lab");
    rig.session->on_tree_double_click(site, TreeHitPart::label);
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.tree.children(site).size() == 4; }));

    rig.tree.select_item(site);
    rig.session->delete_site();
    ASSERT_EQ(rig.box.shown.size(), 2u);
    EXPECT_EQ(rig.box.shown[0].text, "you will delete \xEF\xBC\x9ALab(127.0.0.1)");
    EXPECT_EQ(rig.box.shown[0].caption, "Warning!");
    EXPECT_EQ(rig.box.shown[0].buttons, platform::MessageButtons::yes_no);
    EXPECT_EQ(rig.box.shown[1].text, "Connected to server, can't delete!");
    EXPECT_EQ(rig.box.shown[1].caption, "warming");
    EXPECT_TRUE(rig.config.deleted.empty());
    EXPECT_EQ(rig.tree.size(), 5u);

    // Disconnect with the first camera playing in pane 0.
    const TreeItem cam1 = rig.tree.children(site)[0];
    rig.tree.set_item_data(cam1, make_item_data(1, 0, 1));
    rig.tree.select_item(cam1);
    rig.session->disconnect_site();
    EXPECT_EQ(rig.panes.closed, std::vector<int>{0});
    EXPECT_TRUE(rig.tree.children(site).empty());
    EXPECT_EQ(rig.session->connection_count(), 0);
    EXPECT_FALSE(rig.session->site_record(0).in_use());
    ASSERT_TRUE(rig.wait_log("closed"));

    // Now the site may go.
    rig.box.answers = {platform::MessageResult::yes};
    rig.tree.select_item(site);
    rig.session->delete_site();
    EXPECT_EQ(rig.config.deleted, std::vector<std::string>{"Lab"});
    EXPECT_EQ(rig.tree.size(), 0u);

    // After a reconnect the items come back (the record was cleared).
    const TreeItem again = rig.configure_site("Lab");
    rig.session->on_tree_double_click(again, TreeHitPart::label);
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.tree.children(again).size() == 4; }));
}

TEST(SessionE2E, PadAndSelectCameraReachTheDvrInOrder) {
    Rig rig;
    const TreeItem site = rig.configure_site("Lab");
    rig.session->on_tree_double_click(site, TreeHitPart::label);
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.tree.children(site).size() == 4; }));
    // Pane 2 shows camera 3 of the DVR (as preloaded from [SRC]).
    copy_text(rig.state.pane_sources[2].address, "127.0.0.1");
    rig.state.pane_sources[2].channel = 3;
    rig.state.selected_pane = 2;
    rig.session->pad_press(kTiltUp);
    rig.session->pad_release(kTiltUp);
    EXPECT_TRUE(rig.session->select_camera_toggle());
    EXPECT_FALSE(rig.session->select_camera_toggle());
    EXPECT_FALSE(rig.session->pad_latch(0));  // starts on: now off, 15
    rig.session->pad_latch_release();
    rig.session->goto_preset(2, 4);
    ASSERT_TRUE(rig.wait_log("sub=4"));
    std::vector<std::string> controls;
    for (const auto& l : rig.server.log_lines())
        if (l.find("control") != std::string::npos) controls.push_back(l.substr(l.find("control")));
    EXPECT_EQ(controls, (std::vector<std::string>{
                            "control code=0 camera=3 sub=0", "control code=24 camera=3 sub=0",
                            "control code=10 camera=3 sub=0", "control code=13 camera=3 sub=0",
                            "control code=14 camera=3 sub=0", "control code=15 camera=3 sub=0",
                            "control code=10 camera=3 sub=0", "control code=21 camera=3 sub=4"}));
    // A pane whose source matches no connection sends nothing.
    rig.state.selected_pane = 5;
    rig.session->pad_press(kPanLeft);
    rig.channel.pump_for(100);
    EXPECT_EQ(rig.log_count("control code=2 "), 0);
}

TEST(SessionE2E, QueriesFillDayIndexAndRecordingDays) {
    Rig rig;
    const TreeItem site = rig.configure_site("Lab");
    rig.session->on_tree_double_click(site, TreeHitPart::label);
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.tree.children(site).size() == 4; }));
    ASSERT_TRUE(rig.session->send_day_index_query("127.0.0.1", rig.port(), 3, {2009, 3, 7}));
    ASSERT_TRUE(
        rig.channel.pump_until([&] { return rig.session->day_index().rows().size() == 1; }));
    const DayIndex index = rig.session->day_index();
    ASSERT_EQ(index.rows()[0].camera, 3);
    ASSERT_EQ(index.rows()[0].segments.size(), 2u);
    EXPECT_EQ(index.rows()[0].segments[0].hour, 8);
    EXPECT_EQ(index.rows()[0].segments[1].length_s, 600);
    EXPECT_TRUE(rig.wait_log("day-index camera=3 date=09-03-07"));
    ASSERT_TRUE(rig.session->send_recording_days_query("127.0.0.1", rig.port()));
    EXPECT_TRUE(rig.wait_log("recording-days date="));
    EXPECT_FALSE(rig.session->send_recording_days_query("127.0.0.1", rig.port() + 5));
}

TEST(SessionE2E, MaskAutoPlayAndMenus) {
    dvrsim::Scenario s = base_scenario();
    s.device = 2;  // 8 cameras
    s.send_mask = true;
    s.camera_mask = 0b11111101;  // camera 2 not offered
    Rig rig(s);
    rig.config.autoplay = true;
    rig.panes.panes_in_use = 3;
    rig.panes.free_panes = 4;  // the fifth open fails and ends the loop
    const TreeItem site = rig.configure_site("Lab");
    rig.session->on_tree_double_click(site, TreeHitPart::label);
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.tree.children(site).size() == 7; }));
    const auto cams = rig.tree.children(site);
    EXPECT_EQ(rig.tree.item(cams[1]).text, "Cam 03--" + kFullName);
    EXPECT_EQ(rig.panes.splits, std::vector<int>{4});  // 3 in use + 7 cameras: 4 x 4
    EXPECT_EQ(rig.panes.opened.size(), 5u);
    EXPECT_EQ(rig.panes.opened[0].camera, 1);
    EXPECT_EQ(rig.panes.opened[1].camera, 3);
    EXPECT_EQ(rig.tree.item(cams[0]).data, make_item_data(1, 0, 1));
    EXPECT_EQ(rig.tree.item(cams[0]).state_image, kImageCameraPlaying);
    EXPECT_EQ(rig.tree.item(cams[4]).state_image, kImageCameraIdle);
    EXPECT_EQ(rig.panes.selected, std::vector<int>{0});
    EXPECT_EQ(rig.tree.selected_item(), site);
    EXPECT_STREQ(rig.state.pane_sources[1].address.data(), "127.0.0.1");
    EXPECT_EQ(rig.state.pane_sources[1].channel, 3);

    // Stream menu states follow the play state; a click on a playing camera stops it.
    rig.menus.menus[platform::MenuId::stream] = {
        {32798, "play"}, {32799, "stop"}, {32800, "paly &recode"}};
    rig.session->on_tree_right_click(cams[0], 5, 6);
    EXPECT_FALSE(rig.menus.entry(platform::MenuId::stream, 32798)->enabled);
    EXPECT_TRUE(rig.menus.entry(platform::MenuId::stream, 32799)->enabled);
    rig.session->on_tree_click(cams[0], TreeHitPart::label);
    EXPECT_EQ(rig.panes.closed, std::vector<int>{0});
    EXPECT_EQ(rig.tree.item(cams[0]).data, 1u);
    rig.session->on_tree_right_click(cams[0], 5, 6);
    EXPECT_TRUE(rig.menus.entry(platform::MenuId::stream, 32798)->enabled);
    EXPECT_FALSE(rig.menus.entry(platform::MenuId::stream, 32799)->enabled);

    // Site menu: "play all" enabled with cameras, "default connection" checked for the default.
    rig.menus.menus[platform::MenuId::site] = {{32810, "play all"}, {32814, "default connection"}};
    copy_text(rig.state.default_address, "127.0.0.1");
    rig.state.default_port = rig.port();
    rig.session->on_tree_right_click(site, 1, 1);
    EXPECT_EQ(rig.state.current_site_text, "Lab(127.0.0.1)");
    EXPECT_TRUE(rig.menus.entry(platform::MenuId::site, 32810)->enabled);
    EXPECT_TRUE(rig.menus.entry(platform::MenuId::site, 32814)->checked);
    rig.session->default_connection();
    ASSERT_EQ(rig.config.toggles.size(), 1u);
    EXPECT_TRUE(rig.config.toggles[0].currently_default);
    const TreeItem other =
        rig.tree.insert_item(platform::kNoTreeItem, "Other(10.1.1.1)", 9000, kImageSite);
    rig.session->on_tree_right_click(other, 1, 1);
    EXPECT_FALSE(rig.menus.entry(platform::MenuId::site, 32810)->enabled);
    EXPECT_FALSE(rig.menus.entry(platform::MenuId::site, 32814)->checked);
}

TEST(SessionE2E, SearchLoginPreparesItemsWithoutTheTree) {
    Rig rig;
    const TreeItem site = rig.configure_site("Lab");
    const int slot = rig.session->create_connection("127.0.0.1", rig.port());
    ASSERT_EQ(slot, 0);
    ASSERT_TRUE(rig.session->send_login(slot, rig.site("Lab"), kLoginForSearch, site, false));
    // The answer reaches the UI thread like any login, but the tree is left to the search.
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.state.login_event.is_set(); }));
    const auto items = rig.session->prepared_items();
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[1].text, "Cam 02--(Location)");
    EXPECT_EQ(items[3].data, 4u);
    EXPECT_EQ(items[0].parent, site);
    EXPECT_TRUE(rig.tree.children(site).empty());
    EXPECT_TRUE(rig.session->site_record(0).in_use());
}

TEST(SessionE2E, PlayAllAndStopPlayWalkTheCameras) {
    Rig rig;
    const TreeItem site = rig.configure_site("Lab");
    rig.session->on_tree_double_click(site, TreeHitPart::label);
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.tree.children(site).size() == 4; }));
    const auto cams = rig.tree.children(site);
    rig.tree.set_item_data(cams[1], make_item_data(2, 9, 1));  // already playing in pane 9
    rig.panes.free_panes = 2;                                  // the third open fails
    rig.tree.select_item(site);
    rig.session->play_all();
    EXPECT_EQ(rig.panes.full_view_leaves, 1);
    ASSERT_EQ(rig.panes.opened.size(), 3u);
    EXPECT_EQ(rig.panes.opened[0].camera, 1);
    EXPECT_EQ(rig.panes.opened[1].camera, 3);
    EXPECT_EQ(rig.panes.opened[2].camera, 4);
    EXPECT_EQ(item_pane(rig.tree.item(cams[2]).data), 1);

    rig.tree.select_item(cams[0]);  // a camera item selects its site for site commands
    rig.session->stop_play();
    EXPECT_EQ(rig.panes.closed, (std::vector<int>{0, 9, 1}));
    for (TreeItem c : cams) EXPECT_EQ(item_play_state(rig.tree.item(c).data), 0);
    EXPECT_EQ(rig.tree.selected_item(), site);
    EXPECT_EQ(rig.session->connection_count(), 1);  // stop play keeps the connection
}

TEST(SessionE2E, DroppedConnectionIsReplacedOnTheNextLogin) {
    dvrsim::Scenario s = base_scenario();
    s.drop_after_ms = 300;
    Rig rig(s);
    const TreeItem site = rig.configure_site("Lab");
    rig.session->on_tree_double_click(site, TreeHitPart::label);
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.tree.children(site).size() == 4; }));
    ASSERT_TRUE(
        rig.channel.pump_until([&] { return rig.session->connection(0)->reader_ended.load(); }));
    rig.tree.select_item(site);
    rig.session->on_tree_double_click(site, TreeHitPart::label);
    ASSERT_TRUE(rig.wait_log("accepted", 2));
    EXPECT_EQ(rig.server.clients_served(), 2);
    EXPECT_EQ(rig.session->connection_count(), 1);
    EXPECT_EQ(rig.tree.children(site).size(), 4u);
}

// Counts the program's log lines that hold a text (any thread writes, the test reads).
struct CountingLogSink final : platform::LogSink {
    explicit CountingLogSink(std::string text) : needle(std::move(text)) {}
    void write(platform::LogLevel, std::string_view line) override {
        std::lock_guard lock(mutex);
        if (line.find(needle) != std::string_view::npos) ++count;
    }
    int seen() {
        std::lock_guard lock(mutex);
        return count;
    }
    const std::string needle;
    std::mutex mutex;
    int count = 0;
};

TEST(SessionE2E, RepliesLongerThanTheirLengthFieldStillGiveTheTreeAndNoFalseMessage) {
    CountingLogSink ignored("login reply without a login ignored");
    platform::set_log_sink(&ignored);
    struct Unset {
        ~Unset() { platform::set_log_sink(nullptr); }
    } unset;  // declared after the sink, before the rig: removed once the rig's threads ended
    // The DVR pads every reply with zero bytes its length field does not count: read alone,
    // such bytes look like a login reply that refuses.
    // The login reply is the only reply (no presets). The padding is read as a login reply of
    // its own, which no login asked for: the next login is sent only once that was seen
    // (padding read while a login is outstanding would still be taken for its answer).
    dvrsim::Scenario s = base_scenario();
    s.presets.clear();
    s.reply_excess_bytes = 16;
    Rig rig(s);
    const TreeItem site = rig.configure_site("Lab");
    for (int login = 1; login <= 2; ++login) {
        rig.tree.select_item(site);
        rig.session->on_tree_double_click(site, TreeHitPart::label);
        ASSERT_TRUE(rig.wait_log("accepted", login));
        ASSERT_TRUE(rig.channel.pump_until([&] { return rig.tree.children(site).size() == 4; }));
        ASSERT_TRUE(rig.channel.pump_until([&] { return ignored.seen() >= login; }));
        rig.channel.pump_until([] { return false; }, 0);  // whatever else was posted
        EXPECT_EQ(rig.box.count(), 0) << (rig.box.count() ? rig.box.shown[0].text : "");
    }
    EXPECT_EQ(rig.server.clients_served(), 1);
    EXPECT_FALSE(rig.session->connection(0)->reader_ended.load());
}

TEST(SessionE2E, ConnectionResetDuringLoginLeavesNoSiteAndTheNextLoginWorks) {
    dvrsim::Scenario s = base_scenario();
    s.login_resets = 1;
    Rig rig(s);
    const TreeItem site = rig.configure_site("Lab");
    rig.session->on_tree_double_click(site, TreeHitPart::label);
    ASSERT_TRUE(rig.wait_log("login answered by a reset"));
    ASSERT_TRUE(
        rig.channel.pump_until([&] { return rig.session->connection(0)->reader_ended.load(); }));
    EXPECT_TRUE(rig.tree.children(site).empty());
    // The operator tries again: a new connection, and the site opens.
    rig.tree.select_item(site);
    rig.session->on_tree_double_click(site, TreeHitPart::label);
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.tree.children(site).size() == 4; }));
    EXPECT_EQ(rig.server.clients_served(), 2);
    EXPECT_EQ(rig.session->connection_count(), 1);
}

}  // namespace
}  // namespace orvel::net
