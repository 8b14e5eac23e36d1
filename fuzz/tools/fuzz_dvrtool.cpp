// dvrtool's commands on an arbitrary file: `info`, `frames` (a decoder made from the header's
// size, every picture written), `audio` and `verify` (`export`, an encoder run per input, is
// left to its own tests). The file is written to a folder of this
// process; the outputs go to /dev/null.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

#include "dvrtool.h"

namespace {

constexpr std::size_t kMaxInputBytes = 1 << 20;

// The entry point under test; retarget here when it changes.
int run(int argc, const char* const* argv) {
    std::ostringstream out, err;
    return orvel::tools::run_dvrtool(argc, argv, out, err);
}

const std::string& input_path() {
    static const std::string path = [] {
        char dir[] = "/tmp/orvel-fuzz-dvrtool-XXXXXX";
        const char* made = ::mkdtemp(dir);
        return std::string(made != nullptr ? made : "/tmp") + "/input.dvr";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInputBytes) return 0;
    const std::string& path = input_path();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    const bool written = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !written) return 0;
    const char* info[] = {"dvrtool", "info", path.c_str()};
    run(3, info);
    const char* frames[] = {"dvrtool", "frames", path.c_str(), "/dev/null"};
    run(4, frames);
    const char* audio[] = {"dvrtool", "audio", path.c_str(), "/dev/null"};
    run(4, audio);
    const char* verify[] = {"dvrtool", "verify", path.c_str()};
    run(3, verify);
    return 0;
}
