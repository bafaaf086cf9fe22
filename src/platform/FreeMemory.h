// Handing memory the program has freed back to the system.
#pragma once

#if defined(__GLIBC__)
#include <malloc.h>
#endif

// Returns the free pages of every allocator arena to the system. glibc keeps what was freed in the middle
// of its heaps (and in the heaps of worker threads) as the process's own dirty memory; after a large
// list or document has been let go of, that is most of what the program holds. Costs a walk over the
// free lists: call it after such a release, not in a loop.
inline void releaseFreeMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// Fixes the sizes above which glibc maps a block of its own and gives the free end of a heap back. Left to
// itself it raises both after each large block is freed (to 32 and 64 MB), after which the free end of a
// worker thread's heap (where a store was decoded) is never given back, not even by releaseFreeMemory().
// Also bounds the heaps themselves: every thread that allocates would get one of its own (up to eight per
// core), each keeping its dirty pages after the thread has ended; two, shared by all threads, hold about
// 0.1 MB less in an idle program, and glibc's per-thread caches in front of them keep the small
// allocations of threads working at once from waiting on each other.
// Call once, first thing in the process, before any thread starts.
inline void limitRetainedFreeMemory() {
#if defined(__GLIBC__)
    constexpr int kBlockBytes = 1 << 20;
    mallopt(M_MMAP_THRESHOLD, kBlockBytes);
    mallopt(M_TRIM_THRESHOLD, kBlockBytes);
    mallopt(M_ARENA_MAX, 2);
#endif
}
