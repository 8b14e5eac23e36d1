#include "app/settings.h"

#include <cinttypes>
#include <cstdio>

namespace orvel::app {

namespace {
constexpr std::uint64_t kGigabyte = std::uint64_t{1} << 30;
}

std::string format_gigabytes(std::uint64_t bytes) {
    const std::uint64_t whole = bytes / kGigabyte;
    // The remainder is below 2^30, so times 100 fits easily in 64 bits.
    const std::uint64_t hundredths = (bytes % kGigabyte) * 100 / kGigabyte;
    char text[48];
    std::snprintf(text, sizeof text, "%" PRIu64 ".%02" PRIu64 " G", whole, hundredths);
    return text;
}

std::string record_folder_text(char letter) {
    std::string text(1, letter);
    text += ":\\";
    text += kRecordFolder;
    return text;
}

void fill_disk(SettingsDisk& disk, const std::optional<std::filesystem::path>& root) {
    disk.root = root.value_or(std::filesystem::path());
    disk.available = false;
    disk.capacity.clear();
    disk.remain.clear();
    std::error_code ec;
    if (!root || !std::filesystem::is_directory(*root, ec)) return;
    const auto space = platform::DriveMap::space_of(*root);
    if (!space) return;
    disk.available = true;
    disk.capacity = format_gigabytes(space->capacity_bytes);
    disk.remain = format_gigabytes(space->free_bytes);
}

void map_disk(SettingsDisk& disk, const std::filesystem::path& folder) {
    fill_disk(disk, folder);
    disk.root_changed = true;
}

SettingsModel load_settings(const Config& config, const platform::DriveMap& drives) {
    SettingsModel model;
    model.autoplay = config.autoplay();
    model.display_gdi = config.display_is_gdi();
    model.gpu_offered = config.gpu_supported();
    if (!model.gpu_offered) model.display_gdi = true;
    for (int i = 0; i < kDiskCount; ++i) {
        SettingsDisk& disk = model.disks[static_cast<std::size_t>(i)];
        disk.letter = static_cast<char>(kFirstDisk + i);
        fill_disk(disk, drives.root(disk.letter));
    }
    const std::string configured = config.record_disk();
    if (!configured.empty()) {
        const char letter = configured[0];
        if (letter >= kFirstDisk && letter < kFirstDisk + kDiskCount) model.checked_disk = letter;
    }
    return model;
}

bool accept_settings(Config& config, const SettingsModel& model,
                     platform::UiMessageChannel& main_window) {
    for (const SettingsDisk& disk : model.disks)
        if (disk.root_changed)
            config.ini().write_string("DRIVES", std::string(1, disk.letter), disk.root.string());
    const char letter = model.checked_disk != 0 ? model.checked_disk : 'H';
    config.set_record_disk(std::string(1, letter));

    const std::string before = config.display_value();
    config.set_display(model.display_gdi);
    const std::string after = config.display_value();
    bool sent = false;
    if (after != before) {
        main_window.send_message(platform::kMsgDisplayModeChanged,
                                 reinterpret_cast<std::intptr_t>(after.c_str()), 0);
        sent = true;
    }
    config.set_autoplay(model.autoplay);
    return sent;
}

}  // namespace orvel::app
