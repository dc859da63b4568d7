// libFuzzer target: the sync track reader and evaluation on arbitrary bytes.
// The reader takes a path, so the bytes go through an in-memory file.
#include "sync/sync.h"
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int fd = -1;
    static char path[64];
    if (fd < 0) {
        fd = memfd_create("track", 0);
        if (fd < 0) abort();
        snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    }
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != (ssize_t)size) abort();
    SyncTrack track = {nullptr, nullptr, 0};
    if (readTrackFile(path, &track) != 1) abort();
    // A damaged file may keep only whole keys: never more than the bytes hold.
    if (track.keyCount < 0 || (size_t)track.keyCount * 9 + 4 > (size < 4 ? 4 : size)) abort();
    // Evaluate around and between every key, touching each one read.
    double rows[] = {-1e12, -1.0, 0.0, 0.5, 7.25, 1e12};
    for (double row : rows) (void)trackValue(&track, row);
    for (int i = 0; i < track.keyCount; i++) {
        (void)trackValue(&track, track.keys[i].row + 0.5);
        if (findKey(&track, track.keys[i].row) < -track.keyCount - 1) abort();
    }
    free(track.keys);
    // The strict decoder takes the same bytes whole or not at all.
    SyncKey keys[64];
    char why[160];
    int strict = decodeTrackKeys(data, size, 1, keys, 64, why, sizeof why);
    if (strict > 64 || (strict >= 0 && (size_t)strict * 9 + 4 != size)) abort();
    return 0;
}
