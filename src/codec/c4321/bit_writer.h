#pragma once
// Bit writer for the encoder: most significant bit first, appended to a byte vector that is
// reused from picture to picture (no allocation once it has grown to the largest picture).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvel::codec::c4321 {

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) { out_.clear(); }

    // Appends the low `count` bits (0..32) of `value`.
    void put(uint32_t value, int count) {
        if (count <= 0) return;
        if (count < 32) value &= (1u << count) - 1;
        accumulator_ = (accumulator_ << count) | value;
        pending_bits_ += count;
        while (pending_bits_ >= 8) {
            pending_bits_ -= 8;
            out_.push_back(static_cast<uint8_t>(accumulator_ >> pending_bits_));
        }
    }

    // Pads with zero bits to the next byte boundary.
    void flush() {
        if (pending_bits_ > 0) put(0, 8 - pending_bits_);
    }

    size_t bit_count() const { return out_.size() * 8 + static_cast<size_t>(pending_bits_); }

private:
    std::vector<uint8_t>& out_;
    uint64_t accumulator_ = 0;
    int pending_bits_ = 0;
};

}  // namespace orvel::codec::c4321
