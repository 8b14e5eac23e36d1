#pragma once
// Names of local recordings and snapshots, as Windows-style paths on a drive letter (the
// form the operator and the configuration use), and the folders that hold them.
//
//   <disk>:\dvr_media\video\<address>\<yy-mm-dd>\camera NN\yy-mm-dd-hh-mm-NN.dvr
//   <disk>:\dvr_media\video\<address>\<yy-mm-dd>\camera NN\yy-mm-dd-hh-mm-ss-NN.dvr (a
//   saved copy of a DVR recording)
//   C:\DVR\QEV_image\yyyy-mm-dd-hh-mm-ss-mmm.bmp
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "media/wall_clock.h"

namespace orvel::platform {
class IniFile;
class DriveMap;
}  // namespace orvel::platform

namespace orvel::media {

// Configuration of the recording disk: section RECORD, key DISK, a 4-character buffer.
inline constexpr std::string_view kRecordSection = "RECORD";
inline constexpr std::string_view kRecordDiskKey = "DISK";
inline constexpr std::string_view kRecordDiskDefault = "C";
inline constexpr std::size_t kRecordDiskSize = 4;

// The recording disk letter: the first character of [RECORD] DISK, 'C' when empty.
char record_disk_letter(const platform::IniFile& ini);

// The DVR address as a single folder name: path separators and control characters become
// '_', and "", "." and ".." become "_", so an address can never leave its folder.
std::string address_folder_name(std::string_view address);

// "D:\dvr_media\video\<address>\<yy-mm-dd>\camera NN\" for a live recording begun at `t`.
std::string live_recording_folder(char disk, std::string_view address, int channel,
                                  const LocalTime& t);
// "yy-mm-dd-hh-mm-NN.dvr", or with `attempt` > 1 "yy-mm-dd-hh-mm-NN_<attempt>.dvr" (a second
// file of the same channel and minute).
std::string live_recording_file_name(int channel, const LocalTime& t, int attempt = 1);

// `name` ("x.dvr") for the first attempt, "x_<attempt>.dvr" for later ones (a name taken).
std::string numbered_file_name(std::string_view name, int attempt);

// The pieces of a DVR recording's path in the layout the client requests,
// "X:\dvr_media\video\<yy-mm-dd>\camera NN\<file name>", each made a single folder or file
// name (address_folder_name). Nothing when the path has another layout.
struct DvrPathPieces {
    std::string date_folder;  // 8 characters on the DVR
    std::string camera;       // 2 characters on the DVR
    std::string file_name;
};
std::optional<DvrPathPieces> split_dvr_recording_path(std::string_view dvr_path);

// "D:\dvr_media\video\<address>\<date folder>\camera <camera>\" of a saved copy.
std::string remote_copy_folder(char disk, std::string_view address, std::string_view date_folder,
                               std::string_view camera);
// A copy's name: the DVR file name "yy-mm-dd-hh-mm-ss-NN.dvr" with its date and time replaced
// by those of `t` (when the copy begins). A name of another form is kept as it is.
std::string remote_copy_file_name(std::string_view dvr_file_name, const LocalTime& t);
// The pieces of a copy whose DVR path has another layout: the date of `t`, camera `camera`
// ("%02d") and the name "yy-mm-dd-hh-mm-ss-NN.dvr" of `t`.
DvrPathPieces remote_copy_pieces(int camera, const LocalTime& t);
// The local time a PackedDateTime stands for (year 2000 + its two digits; no milliseconds);
// nothing when it is no valid date and time.
std::optional<LocalTime> packed_local_time(uint32_t packed);

// "c:\DVR\QEV_image\yyyy-mm-dd-hh-mm-ss-mmm.bmp" for a live snapshot written at `t`.
std::string snapshot_auto_name(const LocalTime& t);

// The name chosen in a save dialog with ".bmp" appended unless it already ends in ".bmp"
// (in any letter case).
std::string with_bmp_suffix(std::string_view name);

// Creates the folder `folder` and every missing parent below the drive root `root`, making
// each new entry durable (its parent folder is synced). False with `error` (errno) on failure.
bool create_folders_durably(const std::filesystem::path& root, const std::filesystem::path& folder,
                            int& error);

// Syncs a folder so that entries created in it survive a crash. False on failure.
bool sync_folder(const std::filesystem::path& folder);

}  // namespace orvel::media
