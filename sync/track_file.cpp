// The .track key format: one decoder, strict for the reloader and the track
// tool, tolerant for the loader, and the loader's file reader on top of it.
#include "platform/platform.h"
#include "sync/sync.h"
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { KeyBytes = 9, HeadBytes = 4 };

static int32_t readLe32(const unsigned char* p)
{
    uint32_t v = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
    int32_t out;
    memcpy(&out, &v, 4);
    return out;
}

static void decodeKey(const unsigned char* raw, SyncKey* key)
{
    key->row = readLe32(raw);
    int32_t bits = readLe32(raw + 4);
    memcpy(&key->value, &bits, 4);
    key->type = (signed char)raw[8];
}

static int refuse(char* why, int whySize, const char* format, ...)
{
    if (!why || whySize <= 0) return -1;
    va_list args;
    va_start(args, format);
    vsnprintf(why, (size_t)whySize, format, args);
    va_end(args);
    return -1;
}

// The keys the bytes hold whole, at most the declared count: a damaged count
// never reads past the data.
static long keysHeld(size_t size, long declared)
{
    if (declared <= 0 || size < HeadBytes) return 0;
    size_t whole = (size - HeadBytes) / KeyBytes;
    return whole < (size_t)declared ? (long)whole : declared;
}

static int checkStrict(const unsigned char* bytes, size_t size, long declared, long capacity, char* why, int whySize)
{
    if (size < HeadBytes) return refuse(why, whySize, "%zu bytes, too short for a key count", size);
    if (declared < 0 || size != HeadBytes + KeyBytes * (size_t)declared)
        return refuse(why, whySize, "it claims %ld keys but holds %zu bytes (4 + 9 per key)", declared, size);
    if (declared > capacity) return refuse(why, whySize, "it holds %ld keys, more than %ld", declared, capacity);
    for (long i = 0; i < declared; i++) {
        const unsigned char* raw = bytes + HeadBytes + KeyBytes * (size_t)i;
        signed char type = (signed char)raw[8];
        if (type < 0 || type > 3) return refuse(why, whySize, "key %ld has type %d (0 to 3)", i, type);
        if (i > 0 && readLe32(raw) <= readLe32(raw - KeyBytes))
            return refuse(why, whySize, "key %ld (row %d) does not come after row %d", i, readLe32(raw),
                          readLe32(raw - KeyBytes));
    }
    return 0;
}

int decodeTrackKeys(const unsigned char* bytes, size_t size, int strict, SyncKey* keys, long capacity, char* why,
                    int whySize)
{
    if (!bytes) size = 0;
    long declared = size >= HeadBytes ? readLe32(bytes) : -1;
    if (strict && checkStrict(bytes, size, declared, capacity, why, whySize) < 0) return -1;
    long count = keysHeld(size, declared);
    if (count > capacity) count = capacity;
    if (!keys) return (int)count;   // a check only
    for (long i = 0; i < count; i++) decodeKey(bytes + HeadBytes + KeyBytes * (size_t)i, &keys[i]);
    return (int)count;
}

int readTrackFile(const char* path, SyncTrack* track)
{
    if (!path || !track) return 0;
    unsigned char* bytes = nullptr;
    size_t size = 0;
    if (readWholeFile(path, TrackFileLimit, &bytes, &size) != 1) return 0;
    free(track->keys);
    track->keys = nullptr;
    track->keyCount = 0;
    long declared = size >= HeadBytes ? readLe32(bytes) : 0;
    if (size < HeadBytes) logMessage("sync: <%s> is damaged, it has no key count\n", path);
    long held = keysHeld(size, declared);
    if (held > 0) track->keys = (SyncKey*)malloc(sizeof(SyncKey) * (size_t)held);
    int got = track->keys ? decodeTrackKeys(bytes, size, 0, track->keys, held, nullptr, 0) : 0;
    track->keyCount = got;
    if (got != declared) logMessage("sync: <%s> is damaged, %d of %d keys kept\n", path, got, (int)declared);
    free(bytes);
    return 1;
}
