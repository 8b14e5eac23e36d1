// The simulated DVR's answers: decodes one whole request (never trusting its fields)
// into a log line and the replies to send, encoded on their own here so that a layout
// mistake shared with the client's parser cannot hide. Thread: any (pure function).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scenario.h"

namespace dvrsim {

// What a request asks the DVR to change besides answering it; the server applies it.
struct RequestEffect {
    bool stream_select = false;  // types 60 (main) and 61 (sub)
    bool main_stream = false;
    std::uint32_t stream_id = 0;
};

// `msg` holds `length` bytes (at least 6) of one request. Fills `out` with the replies
// back to back and `ends` with the end offset of each, and `effect` (when given) with the
// change the request asks for; returns the decoded log line.
std::string answer_request(const Scenario& scenario, const std::uint8_t* msg, std::size_t length,
                           std::vector<std::uint8_t>& out, std::vector<std::size_t>& ends,
                           RequestEffect* effect = nullptr);

}  // namespace dvrsim
