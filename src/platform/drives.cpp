#include "platform/drives.h"

#include <sys/statvfs.h>

#include <cstdlib>
#include <string>

namespace orvel::platform {

namespace {
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

DriveMap::DriveMap(const IniFile& ini, std::filesystem::path home)
    : ini_(ini), home_(std::move(home)) {}

DriveMap::DriveMap(const IniFile& ini) : ini_(ini) {
    const char* home = std::getenv("HOME");
    home_ = (home != nullptr && home[0] != '\0') ? std::filesystem::path(home)
                                                 : std::filesystem::current_path();
}

std::optional<std::filesystem::path> DriveMap::root(char letter) const {
    const char l = upper(letter);
    if (l < 'A' || l > 'Z') return std::nullopt;
    const std::string mapped = ini_.get_string("DRIVES", std::string(1, l), "", 4096);
    if (!mapped.empty()) return std::filesystem::path(mapped);
    if (l == 'C') return home_;
    return std::nullopt;
}

DriveType DriveMap::drive_type(char letter) const {
    const auto r = root(letter);
    std::error_code ec;
    if (r && std::filesystem::is_directory(*r, ec)) return DriveType::fixed;
    return DriveType::no_root_dir;
}

std::optional<DriveSpace> DriveMap::space(char letter) const {
    const auto r = root(letter);
    if (!r) return std::nullopt;
    return space_of(*r);
}

std::optional<DriveSpace> DriveMap::space_of(const std::filesystem::path& folder) {
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0) return std::nullopt;
    const std::uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    return DriveSpace{static_cast<std::uint64_t>(info.f_blocks) * unit,
                      static_cast<std::uint64_t>(info.f_bavail) * unit};
}

std::optional<std::filesystem::path> DriveMap::resolve(std::string_view windows_path) const {
    if (windows_path.size() < 2 || windows_path[1] != ':') return std::nullopt;
    const auto r = root(windows_path[0]);
    if (!r) return std::nullopt;
    std::filesystem::path out = *r;
    std::string_view rest = windows_path.substr(2);
    std::size_t start = 0;
    bool trailing_separator = false;
    while (start <= rest.size()) {
        const std::size_t sep = rest.find_first_of("\\/", start);
        const std::string_view part = rest.substr(
            start, sep == std::string_view::npos ? std::string_view::npos : sep - start);
        if (part == "..") return std::nullopt;
        if (!part.empty() && part != ".") out /= std::string(part);
        if (sep == std::string_view::npos) {
            trailing_separator = part.empty() && !rest.empty();
            break;
        }
        start = sep + 1;
    }
    if (trailing_separator) out /= "";
    return out;
}

}  // namespace orvel::platform
