// The allocator settings the show runs with (large blocks are always mapped on
// their own, so the heap does not grow from one show to the next), the heap
// start-up loads into, and the process's resident memory, now and at its peak.
#include "platform/platform.h"
#include <stdio.h>
#include <string.h>
#if defined(__GLIBC__)
#include <malloc.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

// glibc raises its mmap threshold to the size of each mapped block that is
// freed, so after the first few the GL driver's vertex-buffer storage (renewed
// for every blended mesh draw: sixteen broken jugs of 135 kB each in a frame
// of scene 9) is carved from the heap instead, which fragments and grew by
// about 1.2 MB during a second show in one process. A fixed threshold keeps
// those blocks out of the heap: three shows then end at the same resident
// memory, for about 0.1 ms a frame of extra mapping at 640 x 360.
// Fixing it also fixes the trim threshold at 128 kB: the heap's top was then
// given back and taken again every frame (a brk each way, page faults, and a
// TLB flush on every core), which with ImGui's blocks in the heap cost a
// frame at 640 x 360 as much as 18 ms. Up to HeapKeepBytes free at the top stay.
int pinMmapThreshold(void)
{
#if defined(__GLIBC__)
    return mallopt(M_TRIM_THRESHOLD, HeapKeepBytes) == 1 && mallopt(M_MMAP_THRESHOLD, LargeBlockBytes) == 1;
#else
    return 0;
#endif
}

#if defined(__GLIBC__)
// ---- state: the loading heap ---------------------------------------------------
// The range of the heap advised for huge pages while loading (low == high:
// none); the main thread alone sets it.
static uintptr_t loadingHeapLow, loadingHeapHigh;

enum { HugePageBytes = 2 * 1024 * 1024 };
static uintptr_t hugePageDown(uintptr_t at) { return at & ~(uintptr_t)(HugePageBytes - 1); }

// Start-up touches about 200 MB of fresh memory (the driver zeroes every
// texture's storage as it makes it, the decoded files, the post buffers), one
// page fault per 4 kB page. Where a virtual machine backs its memory only when
// first touched, a fault costs about 10 us: 68,000 of them were two thirds of
// a 0.95 s start-up at 1280 x 720. While loading, every block comes from the
// one heap, shared by all threads, whose free top is advised for transparent
// huge pages: a fault per 2 MB, and blocks freed by one row serve the next.
int beginLoadingHeap(void)
{
    if (mallopt(M_ARENA_MAX, 1) != 1 || mallopt(M_MMAP_MAX, 0) != 1) return 0;
    mallopt(M_TRIM_THRESHOLD, 2 * LoadingHeapBytes);   // over the reserve: freeing it keeps it
    // Grows the heap by the reserve (address space only until touched) and
    // frees it again: the free top the loading blocks are then carved from.
    void* reserve = malloc(LoadingHeapBytes);
    if (!reserve) {
        endLoadingHeap();
        return 0;
    }
    uintptr_t low = hugePageDown((uintptr_t)reserve + HugePageBytes - 1);
    uintptr_t high = hugePageDown((uintptr_t)sbrk(0));
    if (high > low && high - low <= (uintptr_t)LoadingHeapBytes + HugePageBytes &&
        madvise((void*)low, high - low, MADV_HUGEPAGE) == 0) {
        loadingHeapLow = low;
        loadingHeapHigh = high;
    }
    free(reserve);
    return loadingHeapHigh > loadingHeapLow;
}

// Back to the run's settings; the heap's unused top is given back, and the
// advice taken off so that later pages of the heap stay small.
void endLoadingHeap(void)
{
    if (loadingHeapHigh > loadingHeapLow)
        madvise((void*)loadingHeapLow, loadingHeapHigh - loadingHeapLow, MADV_NOHUGEPAGE);
    loadingHeapLow = loadingHeapHigh = 0;
    // glibc's own defaults: new threads (a capture's writer) get heaps of their
    // own again; those that loaded keep the one they share.
    mallopt(M_MMAP_MAX, 65536);
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    mallopt(M_ARENA_MAX, 8 * (int)(cores > 0 ? cores : 1));
    pinMmapThreshold();
    malloc_trim(0);
}
#else
int beginLoadingHeap(void) { return 0; }
void endLoadingHeap(void) {}
#endif

void giveBackFreeMemory(void)
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// One "Vm...:" field of /proc/self/status in kB; 0 when it cannot be read.
static long statusFieldKb(const char* field)
{
    FILE* file = fopen("/proc/self/status", "r");
    if (!file) return 0;
    char line[256];
    size_t length = strlen(field);
    long kb = 0;
    while (fgets(line, sizeof line, file))
        if (strncmp(line, field, length) == 0 && sscanf(line + length, "%ld", &kb) != 1) kb = 0;
    fclose(file);
    return kb;
}

long peakResidentKb(void) { return statusFieldKb("VmHWM:"); }
long residentKb(void) { return statusFieldKb("VmRSS:"); }
