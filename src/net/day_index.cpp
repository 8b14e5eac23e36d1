#include "net/day_index.h"

#include <algorithm>

#include "net/protocol.h"

namespace orvel::net {

const DayIndexRow* DayIndex::row_for(int camera) const {
    for (const auto& row : rows_)
        if (row.camera == camera) return &row;
    return nullptr;
}

bool DayIndex::add_segment(int camera, const Segment& segment) {
    auto it = std::find_if(rows_.begin(), rows_.end(),
                           [camera](const DayIndexRow& r) { return r.camera == camera; });
    if (it == rows_.end()) {
        if (rows_.size() >= static_cast<std::size_t>(kMaxDayIndexRows)) return false;
        rows_.push_back(DayIndexRow{camera, {}});
        it = rows_.end() - 1;
    }
    // Sorted by start time; an equal start goes after the existing entries.
    auto& list = it->segments;
    auto pos = std::upper_bound(
        list.begin(), list.end(), segment,
        [](const Segment& a, const Segment& b) { return a.start_s() < b.start_s(); });
    list.insert(pos, segment);
    return true;
}

void DayIndex::parse_record_body(int camera, std::span<const std::uint8_t> body, int& added) {
    char drive = 'C';
    std::size_t at = 0;
    while (body.size() - at >= 8) {
        const std::uint8_t first = body[at];
        if (first >= 'C' && first <= 'Z') {
            if (body.size() - at < 9) break;  // a lettered entry needs 9 bytes
            drive = static_cast<char>(first);
            ++at;
        }
        Segment s;
        s.drive = drive;
        s.hour = body[at];
        s.minute = body[at + 1];
        s.second = body[at + 2];
        s.kind = body[at + 3];
        s.length_s = read_u16(&body[at + 4]);
        if (s.length_s > kMaxSegmentLengthS) s.length_s = 0;
        s.spare = read_u16(&body[at + 6]);
        at += 8;
        if (add_segment(camera, s)) ++added;
    }
}

int DayIndex::add_reply(std::span<const std::uint8_t> message) {
    int added = 0;
    std::size_t at = 0;
    while (message.size() - at >= kHeaderBytes) {
        MessageHeader h;
        parse_header(message.subspan(at), h);
        if (h.length_bytes == 0) break;  // would never advance
        const std::size_t record_end = std::min(message.size(), at + h.length_bytes);
        if (h.length_bytes > kHeaderBytes && h.type == kTypeDayIndex)
            parse_record_body(
                h.param, message.subspan(at + kHeaderBytes, record_end - at - kHeaderBytes), added);
        at += h.length_bytes;
        if (at >= message.size()) break;
    }
    return added;
}

}  // namespace orvel::net
