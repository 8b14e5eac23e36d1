// The remote search end to end against the simulated DVR on loopback: a logged-in site,
// a site that needs the search's own login (answered, refused, or too late), and a site
// whose connection is open without a login.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "../net/net_fakes.h"
#include "../support/fake_ports.h"
#include "net/net_session.h"
#include "net/remote_search.h"
#include "server.h"

namespace orvel::net {
namespace {

using platform::TreeItem;

// The windows of the search: the Date dialog "chooses" a day by sending message 32771's
// handling, as the real dialog does before it ends.
struct FakeSearchUi : SearchUiPort {
    bool run_date_dialog(const QueryDate&) override {
        ++dialogs;
        if (choose && search) search->search_for_date(choose);
        return choose != nullptr;
    }
    bool timeline_exists() const override { return timelines.size() > closes; }
    void close_timeline() override { ++closes; }
    void create_timeline(int count, const std::string& date) override {
        timelines.push_back({count, date});
    }
    void arm_login_timer(int ms) override { armed.push_back(ms); }
    void cancel_login_timer() override { ++cancelled; }
    void post_day_index_changed() override { ++day_index_posts; }
    void post_recording_days_changed() override { ++days_posts; }

    const char* choose = "09-03-07";
    RemoteSearch* search = nullptr;
    int dialogs = 0;
    std::vector<std::pair<int, std::string>> timelines;
    std::size_t closes = 0;
    std::vector<int> armed;
    int cancelled = 0;
    std::atomic<int> day_index_posts{0}, days_posts{0};
};

dvrsim::Scenario scenario() {
    dvrsim::Scenario s;
    s.users["admin"] = "1234";
    s.device = 1;
    s.switch_count = 4;
    s.recordings.push_back({3, 2009, 3, 7, 'C', 9, 30, 0, 1, 600});
    s.recordings.push_back({3, 2009, 3, 7, 'C', 8, 0, 0, 0, 300});
    s.recordings.push_back({1, 2009, 3, 7, 'D', 10, 0, 0, 0, 60});
    return s;
}

struct Rig {
    explicit Rig(dvrsim::Scenario s = scenario()) : server(std::move(s)) {
        std::string error;
        if (!server.start("127.0.0.1", 0, error)) ADD_FAILURE() << error;
        session =
            std::make_unique<NetSession>(state, NetPorts{tree, menus, box, channel, config, panes});
        search = std::make_unique<RemoteSearch>(state, *session,
                                                RemoteSearch::Ports{tree, menus, box, ui});
        ui.search = search.get();
        menus.menus[platform::MenuId::site] = {{kDisplayFilesCommand, "display files"}};
    }
    ~Rig() {
        channel.stop();
        session.reset();  // its readers end before the search they report to
        search.reset();
        server.stop();
    }
    TreeItem configure_site(const char* password = "1234") {
        view::SiteEntry s;
        copy_text(s.name, "Lab");
        copy_text(s.ip, "127.0.0.1");
        copy_text(s.user, "admin");
        copy_text(s.password, password);
        s.port1 = server.command_port();
        state.sites[static_cast<std::size_t>(state.site_count++)] = s;
        const TreeItem site = tree.insert_item(platform::kNoTreeItem, "Lab(127.0.0.1)",
                                               static_cast<std::uint32_t>(s.port1), kImageSite);
        tree.select_item(site);
        return site;
    }
    int log_count(const std::string& needle) const {
        const auto lines = server.log_lines();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) {
            return l.find(needle) != std::string::npos;
        }));
    }
    bool shown(const std::string& text) const {
        return std::any_of(box.shown.begin(), box.shown.end(),
                           [&](const auto& m) { return m.text == text; });
    }

    view::AppState state;
    test::FakeTree tree;
    test::FakeMenus menus;
    test::FakeMessageBox box;
    test::FakeSiteConfig config{state};
    test::FakePanes panes;
    FakeSearchUi ui;
    std::unique_ptr<NetSession> session;
    std::unique_ptr<RemoteSearch> search;
    test::PumpedUiChannel channel{[this](int m, std::intptr_t w, std::intptr_t l) -> std::intptr_t {
        return m == kMsgNetReply ? session->handle_net_message(w, l) : 0;
    }};
    dvrsim::Server server;
};

TEST(RemoteSearch, LoggedInSiteAsksForDaysThenQueriesEveryCameraOfTheChosenDay) {
    Rig rig;
    const TreeItem site = rig.configure_site();
    rig.session->on_tree_double_click(site, platform::TreeHitPart::label);
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.tree.children(site).size() == 4; }));

    rig.search->remote_files_command();
    EXPECT_EQ(rig.ui.dialogs, 1);
    EXPECT_EQ(rig.search->search_site_item(), site);
    ASSERT_EQ(rig.ui.timelines.size(), 1u);
    EXPECT_EQ(rig.ui.timelines[0], (std::pair<int, std::string>{4, "09-03-07"}));
    EXPECT_TRUE(rig.menus.entry(platform::MenuId::site, kDisplayFilesCommand)->enabled);
    EXPECT_TRUE(rig.menus.entry(platform::MenuId::site, kDisplayFilesCommand)->checked);
    EXPECT_STREQ(rig.state.remote_site_address.data(), "127.0.0.1");
    EXPECT_EQ(rig.state.remote_file_port, rig.server.command_port() + 2);
    ASSERT_TRUE(rig.channel.pump_until([&] {
        return rig.session->day_index().rows().size() == 4 && rig.ui.days_posts.load() == 1;
    })) << rig.session->day_index().rows().size()
        << " " << rig.ui.days_posts.load();
    EXPECT_EQ(rig.log_count("recording-days"), 1);
    EXPECT_EQ(rig.log_count("day-index camera="), 4);
    const DayIndex index = rig.session->day_index();
    ASSERT_NE(index.row_for(3), nullptr);
    EXPECT_EQ(index.row_for(3)->segments.size(), 2u);
    EXPECT_EQ(index.row_for(1)->segments[0].drive, 'D');
    EXPECT_GE(rig.ui.day_index_posts.load(), 4);
    EXPECT_TRUE(rig.box.shown.empty());

    // A second search replaces the first: the old timeline goes, the lists start afresh.
    rig.ui.choose = "09-03-08";
    rig.search->remote_files_command();
    EXPECT_EQ(rig.ui.closes, 1u);
    EXPECT_EQ(rig.ui.timelines.size(), 2u);
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.log_count("day-index camera=") == 8; }));
    ASSERT_TRUE(rig.channel.pump_until([&] {
        const DayIndex i = rig.session->day_index();
        return i.rows().size() == 4 && i.row_for(3)->segments.empty();
    }));
}

TEST(RemoteSearch, ASiteWithoutLoginIsLoggedInForTheSearchWithoutWaiting) {
    Rig rig;
    const TreeItem site = rig.configure_site();
    rig.search->remote_files_command();
    // The login was sent and the command returned: nothing waited for the DVR.
    EXPECT_TRUE(rig.search->waiting_for_login());
    EXPECT_EQ(rig.ui.armed, std::vector<int>{8000});
    EXPECT_TRUE(rig.ui.timelines.empty());
    ASSERT_TRUE(rig.channel.pump_until([&] { return !rig.ui.timelines.empty(); }));
    EXPECT_EQ(rig.ui.cancelled, 1);
    EXPECT_EQ(rig.tree.children(site).size(), 4u);
    EXPECT_FALSE(rig.tree.item(site).expanded);
    EXPECT_EQ(rig.ui.timelines[0].first, 4);
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.log_count("day-index camera=") == 4; }));
    EXPECT_TRUE(rig.box.shown.empty());

    // The connection is open now but the site is logged in: no refusal next time.
    rig.search->remote_files_command();
    EXPECT_FALSE(rig.shown("this address has connect, please dis connect then try again"));
}

TEST(RemoteSearch, RefusedOrLateLoginsGiveGetRemoteFileFailed) {
    Rig rig;
    rig.configure_site("wrong");
    rig.search->remote_files_command();
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.shown(kGetRemoteFileFailed); }));
    EXPECT_TRUE(rig.shown("incorrect  user name or password "));
    EXPECT_FALSE(rig.search->waiting_for_login());
    EXPECT_TRUE(rig.ui.timelines.empty());

    // The site's connection stays open without a login: the command refuses.
    rig.box.shown.clear();
    rig.search->remote_files_command();
    EXPECT_TRUE(rig.shown("this address has connect, please dis connect then try again"));
    EXPECT_EQ(rig.ui.dialogs, 1) << "no Date dialog";
}

TEST(RemoteSearch, TheLoginTimerEndsTheWaitAndALateAnswerIsIgnored) {
    Rig rig;
    const TreeItem site = rig.configure_site();
    rig.ui.choose = nullptr;  // the dialog is cancelled; the date comes as message 32771
    rig.search->remote_files_command();
    rig.search->search_for_date("09-03-07");
    ASSERT_TRUE(rig.search->waiting_for_login());
    rig.search->login_timed_out();
    EXPECT_TRUE(rig.shown(kGetRemoteFileFailed));
    EXPECT_FALSE(rig.search->waiting_for_login());
    rig.channel.pump_until([&] { return rig.log_count("accepted") == 1; });
    rig.channel.pump_for(100);
    EXPECT_TRUE(rig.ui.timelines.empty());
    EXPECT_TRUE(rig.tree.children(site).empty());

    // Dates that are not "yy-mm-dd" start nothing.
    for (const char* bad : {"", "09-3-07", "09-13-07", "aa-bb-cc", "09-03-07x"}) {
        rig.search->search_for_date(bad);
        EXPECT_FALSE(rig.search->waiting_for_login()) << bad;
    }
}

TEST(RemoteSearch, ADeadConnectionIsReplacedAndTheQueriesWaitForItsLogin) {
    dvrsim::Scenario s = scenario();
    s.drop_after_ms = 200;
    s.drop_clients = 1;  // the first connection dies; its replacement stays
    Rig rig(s);
    const TreeItem site = rig.configure_site();
    rig.session->on_tree_double_click(site, platform::TreeHitPart::label);
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.tree.children(site).size() == 4; }));
    ASSERT_TRUE(
        rig.channel.pump_until([&] { return rig.session->connection(0)->reader_ended.load(); }));

    rig.search->remote_files_command();
    // The timeline is up; its queries wait for the new connection's login.
    ASSERT_EQ(rig.ui.timelines.size(), 1u);
    EXPECT_TRUE(rig.search->waiting_for_login());
    EXPECT_EQ(rig.ui.armed, std::vector<int>{8000});
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.log_count("day-index camera=") == 4; }));
    EXPECT_FALSE(rig.search->waiting_for_login());
    EXPECT_EQ(rig.ui.cancelled, 1);
    EXPECT_EQ(rig.server.clients_served(), 2);
    // On the new connection the login came before the first query.
    const auto lines = rig.server.log_lines();
    const auto first = [&](const std::string& needle) {
        return std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.rfind("client 2:", 0) == 0 && l.find(needle) != std::string::npos;
        });
    };
    ASSERT_NE(first("accepted"), lines.end());
    EXPECT_LT(first("accepted"), first("day-index camera="));
    EXPECT_TRUE(rig.box.shown.empty());
    EXPECT_EQ(rig.tree.children(site).size(), 4u);  // the site keeps its cameras
}

}  // namespace
}  // namespace orvel::net
