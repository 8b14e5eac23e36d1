#include "codec/c4321/routines.h"

namespace orvel::codec::c4321 {
const RoutineSet* avx2_routines() { return nullptr; }
}  // namespace orvel::codec::c4321
