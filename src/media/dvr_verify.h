#pragma once
// Structure check of a .dvr recording: the header block of the size its codec marker asks
// for, records back to back to the end, audio records of 512 bytes, index entries that point
// at the key-frame records with their times, the closed mark and the duration.
//
// Verdicts: sound (closed and consistent), not closed (a recording that was never finished,
// e.g. the process was killed: readable up to its last whole record), damaged (something a
// recorder never writes), cannot open.
#include <cstdint>
#include <string>
#include <vector>

#include "media/dvr_file.h"

namespace orvel::media {

enum class VerifyVerdict { sound, not_closed, damaged, cannot_open };
const char* verify_verdict_text(VerifyVerdict verdict);

struct VerifyReport {
    VerifyVerdict verdict = VerifyVerdict::damaged;
    DvrHeader header;
    int64_t file_bytes = -1;
    uint64_t records = 0;
    uint64_t video_records = 0;
    uint64_t key_frames = 0;
    uint64_t audio_records = 0;
    uint32_t last_video_ms = 0;
    std::size_t index_entries = 0;
    uint64_t whole_bytes = 0;  // end of the last whole record
    // What makes the file damaged (the first few), and remarks that do not.
    std::vector<std::string> problems;
    std::vector<std::string> notes;
};

VerifyReport verify_dvr(DvrSource& source);
VerifyReport verify_dvr_file(const std::string& path);

}  // namespace orvel::media
