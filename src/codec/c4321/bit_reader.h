#pragma once
// Bounded bit reader: bits are taken most significant first (the order of 32-bit big-endian
// words read one after another). Reads past the end of the buffer give zero bits and never
// touch memory outside it; `overrun()` tells afterwards whether that happened.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orvel::codec::c4321 {

class BitReader {
public:
    BitReader(const uint8_t* data, size_t length_bytes)
        : data_(data), length_bytes_(data == nullptr ? 0 : length_bytes) {
        reload();
    }

    // The next `count` bits (1..32) without consuming them.
    uint32_t peek(int count) const {
        return static_cast<uint32_t>((window_ << (position_bits_ - window_start_bits_)) >> (64 - count));
    }

    // Consumes `count` bits (0..32).
    void skip(int count) {
        position_bits_ += static_cast<size_t>(count);
        if (position_bits_ - window_start_bits_ > 32) reload();
    }

    uint32_t read(int count) {
        const uint32_t value = peek(count);
        skip(count);
        return value;
    }

    uint32_t read_bit() { return read(1); }

    void align_to_byte() {
        position_bits_ = (position_bits_ + 7) & ~static_cast<size_t>(7);
        if (position_bits_ - window_start_bits_ > 32) reload();
    }

    size_t position_bits() const { return position_bits_; }
    size_t bytes_used() const { return (position_bits_ + 7) / 8; }
    bool overrun() const { return position_bits_ > length_bytes_ * 8; }

private:
    // Loads the 64 bits starting at the byte of the current position, zeros beyond the buffer
    // end. Afterwards the position lies at most 7 bits into the window, and the window serves
    // every peek of up to 32 bits until the position is more than 32 bits into it.
    void reload() {
        window_start_bits_ = position_bits_ & ~static_cast<size_t>(7);
        const size_t byte = window_start_bits_ >> 3;
        uint64_t value = 0;
        if (byte + 8 <= length_bytes_) {
#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            std::memcpy(&value, data_ + byte, sizeof value);
            value = __builtin_bswap64(value);
#else
            for (int i = 0; i < 8; ++i) value = (value << 8) | data_[byte + i];
#endif
        } else {
            for (size_t i = 0; i < 8; ++i) {
                const size_t at = byte + i;
                value = (value << 8) | (at < length_bytes_ ? data_[at] : 0u);
            }
        }
        window_ = value;
    }

    const uint8_t* data_;
    size_t length_bytes_;
    size_t position_bits_ = 0;
    size_t window_start_bits_ = 0;
    uint64_t window_ = 0;
};

}  // namespace orvel::codec::c4321
