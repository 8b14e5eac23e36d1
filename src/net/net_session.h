// Site connection and login: opening or reusing command connections, one thread per
// connection, the camera items of the tree, the tree's site and camera commands, and the
// camera panel's requests.
//
// Threads: every public function is for the UI thread unless its comment says otherwise.
// The UI thread never waits on the network: a new connection's thread resolves the address
// and connects (the UI thread queues the login meanwhile), then reads the replies. It
// reaches the UI thread only through the UI message channel, posting (never waiting) one
// kMsgNetReply per event: connected, connect failed, or a login reply (after it stored the
// site record). Replies that change no tree item (presets, recording days, day index) are
// stored by the thread under the table's mutex. Requests are sent by the UI thread, each
// bounded by TcpSocket::kSendBoundMs; one that cannot go out marks the connection lost.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "net/connection_table.h"
#include "net/pane_hooks.h"
#include "net/search_listener.h"
#include "net/site_config_port.h"
#include "platform/ports/menus.h"
#include "platform/ports/message_box.h"
#include "platform/ports/tree_control.h"
#include "platform/ports/ui_channel.h"
#include "view/app_state.h"

namespace orvel::net {

// Private message of the main window: a connection's thread hands an event (connected,
// connect failed, login reply) to the UI thread. wparam: connection slot, lparam: the
// connection's generation.
inline constexpr int kMsgNetReply = 32780;

// State images of tree items.
inline constexpr int kImageSite = 6;
inline constexpr int kImageCameraIdle = 3;
inline constexpr int kImageCameraPlaying = 2;
inline constexpr int kImageCameraRecording = 5;

// Camera item data: bits 0-15 camera, 16-22 pane, 23-24 play state.
inline int item_camera(std::uint32_t data) { return static_cast<int>(data & 0xFFFF); }
inline int item_pane(std::uint32_t data) { return static_cast<int>((data >> 16) & 0x7F); }
inline int item_play_state(std::uint32_t data) { return static_cast<int>((data >> 23) & 0x3); }
inline std::uint32_t make_item_data(int camera, int pane, int play_state) {
    return (static_cast<std::uint32_t>(camera) & 0xFFFF) |
           ((static_cast<std::uint32_t>(pane) & 0x7F) << 16) |
           ((static_cast<std::uint32_t>(play_state) & 0x3) << 23);
}

// "Cam %02d--" and the name, or "(Location)" when it is empty.
std::string camera_item_text(int camera, std::string_view name);
// "name(address)".
std::string site_item_text(std::string_view name, std::string_view address);
// Address between the last "(" and the final ")"; name before the last "(".
// Without a "(" the whole text is the name and the address is empty.
std::string site_text_address(std::string_view text);
std::string site_text_name(std::string_view text);
// Caption of a camera item: the text after "--", or the whole text without one.
std::string camera_item_caption(std::string_view text);

struct NetPorts {
    platform::TreeControlPort& tree;
    platform::MenuPort& menus;
    platform::MessageBoxPort& message_box;
    platform::UiMessageChannel& ui_channel;
    SiteConfigPort& config;
    PaneHooks& panes;
};

class NetSession {
public:
    NetSession(view::AppState& state, NetPorts ports);
    // Ends every connection thread before the table is freed; a thread still in a host-name
    // lookup is left to finish it alone (it holds its own record and touches nothing else).
    ~NetSession();
    NetSession(const NetSession&) = delete;
    NetSession& operator=(const NetSession&) = delete;

    // Site records from the start-up preload of [IP%d].
    void preload_site_records();

    // --- Connections ---
    // Slot of a connection to (address, port): a live one reused after a successful
    // connection check, or a new one that may still be connecting (requests sent on it wait
    // for the connect; a failed connect is reported when it happens). -1 when none could
    // be started.
    int open_command_connection(const std::string& address, int port);
    // Connects and logs in the site list entry `site_index`; false when no connection
    // could be started.
    bool connect_and_login(int site_index, platform::TreeItem item, int mode);
    // Slot of a connection with this address text and port, or -1.
    int find_connection(std::string_view address, int port) const;
    // Creates a connection in the first free slot (or `slot`) and starts its thread, which
    // resolves the address and connects; returns at once. Shows "socket() failed;" when no
    // socket can be made. -1 on failure (no slot, no socket, a port outside 1..65535).
    int create_connection(const std::string& address, int port, int slot = -1);
    // Sends the login of `site` on connection `slot`, or queues it while the connection is
    // connecting; shows "connect failed" when the send fails.
    bool send_login(int slot, const view::SiteEntry& site, int mode, platform::TreeItem item,
                    bool save_site);
    // Calls `fn` once on the UI thread when the connect of `slot` has succeeded (true,
    // after its queued requests went out) or failed (false, after the failure was shown);
    // at once when the connection is already connected.
    void watch_connect(int slot, std::function<void(bool)> fn);
    // Connected, with its queued requests sent.
    bool connection_ready(int slot) const;
    void destroy_connection(int slot);
    int connection_count() const;
    const CommandConnection* connection(int slot) const;
    // How long a connect may take before it fails (5,000 ms unless set). For connections
    // created afterwards.
    void set_connect_timeout_ms(int ms) { connect_timeout_ms_ = ms; }

    // Handles kMsgNetReply. Thread: UI thread (called by the main window's handler).
    std::intptr_t handle_net_message(std::intptr_t slot, std::intptr_t generation);

    // --- Tree gestures and commands ---
    void on_tree_double_click(platform::TreeItem item, platform::TreeHitPart part);
    void on_tree_click(platform::TreeItem item, platform::TreeHitPart part);
    // Right click: remembers the text, selects, pops the stream or site menu at (x, y)
    // and returns the chosen command id (0 when none) for the dispatcher.
    int on_tree_right_click(platform::TreeItem item, int x, int y);
    void play_camera();
    void play_and_record_camera();
    void stop_camera();
    // Pane menu "stop" on a live pane: closes it and returns its camera item to idle.
    void stop_pane(int pane);
    // A live pane was closed without a tree command (its first connection failed): the
    // camera item that showed it goes back to idle. UI thread.
    void pane_closed(int pane);
    void play_all();
    void stop_play();
    void disconnect_site();
    void delete_site();
    void default_connection();

    // --- Camera panel ---
    // Pad buttons 0..9 in the table order of the press codes (up, down, left, right,
    // focus near, focus far, zoom in, zoom out, iris close, iris open).
    void pad_press(int press_code);
    void pad_release(int press_code);
    // Latching buttons: which = 0 toggle A (16 on / 15 off), 1 toggle B (18 / 17).
    // Returns the new state (true = on).
    bool pad_latch(int which);
    void pad_latch_release();
    // Control 1093: flips the selected pane's select state, sends 13 or 14.
    bool select_camera_toggle();
    bool select_camera_state(int pane) const;
    // The 16 preset names of the camera shown in `pane`, from the first site record in use
    // whose address is the pane's; nothing when there is none.
    std::optional<PresetBlock> preset_names(int pane) const;
    // Pane-menu presets (65000 + i) and the tour (65432) for pane `pane`.
    void goto_preset(int pane, int preset);
    void preset_tour(int pane);
    // Stream select for a dual-stream pane: to the first connection with the pane's
    // address and port == stream_port - 1.
    void stream_select(int pane, bool main_stream, int stream_port, std::uint32_t stream_id);

    // --- Remote search ---
    // Installs the search's listener (null: none). Thread: UI thread, before connections.
    void set_search_listener(SearchListener* listener) { search_listener_ = listener; }
    // Forgets every day index (a new search replaces the old lists). Thread: any.
    void clear_day_index();
    // The recording days of the month of `date` and the two before it (today's, UTC, by
    // default).
    bool send_recording_days_query(const std::string& address, int port,
                                   const QueryDate& date = today_utc());
    bool send_day_index_query(const std::string& address, int port, int camera,
                              const QueryDate& date);

    // --- Data for other parts (any thread; copies taken under the lock) ---
    SiteRecord site_record(int index) const;
    RecordingDays recording_days() const;
    DayIndex day_index() const;
    std::vector<PreparedCameraItem> prepared_items() const;
    ConnectionTable& table() { return table_; }

    // Count of camera items under a site item.
    int camera_item_count(platform::TreeItem site_item) const;
    // Root item whose address and data match, or kNoTreeItem.
    platform::TreeItem find_site_item(std::string_view address, int port) const;

private:
    friend struct ReaderAccess;
    void connection_main(const std::shared_ptr<CommandConnection>& conn, int slot);
    // False when the thread was stopped during a host-name lookup (it then touches nothing
    // but the record).
    bool resolve(CommandConnection& conn);
    void post_event(CommandConnection& conn, int slot, ConnectionEvent event);
    void handle_connected(const std::shared_ptr<CommandConnection>& conn);
    void handle_connect_failed(int slot, const std::shared_ptr<CommandConnection>& conn);
    // Sends on a connected connection (false, nothing sent, while it connects); a send that
    // cannot complete marks the connection lost.
    bool send_request(CommandConnection& conn, const Request& request);
    void mark_lost(CommandConnection& conn);
    void dispatch_reply(CommandConnection& conn, int slot, std::span<const std::uint8_t> message);
    // `site_known`: the reader found the site record already stored by an earlier login
    // (then the tree keeps its items).
    void handle_login_on_ui(CommandConnection& conn, std::span<const std::uint8_t> message,
                            bool site_known);
    void handle_search_login(CommandConnection& conn, const LoginReply& reply);
    void prepare_items(const CommandConnection& conn, const LoginReply& reply,
                       platform::TreeItem parent, std::vector<PreparedCameraItem>& out) const;
    void store_site_record(const CommandConnection& conn, const LoginReply& reply);
    bool site_record_exists(const CommandConnection& conn) const;
    void auto_play(platform::TreeItem site_item);
    bool play_item(platform::TreeItem item, bool record);
    void reset_item(platform::TreeItem item);
    void close_items_of(platform::TreeItem site_item);
    platform::TreeItem selected_site_item() const;
    void reap_retired();
    void send_to_all(std::string_view address, const Request& request);
    int first_connection_for(std::string_view address) const;
    const view::PaneSource& pane_source(int pane) const;

    view::AppState& state_;
    NetPorts ports_;
    ConnectionTable table_;
    std::array<std::uint8_t, view::kMaxPanes> select_state_{};
    int latch_pressed_ = -1;
    // Written on the UI thread before connections exist, read by the readers.
    std::atomic<SearchListener*> search_listener_{nullptr};
    int connect_timeout_ms_ = TcpSocket::kConnectTimeoutMs;  // UI thread
};

}  // namespace orvel::net
