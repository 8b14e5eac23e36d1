// What the site connection code needs from the configuration file and the site list,
// implemented by the application's configuration module (and by fakes in tests).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "view/site_entry.h"

namespace orvel::net {

class SiteConfigPort {
public:
    virtual ~SiteConfigPort() = default;

    // Appends the site to the in-memory list and the file; shows the "warning" box and
    // adds nothing when the list is full. Thread: UI thread only.
    virtual bool add_site(const view::SiteEntry& site) = 0;
    // Removes the first site of that name from the list and the file. Thread: UI only.
    virtual bool delete_site(std::string_view name) = 0;
    // The "default connection" command: clears the default (keys written as "") when
    // `currently_default`, otherwise makes the site of this item the default (address
    // from the item's text, port from its data). Thread: UI thread only.
    virtual void toggle_default_connection(bool currently_default, std::string_view site_item_text,
                                           std::uint32_t item_data) = 0;
    // [PLAY] AUTOPLAY is not exactly "FALSE". Thread: any.
    virtual bool autoplay_enabled() = 0;

    // Connect dialog: [NETWORK] ip0..ip7 and user. Thread: UI thread only.
    virtual std::array<std::string, 8> recent_addresses() = 0;
    virtual std::string network_user() = 0;
    // isdy = "0", password = the box's text, and the recent-address rotation when the
    // address is not empty. Thread: UI thread only.
    virtual void save_connect_settings(std::string_view password, std::string_view address) = 0;
    // streamport = port + 1, fileport = port + 2. Thread: UI thread only.
    virtual void write_connect_ports(int command_port) = 0;
};

}  // namespace orvel::net
