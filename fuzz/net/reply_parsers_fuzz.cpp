// Feeds arbitrary bytes, cut into reads of fuzzer-chosen sizes, through the reply
// reassembly and every reply parser, as a connection's reader does.
#include <cstddef>
#include <cstdint>
#include <span>

#include "net/day_index.h"
#include "net/protocol.h"
#include "net/reply_assembler.h"

namespace {
constexpr std::size_t kMaxInputBytes = 1 << 18;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > kMaxInputBytes) return 0;
    using namespace orvel::net;
    static ReplyAssembler assembler;
    assembler.reset();
    DayIndex index;
    const std::size_t step = 1 + data[0] % 64;  // read sizes, so split replies are exercised
    auto handle = [&](std::span<const std::uint8_t> m) {
        if (m.empty()) return;
        LoginReply login;
        PresetReply presets;
        RecordingDays days;
        switch (m[0]) {
            case kTypeLogin:
                if (parse_login_reply(m, login) && login.cameras.size() > kMaxCameras)
                    __builtin_trap();
                break;
            case kTypePresetNames:
                if (parse_preset_reply(m, presets) && presets.camera_index >= kMaxCameras)
                    __builtin_trap();
                break;
            case kTypeRecordingDays:
                parse_recording_days(m, days);
                break;
            default:
                index.add_reply(m);
                if (index.rows().size() > kMaxDayIndexRows) __builtin_trap();
                break;
        }
    };
    for (std::size_t at = 1; at < size; at += step) {
        const std::size_t n = size - at < step ? size - at : step;
        assembler.feed({data + at, n}, handle);
    }
    return 0;
}
