// The site connection code's view of the configuration: the site list, the default
// connection and the Connect dialog's keys, on top of Config. Thread: UI thread
// unless said otherwise.
#pragma once

#include "app/config.h"
#include "net/site_config_port.h"
#include "platform/ports/message_box.h"
#include "view/app_state.h"

namespace orvel::app {

class ConfigSitePort final : public net::SiteConfigPort {
public:
    ConfigSitePort(Config& config, view::AppState& state, platform::MessageBoxPort& messages)
        : config_(config), state_(state), messages_(messages) {}

    bool add_site(const view::SiteEntry& site) override;
    bool delete_site(std::string_view name) override;
    void toggle_default_connection(bool currently_default, std::string_view site_item_text,
                                   std::uint32_t item_data) override;
    bool autoplay_enabled() override;  // thread: any (the INI module serialises reads)
    std::array<std::string, 8> recent_addresses() override;
    std::string network_user() override;
    void save_connect_settings(std::string_view password, std::string_view address) override;
    void write_connect_ports(int command_port) override;

private:
    Config& config_;
    view::AppState& state_;
    platform::MessageBoxPort& messages_;
};

}  // namespace orvel::app
