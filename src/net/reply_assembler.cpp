#include "net/reply_assembler.h"

#include <algorithm>
#include <cstring>

#include "net/protocol.h"

namespace orvel::net {

ReplyAssembler::ReplyAssembler() : buffer_(kBufferBytes) {}

void ReplyAssembler::feed(std::span<const std::uint8_t> bytes,
                          const std::function<void(std::span<const std::uint8_t>)>& on_message) {
    while (!bytes.empty()) {
        const std::size_t take = std::min(bytes.size(), buffer_.size() - used_);
        std::memcpy(buffer_.data() + used_, bytes.data(), take);
        used_ += take;
        bytes = bytes.subspan(take);

        std::size_t at = 0;
        while (used_ - at >= kHeaderBytes) {
            const std::size_t length = read_u16(&buffer_[at + 4]);
            if (length < kHeaderBytes) {
                // No usable length: everything buffered so far is one message.
                on_message({buffer_.data() + at, used_ - at});
                at = used_;
                break;
            }
            if (used_ - at < length) break;
            on_message({buffer_.data() + at, length});
            at += length;
        }
        if (at > 0) {
            std::memmove(buffer_.data(), buffer_.data() + at, used_ - at);
            used_ -= at;
        }
        // A 16-bit length always fits the buffer, so a full buffer cannot happen
        // while a message is pending; guard anyway against looping forever.
        if (used_ == buffer_.size()) {
            on_message({buffer_.data(), used_});
            used_ = 0;
        }
    }
}

}  // namespace orvel::net
