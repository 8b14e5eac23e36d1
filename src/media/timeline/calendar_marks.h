// Which days the Date dialog circles: the DVR answers a recording-days query with three day
// masks (the month two before the queried month, the month before, the queried month; bit
// d - 1 = day d has recordings), and the calendar shows a month with parts of the months
// before and after it. Pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace orvel::media {

using DayMasks = std::array<std::uint32_t, 3>;  // [0] M-2, [1] M-1, [2] M

// Months from the queried month to the shown month.
inline int month_offset(int shown_year, int shown_month, int query_year, int query_month) {
    return (shown_year - query_year) * 12 + shown_month - query_month;
}

// The masks of the calendar's three displayed months (before, shown, after) for a month
// offset: -3: (0, 0, M-2); -2: (0, M-2, M-1); -1: (M-2, M-1, M); 0: (M-1, M, 0);
// 1: (M, 0, 0); any other offset: nothing.
DayMasks applied_masks(int offset, const DayMasks& masks);

// True when `day` (1..31) of displayed month `which` (-1 before, 0 shown, 1 after) is marked.
inline bool day_marked(const DayMasks& applied, int which, int day) {
    if (which < -1 || which > 1 || day < 1 || day > 31) return false;
    return (applied[static_cast<std::size_t>(which + 1)] >> (day - 1)) & 1u;
}

// "yy-mm-dd" of a chosen day: the last two digits of the year, the month and the day.
std::string search_date_text(int year, int month, int day);

}  // namespace orvel::media
