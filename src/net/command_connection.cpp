// The life of a command connection: created by the UI thread, resolved and connected on its
// own thread, which then reads the replies; its events handled on the UI thread; requests
// sent by the UI thread; stopped without waiting for the network.
#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

#include "view/strings.h"
#include "net/net_session.h"
#include "net/net_texts.h"
#include "platform/log.h"
#include "view/fixed_text.h"

namespace orvel::net {

namespace strings = view::strings;
using platform::kNoTreeItem;
using platform::TreeItem;

namespace {

constexpr std::size_t kReceiveBytes = 262144;

template <std::size_t N>
std::string text_of(const std::array<char, N>& field) {
    return std::string(view::text_of(field));
}

}  // namespace

NetSession::~NetSession() {
    for (int slot = 0; slot < kMaxConnections; ++slot)
        if (table_.connections[slot]) destroy_connection(slot);
    // Each thread has its stop flag set and its waits cancelled; it ends at once, or as soon
    // as the UI channel gives up a pending message. A host-name lookup cannot be
    // interrupted: that thread is left to finish it, holding only its own record.
    for (auto& conn : table_.retiring) {
        if (!conn->thread.joinable()) continue;
        bool in_lookup = false;
        {
            std::lock_guard lock(conn->lookup_mutex);
            in_lookup = conn->in_lookup;
        }
        if (in_lookup) {
            conn->thread.detach();
        } else {
            conn->thread.join();
        }
    }
    table_.retiring.clear();
    if (state_.connections == &table_) state_.connections = nullptr;
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

bool NetSession::connection_ready(int slot) const {
    const CommandConnection* c = connection(slot);
    return c && c->ui_connected && !c->dead();
}

int NetSession::create_connection(const std::string& address, int port, int slot) {
    reap_retired();
    if (port <= 0 || port > 65535) {
        ORVEL_LOG_WARN("command connection to %s:%d: no such port", address.c_str(), port);
        return -1;
    }
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
    conn->connect_timeout_ms = connect_timeout_ms_;
    if (!conn->socket.create()) {
        ORVEL_LOG_ERROR("command connection to %s:%d: no socket", address.c_str(), port);
        ports_.message_box.show_message(texts::kSocketFailed, "");
        return -1;
    }
    conn->generation = table_.next_generation++;
    table_.connections[static_cast<std::size_t>(slot)] = conn;
    try {
        conn->thread = std::thread([this, conn, slot] { connection_main(conn, slot); });
    } catch (...) {
        table_.connections[static_cast<std::size_t>(slot)].reset();
        ORVEL_LOG_ERROR("command connection to %s:%d: no thread", address.c_str(), port);
        return -1;
    }
    ORVEL_LOG_INFO("command connection to %s:%d: connecting (at most %d ms)", address.c_str(), port,
                   conn->connect_timeout_ms);
    return slot;
}

void NetSession::destroy_connection(int slot) {
    auto& entry = table_.connections[static_cast<std::size_t>(slot)];
    if (!entry) return;
    ORVEL_LOG_INFO("command connection to %s:%d: closed", entry->address.data(), entry->port);
    entry->stop = true;
    entry->socket.cancel();
    entry->socket.shutdown_both();
    // The thread is not waited for here (it may be in a host-name lookup); it is joined once
    // it has ended.
    table_.retiring.push_back(std::move(entry));
    entry.reset();
    reap_retired();
}

void NetSession::reap_retired() {
    auto& r = table_.retiring;
    for (auto it = r.begin(); it != r.end();) {
        if ((*it)->reader_ended) {
            if ((*it)->thread.joinable()) (*it)->thread.join();
            it = r.erase(it);
        } else {
            ++it;
        }
    }
}

void NetSession::watch_connect(int slot, std::function<void(bool)> fn) {
    if (slot < 0 || slot >= kMaxConnections) return;
    auto& conn = table_.connections[static_cast<std::size_t>(slot)];
    if (!conn) return;
    if (conn->ui_connected) {
        fn(!conn->dead());
        return;
    }
    conn->on_connect = std::move(fn);
}

int NetSession::open_command_connection(const std::string& address, int port) {
    const int slot = find_connection(address, port);
    if (slot < 0) return create_connection(address, port);

    if (camera_item_count(ports_.tree.selected_item()) == 0)
        ports_.message_box.show_message(strings::kStr73AddressConnected, "");
    auto& conn = *table_.connections[static_cast<std::size_t>(slot)];
    // A connection still connecting is reused: what is sent on it waits for the connect. A
    // connection whose reader has seen the end is dead even if a send still succeeds.
    if (!conn.dead() && (!conn.ui_connected || send_request(conn, build_connection_check())))
        return slot;

    destroy_connection(slot);
    if (create_connection(address, port, slot) < 0) return -1;
    // Log the sites of a running remote search in again on the new connection; the logins
    // go out once it is connected, and the search goes on when one is answered.
    const std::string search_address = text_of(state_.remote_site_address);
    if (!search_address.empty() && search_address == address) {
        for (int i = 0; i < state_.site_count && i < view::kMaxSites; ++i) {
            const auto& site = state_.sites[static_cast<std::size_t>(i)];
            if (text_of(site.ip) == search_address)
                send_login(slot, site, kLoginForSearch, ports_.tree.selected_item(), false);
        }
    }
    return slot;
}

bool NetSession::connect_and_login(int site_index, TreeItem item, int mode) {
    if (site_index < 0 || site_index >= state_.site_count || site_index >= view::kMaxSites)
        return false;
    auto& site = state_.sites[static_cast<std::size_t>(site_index)];
    const int slot = open_command_connection(text_of(site.ip), site.port1);
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
    const Request login = build_login(text_of(site.user), text_of(site.password));
    const std::string user = text_of(site.user);
    // Until the connect has ended the login waits; a failed connect reports it once.
    if (!conn->ui_connected) {
        if (conn->queued.size() >= kMaxQueuedRequests) return false;
        conn->queued.push_back({login, true});
        ORVEL_LOG_INFO("command connection to %s:%d: login for user %s waits for the connect",
                       conn->address.data(), conn->port, user.c_str());
        return true;
    }
    ORVEL_LOG_INFO("command connection to %s:%d: login sent for user %s", conn->address.data(),
                   conn->port, user.c_str());
    conn->logins_awaited.fetch_add(1);
    if (!send_request(*conn, login)) {
        conn->logins_awaited.fetch_sub(1);
        ORVEL_LOG_WARN("command connection to %s:%d: login could not be sent", conn->address.data(),
                       conn->port);
        ports_.message_box.show_message(strings::kStr10ConnectFailed, "");
        return false;
    }
    return true;
}

bool NetSession::send_request(CommandConnection& conn, const Request& request) {
    if (!conn.ui_connected || conn.dead()) return false;
    if (conn.socket.send_exact(request.view())) return true;
    mark_lost(conn);
    return false;
}

void NetSession::mark_lost(CommandConnection& conn) {
    if (conn.lost) return;
    conn.lost = true;
    ORVEL_LOG_WARN(
        "command connection to %s:%d: a request could not be sent within %d ms, "
        "connection lost",
        conn.address.data(), conn.port, TcpSocket::kSendBoundMs);
    // The reader sees the end and stops; the next login opens a new connection.
    conn.socket.shutdown_both();
}

// ---------------------------------------------------------------- connection thread

namespace {

// Resolves the connection's address. False when the thread was stopped meanwhile: it must
// then touch nothing but its record (the session may be gone).
bool resolve_address(CommandConnection& conn, bool& resolved) {
    {
        std::lock_guard lock(conn.lookup_mutex);
        if (conn.stop) return false;
        conn.in_lookup = true;
    }
    resolved = resolve_ipv4(conn.address_text(), conn.resolved_be) == ResolveResult::kOk;
    std::lock_guard lock(conn.lookup_mutex);
    conn.in_lookup = false;
    return !conn.stop;
}

}  // namespace

void NetSession::post_event(CommandConnection& conn, int slot, ConnectionEvent event) {
    {
        std::lock_guard lock(conn.ui_mutex);
        conn.ui_events.push_back(std::move(event));
    }
    // Posted, not sent: the event is handled however long the UI thread is busy, and the
    // thread never waits for the UI thread.
    ports_.ui_channel.post_message(kMsgNetReply, slot, conn.generation);
}

void NetSession::connection_main(const std::shared_ptr<CommandConnection>& conn_ref, int slot) {
    CommandConnection& conn = *conn_ref;
    bool resolved = false;
    if (!resolve_address(conn, resolved)) {
        conn.reader_ended = true;
        return;
    }
    int error = 0;
    const ConnectResult result = resolved ? conn.socket.connect_to(conn.resolved_be, conn.port,
                                                                   conn.connect_timeout_ms, error)
                                          : ConnectResult::kFailed;
    if (result == ConnectResult::kCancelled || conn.stop) {
        conn.reader_ended = true;
        return;
    }
    if (result == ConnectResult::kFailed) {
        const std::string reason =
            resolved ? std::generic_category().message(error) : std::string("address not resolved");
        ORVEL_LOG_WARN("command connection to %s:%d: connect failed: %s", conn.address.data(),
                       conn.port, reason.c_str());
        post_event(conn, slot, {ConnectionEvent::Kind::kConnectFailed, {}, false});
        conn.reader_ended = true;
        return;
    }
    ORVEL_LOG_INFO("command connection to %s:%d: connected", conn.address.data(), conn.port);
    post_event(conn, slot, {ConnectionEvent::Kind::kConnected, {}, false});

    std::vector<std::uint8_t> buffer(kReceiveBytes);
    ReplyAssembler assembler;
    while (!conn.stop) {
        const long n = conn.socket.receive(buffer);
        if (n <= 0) {  // the DVR closed the connection, it failed, or it was stopped
            if (!conn.stop)
                ORVEL_LOG_WARN("command connection to %s:%d: closed by the DVR or lost",
                               conn.address.data(), conn.port);
            break;
        }
        assembler.feed({buffer.data(), static_cast<std::size_t>(n)},
                       [&](std::span<const std::uint8_t> message) {
                           if (!conn.stop) dispatch_reply(conn, slot, message);
                       });
    }
    conn.reader_ended = true;
}

// ---------------------------------------------------------------- events on the UI thread

std::intptr_t NetSession::handle_net_message(std::intptr_t slot, std::intptr_t generation) {
    if (slot < 0 || slot >= kMaxConnections) return 0;
    auto conn = table_.connections[static_cast<std::size_t>(slot)];
    // A connection destroyed or replaced meanwhile: the event is dropped.
    if (!conn || conn->generation != static_cast<std::uint32_t>(generation) || conn->stop) return 0;
    ConnectionEvent event;
    {
        std::lock_guard lock(conn->ui_mutex);
        if (conn->ui_events.empty()) return 0;
        event = std::move(conn->ui_events.front());
        conn->ui_events.pop_front();
    }
    switch (event.kind) {
        case ConnectionEvent::Kind::kConnected:
            handle_connected(conn);
            break;
        case ConnectionEvent::Kind::kConnectFailed:
            handle_connect_failed(static_cast<int>(slot), conn);
            break;
        case ConnectionEvent::Kind::kLoginReply:
            handle_login_on_ui(*conn, event.message, event.site_known);
            break;
    }
    return 1;
}

void NetSession::handle_connected(const std::shared_ptr<CommandConnection>& conn) {
    conn->ui_connected = true;
    const std::vector<QueuedRequest> queued = std::move(conn->queued);
    conn->queued.clear();
    for (std::size_t i = 0; i < queued.size(); ++i) {
        if (queued[i].is_login) conn->logins_awaited.fetch_add(1);
        if (send_request(*conn, queued[i].request)) continue;
        if (queued[i].is_login) conn->logins_awaited.fetch_sub(1);
        // The connection is lost: nothing after this request goes out either.
        const bool login_lost = std::any_of(queued.begin() + static_cast<std::ptrdiff_t>(i),
                                            queued.end(), [](const auto& q) { return q.is_login; });
        if (login_lost) {
            ORVEL_LOG_WARN("command connection to %s:%d: login could not be sent",
                           conn->address.data(), conn->port);
            ports_.message_box.show_message(strings::kStr10ConnectFailed, "");
        }
        break;
    }
    if (auto fn = std::exchange(conn->on_connect, nullptr)) fn(!conn->dead());
}

void NetSession::handle_connect_failed(int slot, const std::shared_ptr<CommandConnection>& conn) {
    const bool login_waited = std::any_of(conn->queued.begin(), conn->queued.end(),
                                          [](const auto& q) { return q.is_login; });
    const int mode = conn->login_mode.load();
    auto fn = std::exchange(conn->on_connect, nullptr);
    // The slot is free before anything is shown (a message box lets other events run).
    destroy_connection(slot);
    if (login_waited) {
        if (mode == kLoginForSearch) {
            // The search reports its own failure.
            if (SearchListener* l = search_listener_.load()) l->search_login_answered(false);
        } else {
            ports_.message_box.show_message(strings::kStr10ConnectFailed, "");
        }
    }
    if (fn) fn(false);
}

}  // namespace orvel::net
