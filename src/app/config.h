#pragma once
// The configuration file's sections and keys with their defaults and sizes, the site
// list, the start-up preload, the default connection and the recent addresses.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ini_file.h"
#include "platform/ports/message_box.h"
#include "view/app_state.h"
#include "view/site_entry.h"

namespace orvel::app {

// Text sizes: the value read is cut to size - 1 characters.
namespace cfg {
inline constexpr int kSiteNameSize = 64;
inline constexpr int kSiteIpSize = 64;
inline constexpr int kSiteUserSize = 32;
inline constexpr int kSitePasswordSize = 32;
inline constexpr int kDefaultIpSize = 128;
inline constexpr int kNetworkTextSize = 20;  // ip0..ip7, user, password, ipserver, netid
inline constexpr int kRecentAddressCount = 8;
inline constexpr int kRecordDiskSize = 4;
inline constexpr int kSnapshotRootSize = 36;
inline constexpr int kPreloadIpSize = 24;
inline constexpr int kSourceIpSize = 20;
inline constexpr int kDisplayValueSize = 32;
inline constexpr int kBoolValueSize = 16;

inline constexpr const char* kDisplayDefault = "DIRECTDRAW";
inline constexpr const char* kDisplayGdi = "GDI";
inline constexpr const char* kSnapshotRootDefault = "E:\\";
inline constexpr const char* kRecordDiskDefault = "C";
}  // namespace cfg

class Config {
public:
    explicit Config(platform::IniFile& ini) : ini_(ini) {}

    platform::IniFile& ini() { return ini_; }

    // --- LOCATION ---
    // Reads num and the sites into state.sites / site_count. A num above 128 reads the
    // first 128 sites; a negative num reads none. Returns the count. Thread: UI thread.
    int load_sites(view::AppState& state) const;
    view::SiteEntry read_site(int index) const;
    void write_site(int index, const view::SiteEntry& site);
    // Appends the site (when the list has room) and writes its keys and num. A full list
    // shows a clear warning and adds nothing. Thread: UI thread.
    bool add_site(view::AppState& state, const view::SiteEntry& site,
                  platform::MessageBoxPort& messages);
    // Removes the first site of that name, moves the rest down and rewrites indices
    // 0..count-1 and num. False when no site has that name. Thread: UI thread.
    bool delete_site(view::AppState& state, std::string_view name);
    // Index of the first site of that name, -1 when none.
    static int find_site(const view::AppState& state, std::string_view name);

    // --- DEFAULT ---
    // Reads ip and port into state.default_address / default_port. Thread: UI thread.
    void load_default(view::AppState& state) const;
    // The "default connection" command: when `currently_default`, clears the default in the
    // file (ip and port written as "") and in memory; otherwise takes the address between
    // the last "(" and the final ")" of the site item's text and the item's data as the port.
    // Thread: UI thread.
    void toggle_default_connection(view::AppState& state, bool currently_default,
                                   std::string_view site_item_text, std::uint32_t item_data);

    // --- NETWORK ---
    std::array<std::string, cfg::kRecentAddressCount> recent_addresses() const;
    // Moves an address to the front of ip0..ip7 (an address already there moves up; a new
    // one pushes ip7 out). Ignored when the address is empty.
    void remember_address(std::string_view address);
    std::string network_user() const;
    void save_connect_settings(std::string_view password_box);  // isdy "0" and password
    void save_connect_ports(int command_port);                  // streamport, fileport
    int dynamic_address_mode() const;                           // isdy
    std::string address_server() const;                         // ipserver
    std::string server_net_id() const;                          // netid

    // --- PLAY ---
    // On unless the value is exactly "FALSE".
    bool autoplay() const;
    void set_autoplay(bool on);
    std::string display_value() const;
    // True only for the exact value "GDI".
    bool display_is_gdi() const;
    void set_display(bool gdi);
    bool gpu_supported() const;  // DIRECTDRAWSUPPORT, on unless exactly "FALSE"
    void set_gpu_supported(bool supported);

    // --- RECORD, PATH, MODE ---
    std::string record_disk() const;
    void set_record_disk(std::string_view letter);
    std::string snapshot_root() const;
    int mode() const;

    // --- IP%d and SRC: start-up preload of site records and pane sources ---
    void preload(view::AppState& state) const;

private:
    platform::IniFile& ini_;
};

// The address part of a site item's text "name(address)": between the last "(" and the
// final character (the closing ")"). Empty when there is no "(".
std::string site_text_address(std::string_view item_text);
// The name part: the text before the last "(" (the whole text when there is none).
std::string site_text_name(std::string_view item_text);

}  // namespace orvel::app
