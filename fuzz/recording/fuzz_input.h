#pragma once
// Reading a fuzz input as a script: bytes and little-endian words, zeros past its end.
#include <cstddef>
#include <cstdint>

namespace orvel::fuzz {

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t byte() { return at < size ? data[at++] : 0; }
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(byte()) << (8 * i);
        return v;
    }
    bool done() const { return at >= size; }
};

}  // namespace orvel::fuzz
