#include "AllocatorTuning.h"

#include <malloc.h>

namespace norvane {

void limitAllocatorRetention() {
#ifdef __GLIBC__
    // Two arenas serve the main thread and the few workers; a fixed threshold stops glibc's dynamic
    // adjustment, so every image buffer (a 1024 px frame is 4 MB) is its own mapping, given back on free.
    mallopt(M_ARENA_MAX, 2);
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
}

} // namespace norvane
