#include "media/record_paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/ini_file.h"

namespace orvel::media {

char record_disk_letter(const platform::IniFile& ini) {
    const std::string disk =
        ini.get_string(kRecordSection, kRecordDiskKey, kRecordDiskDefault, kRecordDiskSize);
    return disk.empty() ? 'C' : disk[0];
}

std::string address_folder_name(std::string_view address) {
    std::string name(address);
    for (char& c : name) {
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
    }
    if (name.empty() || name == "." || name == "..") return "_";
    return name;
}

std::string live_recording_folder(char disk, std::string_view address, int channel,
                                  const LocalTime& t) {
    char tail[64];
    std::snprintf(tail, sizeof tail, "\\%02d-%02d-%02d\\camera %02d\\", t.year % 100, t.month,
                  t.day, channel);
    std::string path(1, disk);
    path += ":\\dvr_media\\video\\";
    path += address_folder_name(address);
    path += tail;
    return path;
}

std::string live_recording_file_name(int channel, const LocalTime& t, int attempt) {
    char name[64];
    std::snprintf(name, sizeof name, "%02d-%02d-%02d-%02d-%02d-%02d.dvr", t.year % 100, t.month,
                  t.day, t.hour, t.minute, channel);
    return numbered_file_name(name, attempt);
}

std::string numbered_file_name(std::string_view name, int attempt) {
    std::string out(name);
    if (attempt <= 1) return out;
    const std::string suffix = "_" + std::to_string(attempt);
    const std::size_t dot = out.rfind('.');
    out.insert(dot == std::string::npos ? out.size() : dot, suffix);
    return out;
}

std::optional<DvrPathPieces> split_dvr_recording_path(std::string_view path) {
    // X:\dvr_media\video\yy-mm-dd\camera NN\name: fixed places up to the name at 38.
    constexpr std::string_view kVideo = "\\dvr_media\\video\\";  // at 2
    constexpr std::string_view kCamera = "\\camera ";            // at 27
    if (path.size() <= 38 || path[1] != ':' || path.substr(2, kVideo.size()) != kVideo ||
        path.substr(27, kCamera.size()) != kCamera || path[37] != '\\') {
        return std::nullopt;
    }
    const std::string_view name = path.substr(38);
    if (name.find_first_of("\\/") != std::string_view::npos) return std::nullopt;
    return DvrPathPieces{address_folder_name(path.substr(19, 8)),
                         address_folder_name(path.substr(35, 2)), address_folder_name(name)};
}

std::string remote_copy_folder(char disk, std::string_view address, std::string_view date_folder,
                               std::string_view camera) {
    std::string path(1, disk);
    path += ":\\dvr_media\\video\\";
    path += address_folder_name(address);
    path += '\\';
    path += address_folder_name(date_folder);
    path += "\\camera ";
    path += address_folder_name(camera);
    path += '\\';
    return path;
}

std::string remote_copy_file_name(std::string_view dvr_file_name, const LocalTime& t) {
    // "yy-mm-dd-hh-mm-ss-": six two-digit fields, each followed by '-'.
    constexpr std::size_t kStampChars = 18;
    std::string name(dvr_file_name);
    if (name.size() <= kStampChars) return name;
    for (std::size_t i = 0; i < kStampChars; ++i) {
        const bool dash = i % 3 == 2;
        if (dash ? name[i] != '-' : (name[i] < '0' || name[i] > '9')) return name;
    }
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d-%02d-%02d-%02d-%02d-%02d-", t.year % 100,
                  t.month % 100, t.day % 100, t.hour % 100, t.minute % 100, t.second % 100);
    name.replace(0, kStampChars, stamp);
    return name;
}

DvrPathPieces remote_copy_pieces(int camera, const LocalTime& t) {
    char date[16], number[16], name[48];
    std::snprintf(date, sizeof date, "%02d-%02d-%02d", t.year % 100, t.month % 100, t.day % 100);
    std::snprintf(number, sizeof number, "%02d", camera % 100);
    std::snprintf(name, sizeof name, "%s-%02d-%02d-%02d-%s.dvr", date, t.hour % 100, t.minute % 100,
                  t.second % 100, number);
    return DvrPathPieces{date, number, name};
}

std::optional<LocalTime> packed_local_time(uint32_t packed) {
    LocalTime t;
    t.year = 2000 + static_cast<int>(packed & 0x3F);
    t.month = static_cast<int>((packed >> 6) & 0x0F);
    t.day = static_cast<int>((packed >> 10) & 0x1F);
    t.hour = static_cast<int>((packed >> 15) & 0x1F);
    t.minute = static_cast<int>((packed >> 20) & 0x3F);
    t.second = static_cast<int>((packed >> 26) & 0x3F);
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.hour > 23 || t.minute > 59 || t.second > 59)
        return std::nullopt;
    return t;
}

std::string snapshot_auto_name(const LocalTime& t) {
    char name[96];
    std::snprintf(name, sizeof name, "c:\\DVR\\QEV_image\\%04d-%02d-%02d-%02d-%02d-%02d-%03d.bmp",
                  t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
    return name;
}

std::string with_bmp_suffix(std::string_view name) {
    std::string out(name);
    if (out.size() >= 4) {
        std::string tail = out.substr(out.size() - 4);
        for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (tail == ".bmp") return out;
    }
    return out + ".bmp";
}

bool sync_folder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool create_folders_durably(const std::filesystem::path& root, const std::filesystem::path& folder,
                            int& error) {
    error = 0;
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) return true;
    // Walk down from the root, creating what is missing.
    const std::filesystem::path relative = folder.lexically_relative(root);
    if (relative.empty() || *relative.begin() == "..") {
        error = EINVAL;
        return false;
    }
    std::filesystem::path at = root;
    for (const auto& part : relative) {
        if (part.empty() || part == ".") continue;
        const std::filesystem::path parent = at;
        at /= part;
        if (::mkdir(at.c_str(), 0755) == 0) {
            sync_folder(parent);
        } else if (errno != EEXIST) {
            error = errno;
            return false;
        } else if (!std::filesystem::is_directory(at, ec)) {
            error = ENOTDIR;
            return false;
        }
    }
    return true;
}

}  // namespace orvel::media
