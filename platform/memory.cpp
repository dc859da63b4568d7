// The allocator setting the show runs with (large blocks are always mapped on
// their own, so the heap does not grow from one show to the next) and the
// process's resident memory, now and at its peak.
#include "platform/platform.h"
#include <stdio.h>
#include <string.h>
#if defined(__GLIBC__)
#include <malloc.h>
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
