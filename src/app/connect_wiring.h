// Puts the site connection code into the running program: owns the session, the
// configuration adapter and the pane hooks, registers the tree, site, stream,
// select-camera and preset commands with the dispatcher, serves the pad, and routes
// the reader threads' private message to the session.
#pragma once

#include <memory>

#include "app/config.h"
#include "app/connect_config_port.h"
#include "app/dispatcher.h"
#include "net/connect_dialog_logic.h"
#include "net/net_session.h"
#include "net/pane_hooks.h"
#include "platform/ports/ui_channel.h"
#include "view/app_state.h"

namespace orvel::app {

struct SiteConnectionPorts {
    platform::TreeControlPort& tree;
    platform::MenuPort& menus;
    platform::MessageBoxPort& messages;
    platform::UiMessageChannel& channel;
};

class SiteConnection final : public platform::UiMessageHandler {
public:
    // `panes`: the live view's pane operations; null = the empty ones (not built yet).
    // Thread: UI thread.
    SiteConnection(view::AppState& state, Config& config, SiteConnectionPorts ports,
                   net::PaneHooks* panes = nullptr);
    // Ends every reader thread. Call after the UI channel has stopped taking messages
    // or while the UI thread still serves them. Thread: UI thread.
    ~SiteConnection() override;

    net::NetSession& session() { return *session_; }
    net::ConnectDialogLogic& connect_dialog() { return *dialog_; }

    // Registers the command ids this code owns. Thread: UI thread.
    void register_commands(CommandDispatcher& dispatcher);
    // The pad's hook: button `pad_index` of the pad table pressed or released.
    // Returns the new on state of a latching button (false for momentary ones).
    bool pad(int pad_index, bool pressed);
    // Connects the site of a root tree item (start-up default site, double click).
    void connect_site_item(platform::TreeItem item);
    void connect_site_index(int site_index, platform::TreeItem item);

    // Messages for this code are handled here; every other message goes on to `next`
    // (the shell). Install this object as the UI channel's handler. Thread: UI thread.
    void set_next_handler(platform::UiMessageHandler* next) { next_ = next; }
    std::intptr_t handle_private_message(int message, std::intptr_t wparam,
                                         std::intptr_t lparam) override;

private:
    view::AppState& state_;
    ConfigSitePort config_port_;
    net::PaneHooks empty_panes_;
    std::unique_ptr<net::NetSession> session_;
    std::unique_ptr<net::ConnectDialogLogic> dialog_;
    platform::UiMessageHandler* next_ = nullptr;
};

}  // namespace orvel::app
