#include "app/config.h"

#include <string>
#include <utility>
#include <vector>

#include "app/strings.h"
#include "view/fixed_text.h"

namespace orvel::app {

namespace {

constexpr const char* kLocation = "LOCATION";
constexpr const char* kDefault = "DEFAULT";
constexpr const char* kNetwork = "NETWORK";
constexpr const char* kPlay = "PLAY";

std::string indexed(const char* stem, int index) { return stem + std::to_string(index); }

}  // namespace

view::SiteEntry Config::read_site(int i) const {
    view::SiteEntry site;
    view::set_text(site.name,
                   ini_.get_string(kLocation, indexed("pos", i), "", cfg::kSiteNameSize));
    view::set_text(site.ip, ini_.get_string(kLocation, indexed("ip", i), "", cfg::kSiteIpSize));
    view::set_text(site.user,
                   ini_.get_string(kLocation, indexed("user", i), "", cfg::kSiteUserSize));
    view::set_text(site.password,
                   ini_.get_string(kLocation, indexed("ps", i), "", cfg::kSitePasswordSize));
    site.port1 = ini_.get_int(kLocation, indexed("port1", i), 9000);
    site.port2 = ini_.get_int(kLocation, indexed("port2", i), 9001);
    site.port3 = ini_.get_int(kLocation, indexed("port3", i), 9002);
    return site;
}

namespace {

using KeyValues = std::vector<std::pair<std::string, std::string>>;

void append_site_keys(KeyValues& out, int i, const view::SiteEntry& site) {
    out.emplace_back(indexed("pos", i), std::string(view::text_of(site.name)));
    out.emplace_back(indexed("ip", i), std::string(view::text_of(site.ip)));
    out.emplace_back(indexed("user", i), std::string(view::text_of(site.user)));
    out.emplace_back(indexed("ps", i), std::string(view::text_of(site.password)));
    out.emplace_back(indexed("port1", i), std::to_string(site.port1));
    out.emplace_back(indexed("port2", i), std::to_string(site.port2));
    out.emplace_back(indexed("port3", i), std::to_string(site.port3));
}

}  // namespace

void Config::write_site(int i, const view::SiteEntry& site) {
    KeyValues keys;
    append_site_keys(keys, i, site);
    ini_.write_strings(kLocation, keys);
}

int Config::load_sites(view::AppState& state) const {
    int num = ini_.get_int(kLocation, "num", 0);
    // The list holds 128 entries: a larger count reads the first 128, a negative none.
    if (num > view::kMaxSites) num = view::kMaxSites;
    if (num < 0) num = 0;
    for (int i = 0; i < num; ++i) state.sites[static_cast<std::size_t>(i)] = read_site(i);
    for (int i = num; i < view::kMaxSites; ++i) state.sites[static_cast<std::size_t>(i)] = {};
    state.site_count = num;
    return num;
}

bool Config::add_site(view::AppState& state, const view::SiteEntry& site,
                      platform::MessageBoxPort& messages) {
    if (state.site_count > view::kMaxSites - 1) {
        messages.show_message(strings::kSiteListFullText, strings::kWarningCaption,
                              platform::MessageButtons::ok, platform::MessageIcon::warning);
        return false;
    }
    const int index = state.site_count < 0 ? 0 : state.site_count;
    state.sites[static_cast<std::size_t>(index)] = site;
    state.site_count = index + 1;
    // The site's keys and the new count land in the file together.
    KeyValues keys;
    append_site_keys(keys, index, site);
    keys.emplace_back("num", std::to_string(state.site_count));
    ini_.write_strings(kLocation, keys);
    return true;
}

int Config::find_site(const view::AppState& state, std::string_view name) {
    for (int i = 0; i < state.site_count && i < view::kMaxSites; ++i) {
        if (view::text_of(state.sites[static_cast<std::size_t>(i)].name) == name) return i;
    }
    return -1;
}

bool Config::delete_site(view::AppState& state, std::string_view name) {
    const int found = find_site(state, name);
    if (found < 0) return false;
    for (int i = found; i + 1 < state.site_count; ++i) {
        state.sites[static_cast<std::size_t>(i)] = state.sites[static_cast<std::size_t>(i + 1)];
    }
    state.site_count -= 1;
    state.sites[static_cast<std::size_t>(state.site_count)] = {};
    // One rewrite: a crash cannot leave the list half moved down.
    KeyValues keys;
    for (int i = 0; i < state.site_count; ++i) {
        append_site_keys(keys, i, state.sites[static_cast<std::size_t>(i)]);
    }
    keys.emplace_back("num", std::to_string(state.site_count));
    ini_.write_strings(kLocation, keys);
    return true;
}

void Config::load_default(view::AppState& state) const {
    view::set_text(state.default_address, ini_.get_string(kDefault, "ip", "", cfg::kDefaultIpSize));
    state.default_port = ini_.get_int(kDefault, "port", 0);
}

void Config::toggle_default_connection(view::AppState& state, bool currently_default,
                                       std::string_view site_item_text, std::uint32_t item_data) {
    if (currently_default) {
        ini_.write_string(kDefault, "ip", "");
        ini_.write_string(kDefault, "port", "");
        state.default_address.fill('\0');
        state.default_port = 0;
        state.default_site_item = platform::kNoTreeItem;
        return;
    }
    const std::string address = site_text_address(site_item_text);
    const auto port = static_cast<std::int32_t>(item_data);
    ini_.write_string(kDefault, "ip", address);
    ini_.write_int(kDefault, "port", port);
    view::set_text(state.default_address, address);
    state.default_port = port;
}

std::array<std::string, cfg::kRecentAddressCount> Config::recent_addresses() const {
    std::array<std::string, cfg::kRecentAddressCount> out;
    for (int i = 0; i < cfg::kRecentAddressCount; ++i) {
        out[static_cast<std::size_t>(i)] =
            ini_.get_string(kNetwork, indexed("ip", i), "", cfg::kNetworkTextSize);
    }
    return out;
}

void Config::remember_address(std::string_view address) {
    if (address.empty()) return;
    const auto recent = recent_addresses();
    int n = cfg::kRecentAddressCount - 1;
    for (int i = 0; i < cfg::kRecentAddressCount; ++i) {
        if (recent[static_cast<std::size_t>(i)] == address) {
            n = i;
            break;
        }
    }
    for (int k = n; k >= 1; --k) {
        ini_.write_string(kNetwork, indexed("ip", k), recent[static_cast<std::size_t>(k - 1)]);
    }
    ini_.write_string(kNetwork, "ip0", address);
}

std::string Config::network_user() const {
    return ini_.get_string(kNetwork, "user", "", cfg::kNetworkTextSize);
}

void Config::save_connect_settings(std::string_view password_box) {
    ini_.write_string(kNetwork, "isdy", "0");
    ini_.write_string(kNetwork, "password", password_box);
}

void Config::save_connect_ports(int command_port) {
    ini_.write_int(kNetwork, "streamport", command_port + 1);
    ini_.write_int(kNetwork, "fileport", command_port + 2);
}

int Config::dynamic_address_mode() const { return ini_.get_int(kNetwork, "isdy", 0); }

std::string Config::address_server() const {
    return ini_.get_string(kNetwork, "ipserver", "", cfg::kNetworkTextSize);
}

std::string Config::server_net_id() const {
    return ini_.get_string(kNetwork, "netid", "", cfg::kNetworkTextSize);
}

bool Config::autoplay() const {
    return ini_.get_string(kPlay, "AUTOPLAY", "TRUE", cfg::kBoolValueSize) != "FALSE";
}

void Config::set_autoplay(bool on) { ini_.write_string(kPlay, "AUTOPLAY", on ? "TRUE" : "FALSE"); }

std::string Config::display_value() const {
    return ini_.get_string(kPlay, "DISPLAY", cfg::kDisplayDefault, cfg::kDisplayValueSize);
}

bool Config::display_is_gdi() const { return display_value() == cfg::kDisplayGdi; }

void Config::set_display(bool gdi) {
    ini_.write_string(kPlay, "DISPLAY", gdi ? cfg::kDisplayGdi : cfg::kDisplayDefault);
}

bool Config::gpu_supported() const {
    return ini_.get_string(kPlay, "DIRECTDRAWSUPPORT", "TRUE", cfg::kBoolValueSize) != "FALSE";
}

void Config::set_gpu_supported(bool supported) {
    ini_.write_string(kPlay, "DIRECTDRAWSUPPORT", supported ? "TRUE" : "FALSE");
}

std::string Config::record_disk() const {
    return ini_.get_string("RECORD", "DISK", cfg::kRecordDiskDefault, cfg::kRecordDiskSize);
}

void Config::set_record_disk(std::string_view letter) {
    ini_.write_string("RECORD", "DISK", letter);
}

std::string Config::snapshot_root() const {
    return ini_.get_string("PATH", "root", cfg::kSnapshotRootDefault, cfg::kSnapshotRootSize);
}

int Config::mode() const { return ini_.get_int("MODE", "mode", 2); }

void Config::preload(view::AppState& state) const {
    for (int k = 0; k < view::kMaxPanes; ++k) {
        const std::string section = indexed("IP", k);
        view::SitePreload& record = state.site_preload[static_cast<std::size_t>(k)];
        view::set_text(record.address, ini_.get_string(section, "ip", "", cfg::kPreloadIpSize));
        // Kept in 16 bits, as the records store them.
        record.device = static_cast<std::int16_t>(ini_.get_int(section, "device", 0));
        record.switch_count = static_cast<std::int16_t>(ini_.get_int(section, "switch", 0));
        view::PaneSource& source = state.pane_sources[static_cast<std::size_t>(k)];
        view::set_text(source.address,
                       ini_.get_string("SRC", indexed("ip", k), "", cfg::kSourceIpSize));
        source.channel = ini_.get_int("SRC", indexed("id", k), 0);
    }
}

std::string site_text_address(std::string_view item_text) {
    const std::size_t open = item_text.rfind('(');
    if (open == std::string_view::npos) return {};
    std::string_view rest = item_text.substr(open + 1);
    // The final character is the closing ")"; a text without one keeps all of it.
    if (!rest.empty() && rest.back() == ')') rest.remove_suffix(1);
    return std::string(rest);
}

std::string site_text_name(std::string_view item_text) {
    const std::size_t open = item_text.rfind('(');
    return std::string(open == std::string_view::npos ? item_text : item_text.substr(0, open));
}

}  // namespace orvel::app
