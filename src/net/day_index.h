// Recording index of one day per camera, as the DVR's day-index replies carry it:
// per camera a list of recordings sorted by start time, at most 36 cameras.
// Not thread-safe on its own; the owner guards it.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace orvel::net {

inline constexpr int kMaxDayIndexRows = 36;
inline constexpr int kMaxSegmentLengthS = 3900;  // longer values are taken as 0

struct Segment {
    char drive = 'C';
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
    std::uint8_t kind = 0;  // 1 draws in the timeline's second colour
    std::uint16_t length_s = 0;
    std::uint16_t spare = 0;

    int start_s() const { return hour * 3600 + minute * 60 + second; }
};

struct DayIndexRow {
    int camera = 0;  // camera number from the record's header
    std::vector<Segment> segments;
};

class DayIndex {
public:
    // Walks one received message of back-to-back day-index records and adds their
    // entries. A record of length 1..5 is skipped, a length of 0 ends the walk, and
    // no record reaches past the message. Returns the number of entries added.
    int add_reply(std::span<const std::uint8_t> message);

    // Adds one entry to the row of `camera`, taking the first free row for a new
    // camera; false when all 36 rows are taken by other cameras.
    bool add_segment(int camera, const Segment& segment);

    void clear() { rows_.clear(); }
    const std::vector<DayIndexRow>& rows() const { return rows_; }
    const DayIndexRow* row_for(int camera) const;

private:
    void parse_record_body(int camera, std::span<const std::uint8_t> body, int& added);
    std::vector<DayIndexRow> rows_;
};

}  // namespace orvel::net
