#include "media/timeline/day_index.h"

#include <algorithm>

namespace orvel::media {
namespace {

constexpr std::size_t kHeaderBytes = 6;

std::uint16_t u16_at(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

bool is_drive_letter(std::uint8_t b) { return b >= 'C' && b <= 'Z'; }

}  // namespace

const DayIndexRow* DayIndex::row_for(int camera) const {
    for (const auto& row : rows_)
        if (row.camera == camera) return &row;
    return nullptr;
}

bool DayIndex::add_segment(int camera, const RecordingSegment& segment) {
    auto it = std::find_if(rows_.begin(), rows_.end(),
                           [camera](const DayIndexRow& r) { return r.camera == camera; });
    if (it == rows_.end()) {
        if (rows_.size() >= static_cast<std::size_t>(kMaxDayIndexRows)) return false;
        rows_.push_back(DayIndexRow{camera, {}});
        it = rows_.end() - 1;
    }
    auto& list = it->segments;
    if (list.size() >= static_cast<std::size_t>(kMaxSegmentsPerRow)) return false;
    // Sorted by start time; an equal start goes after the existing entries.
    const auto pos = std::upper_bound(list.begin(), list.end(), segment,
                                      [](const RecordingSegment& a, const RecordingSegment& b) {
                                          return a.start_s() < b.start_s();
                                      });
    list.insert(pos, segment);
    return true;
}

int DayIndex::parse_record(int camera, std::span<const std::uint8_t> body) {
    // The record is the camera's whole list: a repeated reply replaces, never appends. A
    // camera without recordings still gets its row.
    auto it = std::find_if(rows_.begin(), rows_.end(),
                           [camera](const DayIndexRow& r) { return r.camera == camera; });
    if (it != rows_.end()) {
        it->segments.clear();
    } else if (rows_.size() < static_cast<std::size_t>(kMaxDayIndexRows)) {
        rows_.push_back(DayIndexRow{camera, {}});
    }
    int kept = 0;
    char drive = 'C';
    std::size_t at = 0;
    while (body.size() - at >= 8) {
        const std::uint8_t first = body[at];
        if (is_drive_letter(first)) {
            if (body.size() - at < 9) break;  // a lettered entry needs 9 bytes
            drive = static_cast<char>(first);
            ++at;
        }
        RecordingSegment s;
        s.drive = drive;
        s.hour = body[at];
        s.minute = body[at + 1];
        s.second = body[at + 2];
        s.kind = body[at + 3];
        s.length_s = u16_at(&body[at + 4]);
        if (s.length_s > kMaxSegmentLengthS) s.length_s = 0;
        s.spare = u16_at(&body[at + 6]);
        at += 8;
        if (s.hour > 23 || s.minute > 59 || s.second > 59) continue;  // no time of the day
        if (add_segment(camera, s)) ++kept;
    }
    return kept;
}

int DayIndex::add_reply(std::span<const std::uint8_t> message) {
    int kept = 0;
    std::size_t at = 0;
    while (message.size() - at >= kHeaderBytes) {
        const std::uint8_t type = message[at];
        const int camera = u16_at(&message[at + 2]);
        const std::size_t length = u16_at(&message[at + 4]);
        if (length == 0) break;  // would never advance
        const std::size_t end = std::min(message.size(), at + length);
        if (length >= kHeaderBytes && type == kDayIndexType)
            kept +=
                parse_record(camera, message.subspan(at + kHeaderBytes, end - at - kHeaderBytes));
        at += length;
        if (at >= message.size()) break;
    }
    return kept;
}

}  // namespace orvel::media
