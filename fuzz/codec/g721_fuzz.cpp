// Arbitrary codes through the G.721 decoder: no overflow trap, no read past the input. Each
// input starts from the program's all-zero state (a state carried over from earlier inputs
// would make a finding impossible to reproduce from its input alone); the first byte picks
// the standard's reset state instead, as `dvrtool audio --standard-reset` uses it.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codec/g721.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 64 * 1024) return 0;
    auto state = std::make_unique<orvel::codec::AudioDecoderState>();
    if (data[0] & 1) state->codec = orvel::codec::g721_standard_reset_state();
    // Exact-size copies of the codes and of the output.
    const std::vector<uint8_t> codes(data + 1, data + size);
    std::vector<int16_t> out(codes.size() * 2);
    orvel::codec::audio_decode(*state, out.data(), codes.data(), codes.size());
    return 0;
}
