#pragma once
// dvrtool: `info`, `frames` and `audio` commands on .dvr files. The commands write their
// report to `out` and their errors to `err`, and return the process exit code.
#include <iosfwd>

namespace orvel::tools {

enum DvrToolExit : int {
    kExitOk = 0,
    kExitUsage = 1,    // bad command line
    kExitIo = 2,       // input missing or unreadable, output not writable
    kExitDamaged = 3,  // malformed or damaged file
    kExitDecoder = 4,  // no decoder for the file's picture size or type
};

int run_dvrtool(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace orvel::tools
