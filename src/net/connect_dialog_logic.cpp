#include "net/connect_dialog_logic.h"

#include <cctype>
#include <climits>
#include <cstring>

#include "net/net_texts.h"
#include "view/strings.h"

namespace orvel::net {

namespace {

std::string cut(const std::string& text, std::size_t chars) {
    return text.size() > chars ? text.substr(0, chars) : text;
}

}  // namespace

int port_from_text(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long v = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > INT_MAX) v = INT_MAX;
    }
    return static_cast<int>(negative ? -v : v);
}

ConnectDialogLogic::ConnectDialogLogic(NetSession& session, view::AppState& state,
                                       SiteConfigPort& config, platform::MessageBoxPort& messages)
    : session_(session), state_(state), config_(config), messages_(messages) {}

ConnectDialogModel ConnectDialogLogic::open() const {
    ConnectDialogModel m;
    for (const auto& a : config_.recent_addresses())
        if (!a.empty()) m.address_items.push_back(a);
    m.address = m.address_items.empty() ? std::string() : m.address_items.front();  // ip0
    m.user = config_.network_user();
    return m;
}

void ConnectDialogLogic::command_port_edited(ConnectDialogModel& model, const std::string& text) {
    model.port1 = text;
    const long long p = port_from_text(text);
    model.port2 = std::to_string(p + 1);
    model.port3 = std::to_string(p + 2);
}

void ConnectDialogLogic::port_check_toggled(ConnectDialogModel& model, bool ticked) {
    model.port_check = ticked;
    model.port1_enabled = ticked;
    model.port2_enabled = false;
    model.port3_enabled = false;
}

void ConnectDialogLogic::save_settings(const std::string& password, const std::string& address) {
    config_.save_connect_settings(password, address);
}

ConnectDialogLogic::Outcome ConnectDialogLogic::connect(ConnectDialogModel& model) {
    const std::string address = cut(model.address, kDialogAddressChars);
    const std::string password = cut(model.password, kDialogPasswordChars);
    const std::string user = cut(model.user, kDialogUserChars);
    const std::string port_text = cut(model.port1, kDialogPortChars);
    const std::string name = cut(model.site_name, kDialogSiteNameChars);

    if (model.save_port) {
        for (int i = 0; i < state_.site_count && i < view::kMaxSites; ++i) {
            const auto& s = state_.sites[static_cast<std::size_t>(i)];
            if (std::string(s.name.data(), strnlen(s.name.data(), s.name.size())) == name) {
                messages_.show_message(view::strings::kStr71SiteExists, texts::kErrorCaption);
                model.save_port = false;
                return Outcome::kStay;
            }
        }
    }
    const int port = port_from_text(port_text);
    config_.write_connect_ports(port);

    int slot = session_.find_connection(address, port);
    // A connection the DVR has closed can carry no login: replace it instead of
    // sending into it for ever.
    if (slot >= 0 && session_.connection(slot)->dead()) {
        session_.destroy_connection(slot);
        slot = -1;
    }
    if (slot < 0) slot = session_.create_connection(address, port);
    if (slot < 0) {
        messages_.show_message(view::strings::kStr10ConnectFailed, "");
        return Outcome::kStay;
    }
    view::SiteEntry site;
    copy_text(site.name, name);
    copy_text(site.ip, address);
    copy_text(site.user, user);
    copy_text(site.password, password);
    site.port1 = port;
    site.port2 = port + 1;
    site.port3 = port + 2;
    session_.send_login(slot, site, kLoginFromDialog, platform::kNoTreeItem, model.save_port);
    const CommandConnection* conn = session_.connection(slot);
    if (conn == nullptr || conn->ui_connected) {  // sent, or its failure shown
        save_settings(password, address);
        return Outcome::kClose;
    }
    // The connect runs on the connection's own thread; the dialog stays until it ends, as
    // a failed connect keeps the dialog open.
    waiting_ = true;
    const std::uint64_t token = ++wait_token_;
    session_.watch_connect(slot, [this, token, password, address](bool connected) {
        if (token != wait_token_) return;  // the dialog stopped waiting
        waiting_ = false;
        if (connected) save_settings(password, address);
        if (result_handler_) result_handler_(connected ? Outcome::kClose : Outcome::kStay);
    });
    return Outcome::kConnecting;
}

void ConnectDialogLogic::set_result_handler(std::function<void(Outcome)> handler) {
    result_handler_ = std::move(handler);
}

void ConnectDialogLogic::close(const ConnectDialogModel& model) {
    ++wait_token_;
    waiting_ = false;
    save_settings(cut(model.password, kDialogPasswordChars),
                  cut(model.address, kDialogAddressChars));
}

}  // namespace orvel::net
