#include "net/net_session.h"

#include <algorithm>
#include <cstring>

#include "net/net_texts.h"
#include "platform/log.h"
#include "view/strings.h"

namespace orvel::net {

namespace strings = view::strings;
using platform::kNoTreeItem;
using platform::TreeItem;

namespace {

std::string text_of(const char* field, std::size_t n) {
    return std::string(field, strnlen(field, n));
}

}  // namespace

std::string camera_item_text(int camera, std::string_view name) {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "Cam %02d--", camera);
    std::string text = prefix;
    const std::string_view cut = name.substr(0, std::min(name.size(), kCameraNameBytes));
    text += cut.empty() ? std::string_view("(Location)") : cut;
    return text;
}

std::string site_item_text(std::string_view name, std::string_view address) {
    std::string text(name);
    text += '(';
    text += address;
    text += ')';
    return text;
}

std::string site_text_address(std::string_view text) {
    const auto open = text.rfind('(');
    if (open == std::string_view::npos) return {};
    auto close = text.rfind(')');
    if (close == std::string_view::npos || close < open) close = text.size();
    return std::string(text.substr(open + 1, close - open - 1));
}

std::string site_text_name(std::string_view text) {
    const auto open = text.rfind('(');
    return std::string(open == std::string_view::npos ? text : text.substr(0, open));
}

std::string camera_item_caption(std::string_view text) {
    const auto dash = text.find("--");
    return std::string(dash == std::string_view::npos ? text : text.substr(dash + 2));
}

NetSession::NetSession(view::AppState& state, NetPorts ports) : state_(state), ports_(ports) {
    state_.connections = &table_;
}

void NetSession::preload_site_records() {
    std::lock_guard lock(table_.mutex);
    for (int k = 0; k < kMaxSiteRecords; ++k) {
        const auto& pre = state_.site_preload[static_cast<std::size_t>(k)];
        auto& rec = table_.sites[static_cast<std::size_t>(k)];
        copy_text(rec.address, text_of(pre.address.data(), pre.address.size()));
        rec.device = pre.device;
        rec.switch_count = pre.switch_count;
    }
}

void NetSession::dispatch_reply(CommandConnection& conn, int slot,
                                std::span<const std::uint8_t> message) {
    if (message.empty()) return;
    switch (message[0]) {
        case kTypeLogin: {
            LoginReply reply;
            if (!parse_login_reply(message, reply)) return;
            // A reply no login asked for would show a false failure or replace the site's
            // cameras with whatever its bytes say.
            int awaited = conn.logins_awaited.load();
            do {
                if (awaited <= 0) {
                    ORVEL_LOG_WARN(
                        "command connection to %s:%d: %zu-byte login reply without a "
                        "login ignored",
                        conn.address.data(), conn.port, message.size());
                    return;
                }
            } while (!conn.logins_awaited.compare_exchange_weak(awaited, awaited - 1));
            // The site record is stored here, before the next reply is read, so preset
            // names that follow the login reply find it (the UI thread may take a while).
            bool known = false;
            if (reply.accepted) {
                known = site_record_exists(conn);
                store_site_record(conn, reply);
            }
            post_event(conn, slot,
                       {ConnectionEvent::Kind::kLoginReply,
                        std::vector<std::uint8_t>(message.begin(), message.end()), known});
            return;
        }
        case kTypePresetNames: {
            PresetReply presets;
            if (!parse_preset_reply(message, presets)) return;  // index 36 or more
            std::lock_guard lock(table_.mutex);
            for (auto& rec : table_.sites)
                if (rec.in_use() && rec.port == conn.port &&
                    std::strncmp(rec.address.data(), conn.address.data(), kAddressBytes) == 0)
                    rec.presets[static_cast<std::size_t>(presets.camera_index)] = presets.names;
            return;
        }
        case kTypeDayIndex: {
            {
                std::lock_guard lock(table_.mutex);
                table_.day_index.add_reply(message);
            }
            ports_.panes.day_index_changed();
            if (SearchListener* l = search_listener_.load()) l->day_index_changed();
            return;
        }
        case kTypeRecordingDays: {
            RecordingDays days;
            if (!parse_recording_days(message, days)) return;
            {
                std::lock_guard lock(table_.mutex);
                table_.recording_days = days;
            }
            ports_.panes.recording_days_changed();
            if (SearchListener* l = search_listener_.load()) l->recording_days_changed();
            return;
        }
        default:
            return;  // other types are not for this client
    }
}

// ---------------------------------------------------------------- login replies

bool NetSession::site_record_exists(const CommandConnection& conn) const {
    std::lock_guard lock(table_.mutex);
    for (const auto& rec : table_.sites)
        if (rec.in_use() && rec.port == conn.port && rec.resolved_be != 0 &&
            std::strncmp(rec.address.data(), conn.address.data(), kAddressBytes) == 0)
            return true;
    return false;
}

void NetSession::prepare_items(const CommandConnection& /*conn*/, const LoginReply& reply,
                               TreeItem parent, std::vector<PreparedCameraItem>& out) const {
    out.clear();
    for (const auto& cam : reply.cameras) {
        if (!cam.offered) continue;
        if (out.size() >= static_cast<std::size_t>(kMaxCameras)) break;
        out.push_back({parent, camera_item_text(cam.number, cam.name), kImageCameraIdle,
                       make_item_data(cam.number, 0, 0)});
    }
}

void NetSession::store_site_record(const CommandConnection& conn, const LoginReply& reply) {
    std::lock_guard lock(table_.mutex);
    SiteRecord* target = nullptr;
    for (auto& rec : table_.sites)
        if (rec.in_use() && rec.port == conn.port &&
            std::strncmp(rec.address.data(), conn.address.data(), kAddressBytes) == 0) {
            target = &rec;
            break;
        }
    if (!target)
        for (auto& rec : table_.sites)
            if (!rec.in_use()) {
                target = &rec;
                break;
            }
    if (!target) return;  // all 36 in use
    target->address = conn.address;
    target->resolved_be = conn.resolved_be;
    target->port = conn.port;
    target->device = static_cast<std::int16_t>(reply.device);
    target->switch_count = static_cast<std::int16_t>(reply.switch_count);
    for (auto& block : target->presets) block.fill(0);
}

void NetSession::handle_login_on_ui(CommandConnection& conn, std::span<const std::uint8_t> message,
                                    bool site_known) {
    LoginReply reply;
    if (!parse_login_reply(message, reply)) return;
    if (reply.accepted) {
        ORVEL_LOG_INFO("command connection to %s:%d: login accepted, %zu cameras listed",
                       conn.address.data(), conn.port, reply.cameras.size());
    } else {
        ORVEL_LOG_WARN("command connection to %s:%d: login refused", conn.address.data(),
                       conn.port);
    }
    if (conn.login_mode == kLoginForSearch) {
        handle_search_login(conn, reply);
        return;
    }
    if (!reply.accepted) {
        ports_.message_box.show_message(strings::kStr46BadLogin, "");
        return;
    }
    if (!site_known) {
        const std::string address = text_of(conn.site.ip.data(), conn.site.ip.size());
        TreeItem site_item = conn.tree_item.load();
        if (conn.login_mode == kLoginFromDialog || !conn.has_tree_item)
            site_item = ports_.tree.insert_item(
                kNoTreeItem,
                site_item_text(text_of(conn.site.name.data(), conn.site.name.size()), address),
                static_cast<std::uint32_t>(conn.site.port1), kImageSite);
        std::vector<PreparedCameraItem> items;
        prepare_items(conn, reply, site_item, items);
        {
            std::lock_guard lock(table_.mutex);
            table_.prepared = items;
        }
        for (const auto& item : items)
            ports_.tree.insert_item(item.parent, item.text, item.data, item.state_image);
        ports_.tree.expand_item(site_item, true);
        if (conn.save_site) ports_.config.add_site(conn.site);
        if (ports_.config.autoplay_enabled()) {
            auto_play(site_item);
            ports_.tree.select_item(site_item);
        }
    }
}

// A login made for the remote search leaves the tree to the search: the camera items are
// prepared under the search's site item, and the search inserts them when it goes on.
void NetSession::handle_search_login(CommandConnection& conn, const LoginReply& reply) {
    SearchListener* listener = search_listener_.load();
    if (!reply.accepted) {
        ports_.message_box.show_message(strings::kStr46BadLogin, "");
        if (listener) listener->search_login_answered(false);
        return;
    }
    std::vector<PreparedCameraItem> items;
    prepare_items(conn, reply, conn.tree_item.load(), items);
    {
        std::lock_guard lock(table_.mutex);
        table_.prepared = std::move(items);
    }
    // The reader stored the site record before it posted the reply.
    state_.login_event.set();
    if (listener) listener->search_login_answered(true);
}

void NetSession::clear_day_index() {
    std::lock_guard lock(table_.mutex);
    table_.day_index.clear();
}

// ---------------------------------------------------------------- data copies

SiteRecord NetSession::site_record(int index) const {
    std::lock_guard lock(table_.mutex);
    if (index < 0 || index >= kMaxSiteRecords) return {};
    return table_.sites[static_cast<std::size_t>(index)];
}

RecordingDays NetSession::recording_days() const {
    std::lock_guard lock(table_.mutex);
    return table_.recording_days;
}

DayIndex NetSession::day_index() const {
    std::lock_guard lock(table_.mutex);
    return table_.day_index;
}

std::vector<PreparedCameraItem> NetSession::prepared_items() const {
    std::lock_guard lock(table_.mutex);
    return table_.prepared;
}

}  // namespace orvel::net
