// Day-index replies, as hostile as they come, accumulated into the day index and the
// timeline built on it: the first byte picks how the input is cut into messages (several
// replies in a row, as a search receives them); then the timeline is driven across the day.
// Traps when a row holds more than its bound, an entry at no time of the day, or a list
// out of order, or when more than 36 rows are kept.
#include <cstddef>
#include <cstdint>
#include <span>

#include "media/timeline/day_index.h"
#include "media/timeline/timeline.h"

namespace {

constexpr std::size_t kMaxInputBytes = 1 << 18;

struct NoPanes : orvel::media::RemotePaneHooks {
    bool open_remote_pane(int) override { return true; }
    bool play_remote_file(int, const std::string&, int, int offset_s) override {
        if (offset_s < 0) __builtin_trap();
        return true;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvel::media;
    if (size < 1 || size > kMaxInputBytes) return 0;
    const std::size_t piece = 6 + data[0] * 16;
    DayIndex index;
    for (std::size_t at = 1; at < size; at += piece) {
        const std::size_t n = size - at < piece ? size - at : piece;
        index.add_reply({data + at, n});
    }
    if (index.rows().size() > static_cast<std::size_t>(kMaxDayIndexRows)) __builtin_trap();
    for (const auto& row : index.rows()) {
        if (row.segments.size() > static_cast<std::size_t>(kMaxSegmentsPerRow)) __builtin_trap();
        for (std::size_t i = 0; i < row.segments.size(); ++i) {
            const auto& s = row.segments[i];
            if (s.hour > 23 || s.minute > 59 || s.second > 59 || s.length_s > kMaxSegmentLengthS)
                __builtin_trap();
            if (i > 0 && row.segments[i - 1].start_s() > s.start_s()) __builtin_trap();
        }
    }
    NoPanes panes;
    Timeline t(panes, 36, "09-03-07");
    t.resize(600, 94);
    t.set_rows(index);
    t.all_box_clicked(true);
    for (int x = 0; x < 600; x += 37) {
        t.press(x, 5);
        t.release(x);
        t.tick();
    }
    // Each camera steps through its recordings to the last one, then reports none left.
    for (int row = 0; row < kMaxDayIndexRows; ++row) {
        const int camera = t.row_camera(row);
        const std::size_t steps = t.row_segments(row).size() + 1;
        for (std::size_t i = 0; camera > 0 && i < steps && t.next_segment(camera - 1); ++i) {
        }
    }
    for (int row = 0; row < kMaxDayIndexRows; ++row)
        for (const auto& s : t.row_segments(row)) {
            BarRect bar;
            if (segment_bar(t.view(), 1, s, bar) && (bar.right <= bar.left || bar.left < 60))
                __builtin_trap();
        }
    return 0;
}
