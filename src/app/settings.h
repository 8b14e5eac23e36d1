#pragma once
// The settings dialog's logic (dialog 389), without the window: what it shows when it opens
// (recording disks C: to H: with capacity and free space, the recording folder, auto-play,
// the display mode), and what OK writes and tells the main window. The Qt dialog shows a
// SettingsModel, lets the operator change it, and hands it back to accept_settings().

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "app/config.h"
#include "platform/drives.h"
#include "platform/ports/ui_channel.h"

namespace orvel::app {

inline constexpr char kFirstDisk = 'C';
inline constexpr int kDiskCount = 6;                                       // C: to H:
inline constexpr const char* kSettingsTitle = "\xE8\xAE\xBE\xE7\xBD\xAE";  // "设置"
inline constexpr const char* kSettingsVersion = "VER: 8.5";
inline constexpr const char* kRecordFolder = "dvr_media\\video";

// Control ids of dialog 389.
namespace settings_id {
inline constexpr int kDiskFirst = 1111;      // radio buttons "C:" .. "H:" (1111..1116)
inline constexpr int kCapacityFirst = 1054;  // capacity boxes (1054..1059)
inline constexpr int kRemainFirst = 1060;    // free-space boxes (1060..1065)
inline constexpr int kFilePath = 1109;
inline constexpr int kAutoPlay = 1164;
inline constexpr int kDisplayGpu = 1165;
inline constexpr int kDisplayGdi = 1166;
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
}  // namespace settings_id

// "%d.%02d G": whole gigabytes (2^30 bytes) and the hundredths of the rest, cut, so a drive
// of 2^30 - 1 bytes shows 0.99 G and one of 80 x 2^30 bytes 80.00 G.
std::string format_gigabytes(std::uint64_t bytes);
// "C:\dvr_media\video" for a disk letter.
std::string record_folder_text(char letter);

struct SettingsDisk {
    char letter = 'C';
    bool available = false;  // maps to an existing folder: the radio button is enabled
    std::string capacity;    // empty when not available
    std::string remain;
    std::filesystem::path root;  // the folder the letter stands for (empty: unmapped)
    bool root_changed = false;   // chosen in the dialog; written by OK
};

struct SettingsModel {
    std::array<SettingsDisk, kDiskCount> disks;
    // The letter whose radio button is checked: the configured DISK (even when it is not
    // available), or none (0) when DISK names no letter C to H.
    char checked_disk = 0;
    bool autoplay = true;
    bool display_gdi = false;
    bool gpu_offered = true;  // false: the Direct3D button is disabled and GDI forced
};

// What the dialog shows when it opens. Thread: UI thread.
SettingsModel load_settings(const Config& config, const platform::DriveMap& drives);
// The disk entry after the operator mapped its letter to `folder` (not written until OK).
void map_disk(SettingsDisk& disk, const std::filesystem::path& folder);
// Availability, capacity and free space of a folder. Thread: any.
void fill_disk(SettingsDisk& disk, const std::optional<std::filesystem::path>& root);

// OK: writes the disk mappings chosen in the dialog, RECORD DISK (the checked letter, H
// when none), PLAY DISPLAY and PLAY AUTOPLAY; when DISPLAY changed, sends message 32772
// with the new value to the main window before returning. Returns true when it sent it.
// Thread: UI thread.
bool accept_settings(Config& config, const SettingsModel& model,
                     platform::UiMessageChannel& main_window);

}  // namespace orvel::app
