// Cuts the byte stream of a command connection into whole replies by their
// `length` field, so replies that TCP splits or joins are each handled as one
// message. A `length` below the header size cannot be trusted: the rest of that
// read is then handed on as one message, as a DVR that relies on one message per
// read expects. One assembler per connection, used by that connection's reader
// thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace orvel::net {

class ReplyAssembler {
public:
    static constexpr std::size_t kBufferBytes = 262144;

    ReplyAssembler();

    // Adds one read's bytes and calls `on_message` for every reply completed by it.
    // The span passed to `on_message` is valid only during the call.
    void feed(std::span<const std::uint8_t> bytes,
              const std::function<void(std::span<const std::uint8_t>)>& on_message);

    std::size_t pending_bytes() const { return used_; }
    void reset() { used_ = 0; }

private:
    std::vector<std::uint8_t> buffer_;  // allocated once
    std::size_t used_ = 0;
};

}  // namespace orvel::net
