#include "app/connect_wiring.h"

#include <cstring>

#include "app/command_ids.h"
#include "app/main_layout.h"

namespace orvel::app {

SiteConnection::SiteConnection(view::AppState& state, Config& config, SiteConnectionPorts ports,
                               net::PaneHooks* panes)
    : state_(state), config_port_(config, state, ports.messages) {
    session_ = std::make_unique<net::NetSession>(
        state, net::NetPorts{ports.tree, ports.menus, ports.messages, ports.channel, config_port_,
                             panes ? *panes : empty_panes_});
    session_->preload_site_records();
    dialog_ =
        std::make_unique<net::ConnectDialogLogic>(*session_, state, config_port_, ports.messages);
}

SiteConnection::~SiteConnection() {
    dialog_.reset();
    session_.reset();
}

void SiteConnection::register_commands(CommandDispatcher& d) {
    net::NetSession& s = *session_;
    d.set_handler(id::kStreamPlay, [&s](int) { s.play_camera(); });
    d.set_handler(id::kStreamStop, [&s](int) { s.stop_camera(); });
    d.set_handler(id::kStreamPlayRecord, [&s](int) { s.play_and_record_camera(); });
    d.set_handler(id::kSiteDelete, [&s](int) { s.delete_site(); });
    d.set_handler(id::kSiteStopPlay, [&s](int) { s.stop_play(); });
    d.set_handler(id::kSitePlayAll, [&s](int) { s.play_all(); });
    d.set_handler(id::kSiteDisconnect, [&s](int) { s.disconnect_site(); });
    d.set_handler(id::kSiteDefault, [&s](int) { s.default_connection(); });
    d.set_handler(id::kSelectCamera, [&s](int) { s.select_camera_toggle(); });
    d.set_handler(id::kPresetBase,
                  [this, &s](int cmd) { s.goto_preset(state_.menu_pane, cmd - id::kPresetBase); });
    d.set_handler(id::kPresetTour, [this, &s](int) { s.preset_tour(state_.menu_pane); });
}

bool SiteConnection::pad(int pad_index, bool pressed) {
    const auto buttons = pad_buttons_layout();
    if (pad_index < 0 || static_cast<std::size_t>(pad_index) >= buttons.size()) return false;
    const PadButtonLayout& b = buttons[static_cast<std::size_t>(pad_index)];
    if (b.latching) {
        if (!pressed) {
            session_->pad_latch_release();
            return false;
        }
        // The toggle whose "on" code is 16 keeps per-pane state A, the other state B.
        return session_->pad_latch(b.on_code == net::kToggleAOn ? 0 : 1);
    }
    if (pressed)
        session_->pad_press(b.press_code);
    else
        session_->pad_release(b.press_code);
    return false;
}

void SiteConnection::connect_site_index(int site_index, platform::TreeItem item) {
    session_->connect_and_login(site_index, item, net::kLoginFromTree);
}

void SiteConnection::connect_site_item(platform::TreeItem item) {
    session_->on_tree_double_click(item, platform::TreeHitPart::label);
}

std::intptr_t SiteConnection::handle_private_message(int message, std::intptr_t wparam,
                                                     std::intptr_t lparam) {
    if (message == net::kMsgNetReply) return session_->handle_net_message(wparam, lparam);
    return next_ ? next_->handle_private_message(message, wparam, lparam) : 0;
}

}  // namespace orvel::app
