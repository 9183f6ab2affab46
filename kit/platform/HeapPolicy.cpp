#include "HeapPolicy.h"

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace ostrel {

void applyHeapPolicy()
{
#if defined(__GLIBC__)
    // Blocks up to the largest the heap may take (32 MiB on 64-bit systems)
    // come from the heap, not each from its own mapping: a row list of
    // 100,000 rows, a table's block buffers. Up to 64 MiB of free memory at
    // the heap's top stays for the next listing rather than going back.
    constexpr int kMmapThreshold = 32 * 1024 * 1024;
    constexpr int kTrimThreshold = 64 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
    mallopt(M_TRIM_THRESHOLD, kTrimThreshold);
    // Small blocks are merged with their free neighbours when freed, not
    // kept apart to be merged in one sweep by the next large request: after
    // a large folder's rows go, that sweep over hundreds of thousands of
    // texts held up the next listing by tens of milliseconds.
    mallopt(M_MXFAST, 0);
    // Hints only: a refused setting leaves glibc's own choice.
#endif
}

void reserveThreadHeap()
{
#if defined(__GLIBC__)
    // With the policy above: below the mapping threshold, so it comes from
    // this thread's heap and, freed, stays there as room (the trim threshold
    // is larger). Without it, the room is simply given back.
    constexpr size_t kRoom = 16 * 1024 * 1024;
    void *room = malloc(kRoom);
    if (!room)
        return;
    static_cast<volatile char *>(room)[0] = 0;  // a use, so the pair is not optimised away
    free(room);
#endif
}

}  // namespace ostrel
