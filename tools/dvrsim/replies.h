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

// `msg` holds `length` bytes (at least 6) of one request. Fills `out` with the replies
// back to back and `ends` with the end offset of each; returns the decoded log line.
std::string answer_request(const Scenario& scenario, const std::uint8_t* msg, std::size_t length,
                           std::vector<std::uint8_t>& out, std::vector<std::size_t>& ends);

}  // namespace dvrsim
