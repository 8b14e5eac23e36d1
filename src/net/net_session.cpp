#include "net/net_session.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "net/net_texts.h"
#include "platform/log.h"
#include "view/strings.h"

namespace orvel::net {

namespace strings = view::strings;
using platform::kNoTreeItem;
using platform::TreeItem;

namespace {

constexpr int kReceiveStepMs = 100;  // the reader checks its stop flag this often
constexpr std::size_t kReceiveBytes = 262144;

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

NetSession::~NetSession() {
    for (int slot = 0; slot < kMaxConnections; ++slot)
        if (table_.connections[slot]) destroy_connection(slot);
    // Each reader has its socket shut down and its stop flag set; it ends within one
    // receive step, or as soon as the UI channel gives up a pending message.
    for (auto& conn : table_.retiring)
        if (conn->reader.joinable()) conn->reader.join();
    table_.retiring.clear();
    if (state_.connections == &table_) state_.connections = nullptr;
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

int NetSession::find_connection(std::string_view address, int port) const {
    for (int slot = 0; slot < kMaxConnections; ++slot) {
        const auto& c = table_.connections[static_cast<std::size_t>(slot)];
        if (c && c->address_text() == address && c->port == port) return slot;
    }
    return -1;
}

int NetSession::connection_count() const {
    return static_cast<int>(std::count_if(table_.connections.begin(), table_.connections.end(),
                                          [](const auto& c) { return c != nullptr; }));
}

const CommandConnection* NetSession::connection(int slot) const {
    if (slot < 0 || slot >= kMaxConnections) return nullptr;
    return table_.connections[static_cast<std::size_t>(slot)].get();
}

int NetSession::create_connection(const std::string& address, int port, int slot) {
    reap_retired();
    if (slot < 0) {
        for (int s = 0; s < kMaxConnections; ++s)
            if (!table_.connections[static_cast<std::size_t>(s)]) {
                slot = s;
                break;
            }
        if (slot < 0) return -1;  // all 36 in use
    }
    auto conn = std::make_shared<CommandConnection>();
    copy_text(conn->address, address);
    conn->port = port;
    if (!conn->socket.create()) {
        ORVEL_LOG_ERROR("command connection to %s:%d: no socket", address.c_str(), port);
        ports_.message_box.show_message(texts::kSocketFailed, "");
        return -1;
    }
    if (resolve_ipv4(address, conn->resolved_be) != ResolveResult::kOk) {
        ORVEL_LOG_WARN("command connection to %s:%d: address not resolved", address.c_str(), port);
        return -1;
    }
    if (!conn->socket.connect_to(conn->resolved_be, port)) {
        ORVEL_LOG_WARN("command connection to %s:%d: connect failed", address.c_str(), port);
        return -1;
    }
    ORVEL_LOG_INFO("command connection to %s:%d: connected", address.c_str(), port);
    conn->generation = table_.next_generation++;
    table_.connections[static_cast<std::size_t>(slot)] = conn;
    try {
        conn->reader = std::thread([this, conn, slot] { reader_loop(conn, slot); });
    } catch (...) {
        table_.connections[static_cast<std::size_t>(slot)].reset();
        return -1;
    }
    return slot;
}

void NetSession::destroy_connection(int slot) {
    auto& entry = table_.connections[static_cast<std::size_t>(slot)];
    if (!entry) return;
    ORVEL_LOG_INFO("command connection to %s:%d: disconnected", entry->address.data(), entry->port);
    entry->stop = true;
    entry->socket.shutdown_both();
    // The reader may be waiting for the UI thread (this thread) to take a message, so
    // it is not waited for here; it is joined once it has ended.
    table_.retiring.push_back(std::move(entry));
    entry.reset();
    reap_retired();
}

void NetSession::reap_retired() {
    auto& r = table_.retiring;
    for (auto it = r.begin(); it != r.end();) {
        if ((*it)->reader_ended) {
            if ((*it)->reader.joinable()) (*it)->reader.join();
            it = r.erase(it);
        } else {
            ++it;
        }
    }
}

int NetSession::open_command_connection(const std::string& address, int port) {
    const int slot = find_connection(address, port);
    if (slot < 0) return create_connection(address, port);

    if (camera_item_count(ports_.tree.selected_item()) == 0)
        ports_.message_box.show_message(strings::kStr73AddressConnected, "");
    auto& conn = *table_.connections[static_cast<std::size_t>(slot)];
    // A connection whose reader has seen the end is dead even if a send still succeeds.
    if (!conn.reader_ended && conn.socket.send_exact(build_connection_check().view())) return slot;

    destroy_connection(slot);
    if (create_connection(address, port, slot) < 0) return -1;
    // Log the sites of a running remote search in again on the new connection.
    const std::string search_address = text_of(state_.remote_site_address.data(), kAddressBytes);
    if (!search_address.empty() && search_address == address) {
        for (int i = 0; i < state_.site_count && i < view::kMaxSites; ++i) {
            const auto& site = state_.sites[static_cast<std::size_t>(i)];
            if (text_of(site.ip.data(), site.ip.size()) == search_address)
                send_login(slot, site, kLoginForSearch, ports_.tree.selected_item(), false);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    return slot;
}

bool NetSession::connect_and_login(int site_index, TreeItem item, int mode) {
    if (site_index < 0 || site_index >= state_.site_count || site_index >= view::kMaxSites)
        return false;
    auto& site = state_.sites[static_cast<std::size_t>(site_index)];
    const int slot = open_command_connection(text_of(site.ip.data(), site.ip.size()), site.port1);
    if (slot < 0) return false;
    site.port2 = site.port1 + 1;
    site.port3 = site.port1 + 2;
    send_login(slot, site, mode, item, false);
    return true;
}

bool NetSession::send_login(int slot, const view::SiteEntry& site, int mode, TreeItem item,
                            bool save_site) {
    auto* conn = table_.connections[static_cast<std::size_t>(slot)].get();
    if (!conn) return false;
    conn->login_mode = mode;
    conn->tree_item = item;
    conn->has_tree_item = item != kNoTreeItem;
    conn->save_site = save_site;
    conn->site = site;
    const Request login = build_login(text_of(site.user.data(), site.user.size()),
                                      text_of(site.password.data(), site.password.size()));
    ORVEL_LOG_INFO("command connection to %s:%d: login sent for user %s", conn->address.data(),
                   conn->port, text_of(site.user.data(), site.user.size()).c_str());
    conn->logins_awaited.fetch_add(1);
    if (!conn->socket.send_exact(login.view())) {
        conn->logins_awaited.fetch_sub(1);
        ORVEL_LOG_WARN("command connection to %s:%d: login could not be sent", conn->address.data(),
                       conn->port);
        ports_.message_box.show_message(strings::kStr10ConnectFailed, "");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- reader thread

void NetSession::reader_loop(std::shared_ptr<CommandConnection> conn, int slot) {
    std::vector<std::uint8_t> buffer(kReceiveBytes);
    ReplyAssembler assembler;
    while (!conn->stop) {
        const long n = conn->socket.receive(buffer, kReceiveStepMs);
        if (n < 0) continue;
        if (n == 0) {  // the DVR closed the connection, or it failed
            if (!conn->stop)
                ORVEL_LOG_WARN("command connection to %s:%d: closed by the DVR or lost",
                               conn->address.data(), conn->port);
            break;
        }
        assembler.feed({buffer.data(), static_cast<std::size_t>(n)},
                       [&](std::span<const std::uint8_t> message) {
                           if (!conn->stop) dispatch_reply(*conn, slot, message);
                       });
    }
    conn->reader_ended = true;
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
            {
                std::lock_guard lock(conn.ui_mutex);
                conn.ui_messages.push_back(
                    {std::vector<std::uint8_t>(message.begin(), message.end()), known});
            }
            // Posted, not sent: the reply is applied however long the UI thread is busy,
            // and the reader never waits for the UI thread.
            ports_.ui_channel.post_message(kMsgNetReply, slot, conn.generation);
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

std::intptr_t NetSession::handle_net_message(std::intptr_t slot, std::intptr_t generation) {
    if (slot < 0 || slot >= kMaxConnections) return 0;
    auto conn = table_.connections[static_cast<std::size_t>(slot)];
    // A connection destroyed or replaced meanwhile: the reply is dropped.
    if (!conn || conn->generation != static_cast<std::uint32_t>(generation) || conn->stop) return 0;
    PostedLogin posted;
    {
        std::lock_guard lock(conn->ui_mutex);
        if (conn->ui_messages.empty()) return 0;
        posted = std::move(conn->ui_messages.front());
        conn->ui_messages.pop_front();
    }
    handle_login_on_ui(*conn, posted.message, posted.site_known);
    return 1;
}

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
