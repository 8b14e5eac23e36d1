#include "platform/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace orvel::platform {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_nocase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// One line of INI text, classified.
struct Line {
    enum Kind { other, section, key } kind = other;
    std::string_view name;   // section or key name (trimmed)
    std::string_view value;  // key value (trimmed)
};

Line classify(std::string_view raw) {
    Line line;
    std::string_view s = trim(raw);
    if (s.empty() || s.front() == ';' || s.front() == '#') return line;
    if (s.front() == '[') {
        s.remove_prefix(1);
        const std::size_t close = s.find(']');
        line.kind = Line::section;
        line.name = trim(close == std::string_view::npos ? s : s.substr(0, close));
        return line;
    }
    const std::size_t eq = s.find('=');
    if (eq == std::string_view::npos) return line;
    line.kind = Line::key;
    line.name = trim(s.substr(0, eq));
    line.value = trim(s.substr(eq + 1));
    return line;
}

// Splits text into lines without their '\n' (a trailing '\r' is handled by trim).
std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

bool usable_name(std::string_view name, bool is_section) {
    name = trim(name);
    if (name.empty()) return false;
    for (char c : name) {
        if (c == '\n' || c == '\r' || c == '\0') return false;
        if (is_section && c == ']') return false;
        if (!is_section && c == '=') return false;
    }
    if (!is_section && (name.front() == '[' || name.front() == ';' || name.front() == '#')) {
        return false;
    }
    return true;
}

std::string_view first_line(std::string_view value) {
    const std::size_t end = value.find_first_of("\r\n");
    return end == std::string_view::npos ? value : value.substr(0, end);
}

}  // namespace

int parse_platform_int(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

bool ini_lookup(std::string_view text, std::string_view section, std::string_view key,
                std::string& value) {
    section = trim(section);
    key = trim(key);
    bool in_section = false;
    bool section_seen = false;
    for (std::string_view raw : split_lines(text)) {
        const Line line = classify(raw);
        if (line.kind == Line::section) {
            if (in_section) return false;  // only the first section of that name counts
            in_section = !section_seen && equal_nocase(line.name, section);
            section_seen = section_seen || in_section;
        } else if (line.kind == Line::key && in_section && equal_nocase(line.name, key)) {
            value.assign(line.value);
            return true;
        }
    }
    return false;
}

std::string ini_with_value(std::string_view text, std::string_view section, std::string_view key,
                           std::string_view value) {
    section = trim(section);
    key = trim(key);
    value = trim(first_line(value));
    const std::vector<std::string_view> lines = split_lines(text);
    const std::string new_line = std::string(key) + "=" + std::string(value);

    // Find the first section of that name, its key, and the last content line in it.
    std::ptrdiff_t section_at = -1, key_at = -1, last_in_section = -1;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line line = classify(lines[i]);
        if (line.kind == Line::section) {
            if (section_at >= 0) break;
            if (equal_nocase(line.name, section)) {
                section_at = static_cast<std::ptrdiff_t>(i);
                last_in_section = section_at;
            }
        } else if (section_at >= 0) {
            if (!trim(lines[i]).empty()) last_in_section = static_cast<std::ptrdiff_t>(i);
            if (line.kind == Line::key && equal_nocase(line.name, key)) {
                key_at = static_cast<std::ptrdiff_t>(i);
                break;
            }
        }
    }

    std::string out;
    out.reserve(text.size() + new_line.size() + section.size() + 8);
    auto emit = [&out](std::string_view l) {
        out.append(l);
        out.push_back('\n');
    };
    if (section_at < 0) {
        for (std::string_view l : lines) emit(l);
        if (!out.empty() && !trim(lines.back()).empty()) out.push_back('\n');
        emit("[" + std::string(section) + "]");
        emit(new_line);
        return out;
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto at = static_cast<std::ptrdiff_t>(i);
        if (at == key_at) {
            emit(new_line);
            continue;
        }
        emit(lines[i]);
        if (key_at < 0 && at == last_in_section) emit(new_line);
    }
    return out;
}

std::mutex IniFile::mutex_;

IniFile::IniFile(std::filesystem::path path) : path_(std::move(path)) {}

std::filesystem::path IniFile::default_path() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path dir;
    if (xdg != nullptr && xdg[0] == '/') {
        dir = xdg;
    } else {
        const char* home = std::getenv("HOME");
        dir = std::filesystem::path(home != nullptr && home[0] != '\0' ? home : ".") / ".config";
    }
    return dir / "orvelcam.ini";
}

std::string IniFile::read_text() const {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return {};
    // Read up to the size limit in small steps: the file is usually a few kilobytes.
    std::string text;
    char chunk[16 * 1024];
    while (text.size() < kIniMaxFileBytes && in) {
        const std::size_t want = std::min(sizeof chunk, kIniMaxFileBytes - text.size());
        in.read(chunk, static_cast<std::streamsize>(want));
        text.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    return text;
}

std::string IniFile::get_string(std::string_view section, std::string_view key,
                                std::string_view default_value, std::size_t size_bytes) const {
    std::string value;
    {
        std::lock_guard lock(mutex_);
        if (!ini_lookup(read_text(), section, key, value)) value.assign(default_value);
    }
    const std::size_t limit = size_bytes == 0 ? 0 : size_bytes - 1;
    if (value.size() > limit) value.resize(limit);
    return value;
}

int IniFile::get_int(std::string_view section, std::string_view key, int default_value) const {
    std::string value;
    std::lock_guard lock(mutex_);
    if (!ini_lookup(read_text(), section, key, value)) return default_value;
    return parse_platform_int(value);
}

bool IniFile::prepare_write() const {
    std::error_code ec;
    const std::filesystem::path dir = path_.has_parent_path() ? path_.parent_path() : ".";
    if (!std::filesystem::exists(dir, ec)) {
        std::filesystem::create_directories(dir, ec);
        if (ec) return false;
        ::chmod(dir.c_str(), 0700);
    }
    // A file beyond the size limit would be cut short by a rewrite: refuse.
    const auto size = std::filesystem::file_size(path_, ec);
    return ec || size < kIniMaxFileBytes;
}

bool IniFile::replace_file(const std::string& text) {
    const std::filesystem::path dir = path_.has_parent_path() ? path_.parent_path() : ".";
    const std::filesystem::path tmp =
        path_.string() + ".tmp." + std::to_string(static_cast<long>(::getpid()));
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fchmod(fd, 0600) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || std::rename(tmp.c_str(), path_.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    const int dir_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd >= 0) {
        ::fsync(dir_fd);
        ::close(dir_fd);
    }
    return true;
}

bool IniFile::write_string(std::string_view section, std::string_view key, std::string_view value) {
    if (!usable_name(section, true) || !usable_name(key, false)) return false;
    std::lock_guard lock(mutex_);
    if (!prepare_write()) return false;
    return replace_file(ini_with_value(read_text(), section, key, value));
}

bool IniFile::write_strings(std::string_view section,
                            std::span<const std::pair<std::string, std::string>> values) {
    if (!usable_name(section, true)) return false;
    for (const auto& kv : values) {
        if (!usable_name(kv.first, false)) return false;
    }
    std::lock_guard lock(mutex_);
    if (!prepare_write()) return false;
    std::string text = read_text();
    for (const auto& [key, value] : values) text = ini_with_value(text, section, key, value);
    return replace_file(text);
}

bool IniFile::write_int(std::string_view section, std::string_view key, int value) {
    return write_string(section, key, std::to_string(value));
}

}  // namespace orvel::platform
