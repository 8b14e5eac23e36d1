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
    if (attempt <= 1) {
        std::snprintf(name, sizeof name, "%02d-%02d-%02d-%02d-%02d-%02d.dvr", t.year % 100, t.month,
                      t.day, t.hour, t.minute, channel);
    } else {
        std::snprintf(name, sizeof name, "%02d-%02d-%02d-%02d-%02d-%02d_%d.dvr", t.year % 100,
                      t.month, t.day, t.hour, t.minute, channel, attempt);
    }
    return name;
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
