// Recording-days replies and the Date dialog's marks: any reply either parses into three
// masks or is refused, and for every month offset the marks stay within the days a month
// has and come only from the masks given.
#include <cstddef>
#include <cstdint>
#include <span>

#include "media/timeline/calendar_marks.h"
#include "net/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvel;
    net::RecordingDays days;
    if (!net::parse_recording_days({data, size}, days)) return 0;
    const media::DayMasks masks = days.masks;
    for (int offset = -6; offset <= 6; ++offset) {
        const media::DayMasks applied = media::applied_masks(offset, masks);
        for (int which = -2; which <= 2; ++which)
            for (int day = -1; day <= 33; ++day) {
                const bool marked = media::day_marked(applied, which, day);
                if (marked && (day < 1 || day > 31 || which < -1 || which > 1)) __builtin_trap();
                if (marked && offset < -3) __builtin_trap();
                if (marked && offset > 1) __builtin_trap();
            }
        for (std::uint32_t m : applied)
            if (m != 0 && m != masks[0] && m != masks[1] && m != masks[2]) __builtin_trap();
    }
    return 0;
}
