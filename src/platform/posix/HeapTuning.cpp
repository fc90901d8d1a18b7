#include "platform/posix/HeapTuning.h"

#include <cstdlib> // says whether the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace qm {

void KeepFileBuffersInTheHeap() {
#if defined(__GLIBC__)
    // Setting the trim threshold alone would stop glibc from raising the mapping threshold
    // by itself, and every buffer would be mapped: both are set.
    mallopt(M_MMAP_THRESHOLD, 2 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 4 * 1024 * 1024);
#endif
}

} // namespace qm
