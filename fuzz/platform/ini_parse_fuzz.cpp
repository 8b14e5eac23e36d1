// Feeds arbitrary bytes to the INI reader and writer: lookups must not crash, and a value
// written into any text must read back as written (cut at its first line break).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 64 * 1024) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string value;
    orvel::platform::ini_lookup(text, "LOCATION", "num", value);
    orvel::platform::parse_platform_int(value);
    orvel::platform::ini_lookup(text, "", "", value);
    orvel::platform::parse_platform_int(text.substr(0, 32));

    const std::string rewritten = orvel::platform::ini_with_value(text, "PLAY", "DISPLAY", "GDI");
    if (!orvel::platform::ini_lookup(rewritten, "play", "display", value) || value != "GDI") {
        std::abort();
    }
    return 0;
}
