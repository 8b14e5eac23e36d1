// The DVR simulator's file-port request: any 76 bytes either name a recording of the
// scenario by its exact path or are refused; the frames planned for a request never start
// past the recording's end, whatever the offset and mode.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "file_request.h"
#include "scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dvrsim;
    static const Scenario scenario = [] {
        Scenario s;
        std::string error;
        load_scenario_text(
            "recording 3 2009-03-07 D 10:15:00 600 0\nrecording 1 2009-03-07 08:00:00 5 1\n"
            "recording 1 2009-03-07 08:00:05 65535 0\n",
            s, error);
        return s;
    }();
    std::uint8_t request[kFileRequestBytes] = {};
    std::memcpy(request, data, size < sizeof request ? size : sizeof request);
    FileRequest r;
    if (!parse_file_request(request, r)) return 0;
    if (r.path.empty() || r.path.size() >= static_cast<std::size_t>(kFileRequestPathBytes))
        __builtin_trap();
    const SimRecording* rec = find_recording(scenario, r.path);
    if (rec == nullptr) return 0;
    if (recording_path(*rec) != r.path) __builtin_trap();
    const int gop = size > kFileRequestBytes ? data[kFileRequestBytes] : 25;
    const FilePlan plan = plan_file_stream(*rec, r.start_s, r.mode, gop);
    if (plan.first_frame < 0 || plan.first_frame > plan.end_frame) __builtin_trap();
    if (plan.speed != 1 && plan.speed != kFastPlayFactor) __builtin_trap();
    return 0;
}
