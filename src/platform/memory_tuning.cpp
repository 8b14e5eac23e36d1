#include "platform/memory_tuning.h"

#include <malloc.h>

namespace orvel::platform {

void tune_allocator_for_streaming() {
    // Buffers up to 32 MiB come from the heaps, and up to 64 MiB freed at a heap's top stay
    // there. Fixed values also stop the allocator from moving these limits by itself.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
}

}  // namespace orvel::platform
