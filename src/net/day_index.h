// The day index of the remote search: the recording lists of one day per camera, parsed
// from the DVR's day-index replies (media/timeline/day_index.h holds the parser, which the
// timeline shares).
#pragma once

#include "media/timeline/day_index.h"

namespace orvel::net {

using media::DayIndex;
using media::DayIndexRow;
using media::kMaxDayIndexRows;
using media::kMaxSegmentLengthS;
using Segment = media::RecordingSegment;

}  // namespace orvel::net
