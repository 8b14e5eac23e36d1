#include "media/timeline/calendar_marks.h"

#include <cstdio>

namespace orvel::media {

DayMasks applied_masks(int offset, const DayMasks& m) {
    switch (offset) {
        case -3:
            return {0, 0, m[0]};
        case -2:
            return {0, m[0], m[1]};
        case -1:
            return {m[0], m[1], m[2]};
        case 0:
            return {m[1], m[2], 0};
        case 1:
            return {m[2], 0, 0};
        default:
            return {0, 0, 0};
    }
}

std::string search_date_text(int year, int month, int day) {
    const int yy = ((year % 100) + 100) % 100;
    char text[16];
    std::snprintf(text, sizeof text, "%02d-%02d-%02d", yy, month % 100, day % 100);
    return text;
}

}  // namespace orvel::media
