// Arbitrary requests against the simulated DVR's answering code, with a scenario
// that has cameras, presets and recordings to reply with.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "replies.h"
#include "scenario.h"

namespace {
constexpr std::size_t kMaxInputBytes = 4096;  // the server refuses longer requests

const dvrsim::Scenario& scenario() {
    static const dvrsim::Scenario s = [] {
        dvrsim::Scenario t;
        std::string error;
        dvrsim::load_scenario_text(
            "user admin 1234\ndevice 6\nswitch 6\ncamera 1 A\ncamera 36 "
            "123456789012345678901234567890123456789\nmask 0xFFFF\npreset 1 15 P\n"
            "recording 3 2009-03-07 D 08:00:00 300 1\nrecording 3 2009-03-07 09:00:00 9999 0\n",
            t, error);
        return t;
    }();
    return s;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6 || size > kMaxInputBytes) return 0;
    std::vector<std::uint8_t> out;
    std::vector<std::size_t> ends;
    dvrsim::answer_request(scenario(), data, size, out, ends);
    std::size_t from = 0;
    for (std::size_t end : ends) {
        // Every reply is whole and carries its own length.
        if (end < from + 6 || end > out.size()) __builtin_trap();
        if (static_cast<std::size_t>(out[from + 4] | (out[from + 5] << 8)) != end - from)
            __builtin_trap();
        from = end;
    }
    return 0;
}
