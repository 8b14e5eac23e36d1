// The 36 command connections and the 36 site records of the process.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/day_index.h"
#include "net/protocol.h"
#include "net/reply_assembler.h"
#include "net/tcp_socket.h"
#include "platform/ports/tree_control.h"
#include "view/site_entry.h"

namespace orvel::net {

inline constexpr int kMaxConnections = 36;
inline constexpr int kMaxSiteRecords = 36;
inline constexpr std::size_t kAddressBytes = 24;

enum LoginMode : int { kLoginFromDialog = 0, kLoginFromTree = 1, kLoginForSearch = 2 };

// What a connection's thread hands to the UI thread, oldest first (one posted message each).
struct ConnectionEvent {
    enum class Kind { kConnected, kConnectFailed, kLoginReply };
    Kind kind = Kind::kLoginReply;
    std::vector<std::uint8_t> message;  // kLoginReply: the reply
    bool site_known = false;  // kLoginReply: the site record existed before (stored by the reader)
};

// A request the UI thread asked for before the connect completed; sent once it has.
struct QueuedRequest {
    Request request;
    bool is_login = false;  // a failed send shows "connect failed"
};

// One command connection. Created and destroyed by the UI thread; its own thread resolves
// the address, connects and then reads the replies, holding a shared reference so the
// record outlives the thread.
struct CommandConnection {
    // Written by the UI thread before the connection's thread starts, then read-only.
    std::array<char, kAddressBytes> address{};  // matched by text
    int port = 0;
    int connect_timeout_ms = TcpSocket::kConnectTimeoutMs;
    std::uint32_t generation = 0;  // distinguishes records reusing a slot
    // Connection thread only (copied into site records under the table's mutex).
    std::uint32_t resolved_be = 0;
    // Connected and received on by the connection's thread, sent on by the UI thread once
    // `ui_connected` is set.
    TcpSocket socket;
    // Written by the UI thread before a login request is sent. The site copy and the
    // flags are read on the UI thread only; the mode and the item are also read by the
    // reader for a search login, so they are atomic.
    view::SiteEntry site{};
    bool save_site = false;
    std::atomic<int> login_mode{kLoginFromDialog};
    std::atomic<platform::TreeItem> tree_item{platform::kNoTreeItem};
    bool has_tree_item = false;

    // UI thread: the connected event has been handled (requests go out directly) ...
    bool ui_connected = false;
    // ... until then requests wait here, in order (at most kMaxQueuedRequests).
    std::vector<QueuedRequest> queued;
    // UI thread: a send could not complete; the connection counts as lost.
    bool lost = false;
    // UI thread: told once when the connect succeeded (true) or failed (false).
    std::function<void(bool)> on_connect;

    std::thread thread;
    std::atomic<bool> stop{false};          // set by the UI thread to end the thread
    std::atomic<bool> reader_ended{false};  // set by the thread as its last act
    // The thread is in a host-name lookup (which nothing can interrupt); with `stop`,
    // guarded by lookup_mutex so that the owner knows whether the thread may still touch
    // anything but this record.
    std::mutex lookup_mutex;
    bool in_lookup = false;
    // Events the thread has posted to the UI thread and the UI thread has not taken yet,
    // oldest first. Guarded by ui_mutex.
    std::mutex ui_mutex;
    std::deque<ConnectionEvent> ui_events;
    // Logins sent and not yet answered: raised by the UI thread before a login is sent, taken
    // by the reader with each login reply. A login reply none was sent for (such as the bytes
    // a DVR sends beyond a reply's length field, read as a message of their own) is ignored.
    std::atomic<int> logins_awaited{0};

    std::string address_text() const { return std::string(address.data()); }
    // UI thread: no request can reach the DVR on this connection any more.
    bool dead() const { return lost || reader_ended.load(); }
};

inline constexpr std::size_t kMaxQueuedRequests = 40;

// Camera entry of a site record: 16 preset names of 28 bytes.
using PresetBlock = std::array<std::uint8_t, kPresetBlockBytes>;

struct SiteRecord {
    std::array<char, kAddressBytes> address{};
    std::uint32_t resolved_be = 0;  // 0 until a login
    int port = 0;
    std::int16_t device = 0;  // non-zero: in use
    std::int16_t switch_count = 0;
    std::array<PresetBlock, kMaxCameras> presets{};

    bool in_use() const { return device != 0; }
};

// A camera item prepared by a login, inserted by the tree or by the remote search.
struct PreparedCameraItem {
    platform::TreeItem parent = platform::kNoTreeItem;
    std::string text;
    int state_image = 3;
    std::uint32_t data = 0;
};

struct ConnectionTable {
    // Slots of the UI thread; a null slot is free.
    std::array<std::shared_ptr<CommandConnection>, kMaxConnections> connections;
    // Connections taken out of the table whose reader has not ended yet.
    std::vector<std::shared_ptr<CommandConnection>> retiring;
    std::uint32_t next_generation = 1;

    // Guards everything below (written by reader threads and the UI thread).
    mutable std::mutex mutex;
    std::array<SiteRecord, kMaxSiteRecords> sites{};
    RecordingDays recording_days{};
    DayIndex day_index;
    std::vector<PreparedCameraItem> prepared;  // at most 36
};

// Copies text into a fixed field, always zero-terminated.
template <std::size_t N>
void copy_text(std::array<char, N>& field, std::string_view text) {
    field.fill(0);
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    for (std::size_t i = 0; i < n; ++i) field[i] = text[i];
}

}  // namespace orvel::net
