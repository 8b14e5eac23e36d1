// Recording index of one searched day, as the DVR's day-index replies carry it: per camera
// a list of recordings sorted by start time, at most 36 cameras. Pure and thread-free; the
// owner guards it (the command connection's reader fills it, the UI thread copies it).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace orvel::media {

inline constexpr int kMaxDayIndexRows = 36;
inline constexpr int kMaxSegmentLengthS = 3900;  // longer values are taken as 0
// What one record can carry: a 16-bit record length over 8-byte entries.
inline constexpr int kMaxSegmentsPerRow = 65535 / 8;
inline constexpr std::uint8_t kDayIndexType = 5;

struct RecordingSegment {
    char drive = 'C';
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
    std::uint8_t kind = 0;  // 1 draws in the timeline's second colour (red)
    std::uint16_t length_s = 0;
    std::uint16_t spare = 0;  // carried along, not used

    int start_s() const { return hour * 3600 + minute * 60 + second; }
    int end_s() const { return start_s() + length_s; }
};

struct DayIndexRow {
    int camera = 0;  // 1-based camera number from the record's header
    std::vector<RecordingSegment> segments;
};

class DayIndex {
public:
    // Walks one received message of back-to-back day-index records. Each record is the
    // whole list of its camera for the day: it replaces that camera's row, or takes the
    // first free row even when it lists nothing (36 at most; further cameras are not kept). A record of length 1..5
    // is skipped, a length of 0 ends the walk, no record reaches past the message, and an
    // entry cut short at the record's end (8 bytes, 9 with a drive letter) is dropped, as is
    // an entry whose start is no time of day. Returns the number of entries kept.
    int add_reply(std::span<const std::uint8_t> message);

    // Adds one entry to the row of `camera` (taking the first free row for a new camera),
    // after every entry that starts at or before it; false when the row is full or all 36
    // rows belong to other cameras.
    bool add_segment(int camera, const RecordingSegment& segment);

    void clear() { rows_.clear(); }
    const std::vector<DayIndexRow>& rows() const { return rows_; }
    const DayIndexRow* row_for(int camera) const;

private:
    int parse_record(int camera, std::span<const std::uint8_t> body);
    std::vector<DayIndexRow> rows_;
};

}  // namespace orvel::media
