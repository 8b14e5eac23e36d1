#include "app/connect_config_port.h"

namespace orvel::app {

bool ConfigSitePort::add_site(const view::SiteEntry& site) {
    return config_.add_site(state_, site, messages_);
}

bool ConfigSitePort::delete_site(std::string_view name) {
    return config_.delete_site(state_, name);
}

void ConfigSitePort::toggle_default_connection(bool currently_default,
                                               std::string_view site_item_text,
                                               std::uint32_t item_data) {
    config_.toggle_default_connection(state_, currently_default, site_item_text, item_data);
}

bool ConfigSitePort::autoplay_enabled() { return config_.autoplay(); }

std::array<std::string, 8> ConfigSitePort::recent_addresses() {
    const auto recent = config_.recent_addresses();
    std::array<std::string, 8> out;
    for (std::size_t i = 0; i < out.size() && i < recent.size(); ++i) out[i] = recent[i];
    return out;
}

std::string ConfigSitePort::network_user() { return config_.network_user(); }

void ConfigSitePort::save_connect_settings(std::string_view password, std::string_view address) {
    config_.save_connect_settings(password);
    config_.remember_address(address);
}

void ConfigSitePort::write_connect_ports(int command_port) {
    config_.save_connect_ports(command_port);
}

}  // namespace orvel::app
