#include "net/remote_search.h"

#include <cstring>
#include <utility>

#include "view/strings.h"
#include "platform/log.h"

namespace orvel::net {

namespace strings = view::strings;
using platform::kNoTreeItem;
using platform::TreeItem;

namespace {

constexpr std::size_t kSiteTextChars = 64;
constexpr std::size_t kDateChars = 8;

std::string field_text(const char* field, std::size_t n) {
    return std::string(field, strnlen(field, n));
}

}  // namespace

bool parse_search_date(std::string_view text, QueryDate& out) {
    if (text.size() != kDateChars || text[2] != '-' || text[5] != '-') return false;
    for (std::size_t i : {0u, 1u, 3u, 4u, 6u, 7u})
        if (text[i] < '0' || text[i] > '9') return false;
    auto two = [&](std::size_t at) { return (text[at] - '0') * 10 + (text[at + 1] - '0'); };
    out.year = 2000 + two(0);
    out.month = two(3);
    out.day = two(6);
    return out.month >= 1 && out.month <= 12 && out.day >= 1 && out.day <= 31;
}

RemoteSearch::RemoteSearch(view::AppState& state, NetSession& session, Ports ports)
    : state_(state), session_(session), ports_(ports) {
    session_.set_search_listener(this);
}

TreeItem RemoteSearch::selected_site_item() const {
    const TreeItem item = ports_.tree.selected_item();
    if (item == kNoTreeItem) return kNoTreeItem;
    const TreeItem parent = ports_.tree.parent_item(item);
    return parent == kNoTreeItem ? item : parent;
}

void RemoteSearch::remote_files_command() {
    const TreeItem site = selected_site_item();
    if (site == kNoTreeItem) return;
    const std::string text = ports_.tree.item_text(site).substr(0, kSiteTextChars);
    const std::string address = site_text_address(text);
    const int port = static_cast<int>(ports_.tree.item_data(site));
    const QueryDate today = today_utc();
    if (session_.camera_item_count(site) > 0) {
        if (session_.send_recording_days_query(address, port, today)) ++days_asked_;
    } else if (session_.find_connection(address, port) >= 0) {
        ports_.message_box.show_message(strings::kStr73AddressConnected, "");
        return;
    }
    dialog_site_item_ = site;
    const bool ok = ports_.ui.run_date_dialog(today);
    dialog_site_item_ = kNoTreeItem;
    if (ok) search_site_item_ = site;
}

void RemoteSearch::search_for_date(const char* date_text) {
    QueryDate date;
    if (date_text == nullptr || !parse_search_date(date_text, date)) return;
    const TreeItem site =
        dialog_site_item_ != kNoTreeItem ? dialog_site_item_ : selected_site_item();
    if (site == kNoTreeItem) return;
    date_ = date_text;
    const std::string text = ports_.tree.item_text(site).substr(0, kSiteTextChars);
    address_ = site_text_address(text);
    command_port_ = static_cast<int>(ports_.tree.item_data(site));
    copy_text(state_.remote_site_address, address_);
    state_.remote_file_port = command_port_ + 2;
    ORVEL_LOG_INFO("remote search of %s for %s, command port %d", address_.c_str(), date_.c_str(),
                   command_port_);

    if (wait_ != Wait::kNone) {  // a search that still waits is replaced by this one
        ports_.ui.cancel_login_timer();
        wait_ = Wait::kNone;
    }
    if (session_.camera_item_count(site) > 0) {
        show_timeline(site);
        return;
    }
    // Not logged in: log in for the search and go on when the answer arrives.
    for (int i = 0; i < state_.site_count && i < view::kMaxSites; ++i) {
        view::SiteEntry& entry = state_.sites[static_cast<std::size_t>(i)];
        if (field_text(entry.ip.data(), entry.ip.size()) != address_) continue;
        const int slot = session_.open_command_connection(address_, entry.port1);
        if (slot < 0) {
            fail();
            return;
        }
        entry.port2 = entry.port1 + 1;
        entry.port3 = entry.port1 + 2;
        if (!session_.send_login(slot, entry, kLoginForSearch, site, false)) return;
        wait_for_login(Wait::kLogin, site);
        return;
    }
}

void RemoteSearch::wait_for_login(Wait wait, TreeItem site_item) {
    login_site_item_ = site_item;
    wait_ = wait;
    ports_.ui.arm_login_timer(kSearchLoginTimeoutMs);
}

void RemoteSearch::search_login_answered(bool accepted) {
    if (wait_ == Wait::kNone) return;  // too late, or not for a search of this window
    ports_.ui.cancel_login_timer();
    const Wait waited = std::exchange(wait_, Wait::kNone);
    const TreeItem site = login_site_item_;
    if (waited == Wait::kRelogin) {
        if (!accepted) {
            fail();
            return;
        }
        send_day_index_queries(site);
        return;
    }
    if (accepted && session_.camera_item_count(site) == 0) {
        for (const auto& item : session_.prepared_items())
            if (item.parent == site)
                ports_.tree.insert_item(item.parent, item.text, item.data, item.state_image);
        ports_.tree.expand_item(site, false);
    }
    if (session_.camera_item_count(site) == 0) {
        fail();
        return;
    }
    show_timeline(site);
}

void RemoteSearch::login_timed_out() {
    if (wait_ == Wait::kNone) return;
    wait_ = Wait::kNone;
    ORVEL_LOG_WARN("remote search of %s: no login within %d ms", address_.c_str(),
                   kSearchLoginTimeoutMs);
    fail();
}

void RemoteSearch::fail() {
    ORVEL_LOG_ERROR("remote search of %s for %s: %s", address_.c_str(), date_.c_str(),
                    kGetRemoteFileFailed);
    ports_.message_box.show_message(kGetRemoteFileFailed, "");
}

void RemoteSearch::show_timeline(TreeItem site) {
    camera_count_ = session_.camera_item_count(site);
    if (ports_.ui.timeline_exists()) ports_.ui.close_timeline();
    session_.clear_day_index();  // a new search replaces the old lists
    ports_.ui.create_timeline(camera_count_, date_);
    ports_.menus.enable_item(platform::MenuId::site, kDisplayFilesCommand, true);
    ports_.menus.check_item(platform::MenuId::site, kDisplayFilesCommand, true);

    const int slot = session_.open_command_connection(address_, command_port_);
    if (slot < 0) {
        ORVEL_LOG_WARN("remote search of %s: no command connection for the day indexes",
                       address_.c_str());
        return;
    }
    // The site's connection was found dead and replaced: its login goes out once it is
    // connected, and the queries once that login is answered.
    if (!session_.connection_ready(slot)) {
        wait_for_login(Wait::kRelogin, site);
        return;
    }
    send_day_index_queries(site);
}

void RemoteSearch::send_day_index_queries(TreeItem site) {
    QueryDate date;
    parse_search_date(date_, date);
    for (TreeItem c = ports_.tree.first_child(site); c != kNoTreeItem;
         c = ports_.tree.next_sibling(c))
        session_.send_day_index_query(address_, command_port_,
                                      item_camera(ports_.tree.item_data(c)), date);
}

bool RemoteSearch::ask_recording_days(const QueryDate& date) {
    const TreeItem site = dialog_site_item_;
    if (site == kNoTreeItem || session_.camera_item_count(site) == 0) return false;
    const std::string address =
        site_text_address(ports_.tree.item_text(site).substr(0, kSiteTextChars));
    if (!session_.send_recording_days_query(address, static_cast<int>(ports_.tree.item_data(site)),
                                            date))
        return false;
    ++days_asked_;
    return true;
}

void RemoteSearch::day_index_changed() { ports_.ui.post_day_index_changed(); }

void RemoteSearch::recording_days_changed() {
    ++days_answered_;
    ports_.ui.post_recording_days_changed();
}

}  // namespace orvel::net
