// The site connection code against the simulated DVR on loopback: a session with fake UI
// ports whose UI messages the test thread pumps.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../support/fake_ports.h"
#include "net/connect_dialog_logic.h"
#include "net/net_session.h"
#include "net_fakes.h"
#include "server.h"

namespace orvel::net::test {

using platform::TreeItem;
using namespace orvel::test;

inline const std::string kFullName(36, 'W');

inline dvrsim::Scenario base_scenario() {
    dvrsim::Scenario s;
    s.users["admin"] = "1234";
    s.users["administrator"] = "secret-long";
    s.device = 1;
    s.switch_count = 4;
    s.camera_names = {{1, "Gate"}, {2, ""}, {3, kFullName}, {4, "Yard"}};
    s.presets[1] = {"Home", "", "Door"};
    s.recordings.push_back({3, 2009, 3, 7, 'C', 9, 30, 0, 1, 600});
    s.recordings.push_back({3, 2009, 3, 7, 'C', 8, 0, 0, 0, 300});
    return s;
}

struct Rig {
    explicit Rig(dvrsim::Scenario scenario = base_scenario()) : server(std::move(scenario)) {
        std::string error;
        if (!server.start("127.0.0.1", 0, error)) ADD_FAILURE() << error;
        session =
            std::make_unique<NetSession>(state, NetPorts{tree, menus, box, channel, config, panes});
    }
    ~Rig() {
        channel.stop();
        session.reset();
        server.stop();
    }

    int port() const { return server.command_port(); }

    view::SiteEntry site(const char* name, const char* user = "admin",
                         const char* password = "1234") const {
        view::SiteEntry s;
        copy_text(s.name, name);
        copy_text(s.ip, "127.0.0.1");
        copy_text(s.user, user);
        copy_text(s.password, password);
        s.port1 = port();
        return s;
    }
    // Adds the site to the list and a site item to the tree, as start-up does; on the
    // simulated DVR's command port unless another is given.
    TreeItem configure_site(const char* name, const char* password = "1234", int command_port = 0) {
        view::SiteEntry entry = site(name, "admin", password);
        if (command_port != 0) entry.port1 = command_port;
        state.sites[static_cast<std::size_t>(state.site_count++)] = entry;
        return tree.insert_item(platform::kNoTreeItem, site_item_text(name, "127.0.0.1"),
                                static_cast<std::uint32_t>(entry.port1), kImageSite);
    }
    std::vector<std::string> texts_under(TreeItem parent) const {
        std::vector<std::string> out;
        for (TreeItem c : tree.children(parent)) out.push_back(tree.item(c).text);
        return out;
    }
    int log_count(const std::string& needle) const {
        const auto lines = server.log_lines();
        return static_cast<int>(std::count_if(
            lines.begin(), lines.end(),
            [&](const std::string& l) { return l.find(needle) != std::string::npos; }));
    }
    bool wait_log(const std::string& needle, int count = 1) {
        return channel.pump_until([&] { return log_count(needle) >= count; });
    }
    // The connect button, then the UI thread's work until the dialog would close or stay.
    ConnectDialogLogic::Outcome press_connect(ConnectDialogLogic& dialog, ConnectDialogModel& m) {
        std::optional<ConnectDialogLogic::Outcome> result;
        dialog.set_result_handler([&](ConnectDialogLogic::Outcome o) { result = o; });
        const auto first = dialog.connect(m);
        if (first == ConnectDialogLogic::Outcome::kConnecting)
            channel.pump_until([&] { return result.has_value(); });
        dialog.set_result_handler(nullptr);
        if (first != ConnectDialogLogic::Outcome::kConnecting) return first;
        return result.value_or(ConnectDialogLogic::Outcome::kConnecting);
    }

    view::AppState state;
    FakeTree tree;
    FakeMenus menus;
    FakeMessageBox box;
    FakeSiteConfig config{state};
    FakePanes panes;
    std::unique_ptr<NetSession> session;
    PumpedUiChannel channel{[this](int m, std::intptr_t w, std::intptr_t l) -> std::intptr_t {
        return m == kMsgNetReply ? session->handle_net_message(w, l) : 0;
    }};
    dvrsim::Server server;
};

}  // namespace orvel::net::test
