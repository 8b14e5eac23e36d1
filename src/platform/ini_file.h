#pragma once
// A small INI store with private-profile semantics:
// - section and key names compare without regard to case (ASCII);
// - a read returns the value cut to size - 1 characters, or the default when the key is
//   missing; an integer read parses like the platform's decimal conversion;
// - a write creates or replaces one key, creating the section and the file when missing.
// Values are read from the file each time (no cached copy); every write rewrites the file
// atomically (temporary file, fsync, rename) so a crash never leaves a half-written file.
// The file is created with mode 0600 because it holds passwords.

#include <filesystem>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace orvel::platform {

// Files larger than this are read up to the limit and refused for writing.
inline constexpr std::size_t kIniMaxFileBytes = 4u << 20;

// Decimal parse of the platform: leading blanks, an optional sign, digits up to the first
// non-digit; 0 when there are none. Values beyond the 32-bit range saturate.
int parse_platform_int(std::string_view text);

// Looks up a value in INI text. Returns false when the section or key is missing.
// The first section of that name and the first key of that name in it count.
bool ini_lookup(std::string_view text, std::string_view section, std::string_view key,
                std::string& value);

// Returns the INI text with one key set (created, with its section, when missing).
std::string ini_with_value(std::string_view text, std::string_view section, std::string_view key,
                           std::string_view value);

class IniFile {
public:
    explicit IniFile(std::filesystem::path path);

    // $XDG_CONFIG_HOME/orvelcam.ini, or ~/.config/orvelcam.ini when it is unset or empty.
    static std::filesystem::path default_path();

    const std::filesystem::path& path() const { return path_; }

    // Thread: any (calls of all IniFile objects are serialised).
    std::string get_string(std::string_view section, std::string_view key,
                           std::string_view default_value, std::size_t size_bytes) const;
    // Thread: any.
    int get_int(std::string_view section, std::string_view key, int default_value) const;
    // Thread: any. False when the names are unusable (empty, or holding '[', ']', '=',
    // a line break) or the file cannot be written. Line breaks in the value end it.
    bool write_string(std::string_view section, std::string_view key, std::string_view value);
    bool write_int(std::string_view section, std::string_view key, int value);
    // Sets several keys of one section in one atomic rewrite: either all of them reach the
    // file or none does. False (and nothing written) when any name is unusable.
    // Thread: any.
    bool write_strings(std::string_view section,
                       std::span<const std::pair<std::string, std::string>> values);

private:
    std::string read_text() const;
    // Rewrites the file with `text` (caller holds the lock).
    bool replace_file(const std::string& text);
    // False when the folder cannot be made or the file is beyond the size limit.
    bool prepare_write() const;

    std::filesystem::path path_;
    // One lock for every IniFile of the process: two objects naming the same file must
    // not interleave their read-modify-write cycles.
    static std::mutex mutex_;
};

}  // namespace orvel::platform
