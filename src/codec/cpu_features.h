#pragma once
// Processor features, detected once at start-up by decoder_table_init and read-only afterwards.

namespace orvel::codec {

struct CpuFeatures {
    bool mmx = false;
    bool mmxext = false;
    bool sse2 = false;
    bool sse3 = false;
};

// Queries the processor (cpuid). Any thread; cheap, but callers keep the result.
CpuFeatures detect_cpu_features();

}  // namespace orvel::codec
