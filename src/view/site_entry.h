#pragma once
// One configured DVR site, a plain record copied by value.

#include <array>
#include <cstdint>

namespace orvel::view {

inline constexpr int kMaxSites = 128;

struct SiteEntry {
    std::array<char, 64> name{};      // key pos%d, zero-terminated
    std::array<char, 64> ip{};        // key ip%d: dotted IPv4 or a host name
    std::array<char, 32> user{};      // key user%d (only the first 8 bytes reach the DVR)
    std::array<char, 32> password{};  // key ps%d, plain text
    std::int32_t port1 = 9000;        // command port
    std::int32_t port2 = 9001;        // stream port
    std::int32_t port3 = 9002;        // file port
};

}  // namespace orvel::view
