// The UI thread never waits on the network for a command connection: connects run on the
// connection's own thread, stopping one never waits for its bound, and a DVR that stops
// reading costs a send no more than its short bound.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "../support/blackhole.h"
#include "session_rig.h"

namespace orvel::net {
namespace {

using platform::TreeHitPart;
using platform::TreeItem;
using test::Rig;

TEST(ConnectAsync, ASiteThatDoesNotAnswerFailsOnceWithoutHoldingTheUiThread) {
    orvel::test::Blackhole hole;
    ASSERT_NE(hole.port(), 0);
    Rig rig;
    rig.session->set_connect_timeout_ms(2000);
    const TreeItem site = rig.configure_site("Silent", "1234", hole.port());

    rig.session->on_tree_double_click(site, TreeHitPart::label);
    // The double click returned while the connect still waits for the DVR.
    ASSERT_EQ(rig.session->connection_count(), 1);
    const CommandConnection* conn = rig.session->connection(0);
    EXPECT_FALSE(conn->reader_ended.load());
    EXPECT_FALSE(conn->ui_connected);
    EXPECT_FALSE(rig.session->connection_ready(0));

    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.box.count() > 0; }, 10000));
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.channel.idle(); }));
    ASSERT_EQ(rig.box.shown.size(), 1u);
    EXPECT_EQ(rig.box.shown[0].text, "connect failed");
    EXPECT_EQ(rig.box.shown[0].caption, "");
    // The site is back to configured: no connection, no cameras; a retry starts afresh.
    EXPECT_EQ(rig.session->connection_count(), 0);
    EXPECT_TRUE(rig.tree.children(site).empty());

    // The Connect dialog waits for the same connect without waiting itself, and stays.
    ConnectDialogLogic dialog(*rig.session, rig.state, rig.config, rig.box);
    ConnectDialogModel m = dialog.open();
    m.address = "127.0.0.1";
    m.port1 = std::to_string(hole.port());
    std::optional<ConnectDialogLogic::Outcome> outcome;
    dialog.set_result_handler([&](ConnectDialogLogic::Outcome o) { outcome = o; });
    EXPECT_EQ(dialog.connect(m), ConnectDialogLogic::Outcome::kConnecting);
    EXPECT_TRUE(dialog.waiting());
    EXPECT_TRUE(rig.config.saved.empty());
    ASSERT_TRUE(rig.channel.pump_until([&] { return outcome.has_value(); }, 10000));
    EXPECT_EQ(*outcome, ConnectDialogLogic::Outcome::kStay);
    ASSERT_EQ(rig.box.shown.size(), 2u);
    EXPECT_EQ(rig.box.shown[1].text, "connect failed");
    EXPECT_TRUE(rig.config.saved.empty()) << "the dialog saves its settings when it closes";
}

TEST(ConnectAsync, LoginsSentAfterTheConnectFailedButBeforeItIsHandledReportOnce) {
    // A port nobody listens on refuses at once.
    int refused_port = 0;
    {
        orvel::test::Blackhole probe;
        refused_port = probe.port();
    }
    ASSERT_NE(refused_port, 0);
    Rig rig;
    const int slot = rig.session->create_connection("127.0.0.1", refused_port);
    ASSERT_GE(slot, 0);
    const CommandConnection* conn = rig.session->connection(slot);
    // The connection's thread has failed, but the UI thread has not yet handled it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!conn->reader_ended.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_TRUE(conn->reader_ended.load());
    ASSERT_FALSE(conn->ui_connected);

    view::SiteEntry site = rig.site("Refused");
    site.port1 = refused_port;
    EXPECT_TRUE(rig.session->send_login(slot, site, kLoginFromTree, platform::kNoTreeItem, false));
    EXPECT_TRUE(
        rig.session->send_login(slot, site, kLoginFromDialog, platform::kNoTreeItem, false));
    EXPECT_TRUE(rig.box.shown.empty()) << "the failure is reported when the UI thread handles it";
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.channel.idle(); }));
    ASSERT_EQ(rig.box.shown.size(), 1u);
    EXPECT_EQ(rig.box.shown[0].text, "connect failed");
    EXPECT_EQ(rig.session->connection_count(), 0);
}

TEST(ConnectAsync, StoppingNeverWaitsForAConnectOrAReply) {
    orvel::test::Blackhole hole;
    ASSERT_NE(hole.port(), 0);
    Rig rig;
    constexpr int kConnectBoundMs = 60000;
    rig.session->set_connect_timeout_ms(kConnectBoundMs);
    const TreeItem site = rig.configure_site("Lab");
    rig.session->on_tree_double_click(site, TreeHitPart::label);
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.tree.children(site).size() == 4; }));
    const TreeItem silent = rig.configure_site("Silent", "1234", hole.port());
    rig.session->on_tree_double_click(silent, TreeHitPart::label);
    ASSERT_EQ(rig.session->connection_count(), 2);

    // One connection waits in its connect, the other in a receive: both end on the stop, far
    // inside the connect bound.
    auto stopped = std::async(std::launch::async, [&] { rig.session.reset(); });
    EXPECT_EQ(stopped.wait_for(std::chrono::milliseconds(kConnectBoundMs / 3)),
              std::future_status::ready);
    EXPECT_TRUE(rig.box.shown.empty());
}

TEST(ConnectAsync, ASendThatCannotCompleteLosesTheConnection) {
    dvrsim::Scenario s = test::base_scenario();
    s.deaf_after_login = true;  // the DVR answers the login, then reads nothing more
    Rig rig(s);
    const TreeItem site = rig.configure_site("Lab");
    rig.session->on_tree_double_click(site, TreeHitPart::label);
    ASSERT_TRUE(rig.channel.pump_until([&] { return rig.tree.children(site).size() == 4; }));

    // The buffers fill; then a send gives up after its bound instead of blocking.
    bool sent = true;
    long sends = 0;
    for (; sent && sends < 1'000'000; ++sends)
        sent = rig.session->send_day_index_query("127.0.0.1", rig.port(), 1, {2009, 3, 7});
    ASSERT_FALSE(sent) << sends << " sends all went out";
    EXPECT_TRUE(rig.session->connection(0)->dead());
    EXPECT_FALSE(rig.session->connection_ready(0));
    // Nothing more is tried on the lost connection.
    EXPECT_FALSE(rig.session->send_recording_days_query("127.0.0.1", rig.port()));

    // The next login opens a new connection.
    rig.tree.select_item(site);
    rig.session->on_tree_double_click(site, TreeHitPart::label);
    ASSERT_TRUE(rig.wait_log("accepted", 2));
    EXPECT_EQ(rig.server.clients_served(), 2);
    EXPECT_EQ(rig.session->connection_count(), 1);
    EXPECT_TRUE(rig.box.shown.empty());
}

}  // namespace
}  // namespace orvel::net
