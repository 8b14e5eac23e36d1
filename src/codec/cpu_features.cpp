#include "codec/cpu_features.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace orvel::codec {

CpuFeatures detect_cpu_features() {
    CpuFeatures f;
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
        f.mmx = (edx & bit_MMX) != 0;
        f.sse2 = (edx & bit_SSE2) != 0;
        f.sse3 = (ecx & bit_SSE3) != 0;
        // SSE implies the extended MMX instructions.
        f.mmxext = (edx & bit_SSE) != 0;
    }
#endif
    return f;
}

}  // namespace orvel::codec
