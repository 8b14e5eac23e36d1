#pragma once
// Drive letters as storage roots: section [DRIVES] of the configuration maps letters to
// folders (D=/mnt/archive); C: is the home folder unless mapped; other letters exist only
// when mapped. "X:\a\b" resolves to root(X)/a/b.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/ini_file.h"

namespace orvel::platform {

enum class DriveType { no_root_dir, fixed };

struct DriveSpace {
    std::uint64_t capacity_bytes = 0;
    std::uint64_t free_bytes = 0;
};

class DriveMap {
public:
    // `home` is the folder C: stands for unless [DRIVES] maps it.
    DriveMap(const IniFile& ini, std::filesystem::path home);
    // Uses $HOME (or the current folder when unset).
    explicit DriveMap(const IniFile& ini);

    // Root folder of a letter (either case), or nothing when the letter is not mapped.
    // Thread: any.
    std::optional<std::filesystem::path> root(char letter) const;
    // Thread: any. fixed when the root exists and is a folder.
    DriveType drive_type(char letter) const;
    // Thread: any. statvfs of the root; nothing when it cannot be had.
    std::optional<DriveSpace> space(char letter) const;
    // Thread: any. statvfs of any folder; nothing when it cannot be had.
    static std::optional<DriveSpace> space_of(const std::filesystem::path& folder);
    // "C:\dvr_media\video\" -> root(C)/dvr_media/video/. Nothing when the path has no
    // drive letter, the letter is unmapped, or a component is ".." (kept inside the root).
    // Thread: any.
    std::optional<std::filesystem::path> resolve(std::string_view windows_path) const;

private:
    const IniFile& ini_;
    std::filesystem::path home_;
};

}  // namespace orvel::platform
