// Arbitrary scenario text into the simulator's scenario reader, then the scenario's own data
// through the replies it makes: a login of each user, the recording-day query of each month
// and the day-index query of each recording. Every reply must be whole and carry its length.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/protocol.h"
#include "replies.h"
#include "scenario.h"

namespace {

constexpr std::size_t kMaxInputBytes = 8192;
constexpr int kMaxQueries = 16;

// The entry points under test; retarget here when they move.
bool load(const std::string& text, dvrsim::Scenario& s) {
    std::string error;
    return dvrsim::load_scenario_text(text, s, error);
}
void answer(const dvrsim::Scenario& s, const orvel::net::Request& request) {
    std::vector<std::uint8_t> out;
    std::vector<std::size_t> ends;
    dvrsim::answer_request(s, request.bytes.data(), request.length_bytes, out, ends);
    std::size_t from = 0;
    for (std::size_t end : ends) {
        if (end < from + 6 || end > out.size()) __builtin_trap();
        if (static_cast<std::size_t>(out[from + 4] | (out[from + 5] << 8)) != end - from)
            __builtin_trap();
        from = end;
    }
    if (from != out.size()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInputBytes) return 0;
    using namespace orvel::net;
    dvrsim::Scenario s;
    load(std::string(reinterpret_cast<const char*>(data), size), s);
    if (s.camera_count() < 0) __builtin_trap();
    int queries = 0;
    for (const auto& [user, password] : s.users) {
        if (++queries > kMaxQueries) break;
        answer(s, build_login(user, password));
    }
    for (const auto& [year_month, mask] : s.day_masks) {
        if (++queries > 2 * kMaxQueries) break;
        (void)mask;
        answer(s, build_recording_days_query({year_month / 100, year_month % 100, 1}));
    }
    for (const auto& r : s.recordings) {
        if (++queries > 3 * kMaxQueries) break;
        s.month_mask(r.year, r.month);
        answer(s, build_recording_days_query({r.year, r.month, r.day}));
        answer(s, build_day_index_query(r.camera, {r.year, r.month, r.day}));
    }
    for (int camera = 1; camera <= s.camera_count() && camera <= 64; ++camera)
        s.stream.settings_for(camera);
    return 0;
}
