// The structure check on arbitrary bytes: it ends with a verdict and never reads outside the
// file.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/dvr_verify.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvel::media;
    if (size > (1u << 20)) return 0;
    const std::vector<uint8_t> bytes(data, data + size);
    MemoryDvrSource source(bytes.data(), bytes.size());
    const VerifyReport r = verify_dvr(source);
    if (r.verdict == VerifyVerdict::damaged && r.problems.empty()) __builtin_trap();
    if (r.verdict != VerifyVerdict::damaged && !r.problems.empty()) __builtin_trap();
    return 0;
}
