// Files: reading a whole file with a size limit (every data file is
// untrusted), and the data directory that is put in front of data file names.
#include "platform/platform.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// ---- state: the data directory ---------------------------------------------------
// Set once at start-up; dataPath measures it at its first use and keeps that
// length, so it must not change afterwards.
static const char* dataDirectory = "";
static const char* dataPrefix = nullptr;   // what dataPath uses, fixed at its first call
static size_t dataPrefixLength = 0;

// Returns 1 with *data (one zero byte past *size, free()), 0 when the file
// cannot be opened, -1 when reading it or memory failed or the file holds
// more than limit bytes (at most limit + 1 bytes are ever read or allocated
// beyond the first block).
int readWholeFile(const char* path, size_t limit, unsigned char** data, size_t* size)
{
    FILE* file = path ? fopen(path, "rb") : nullptr;
    if (!file) return 0;
    size_t capacity = 1 << 16, used = 0;
    unsigned char* buffer = (unsigned char*)malloc(capacity + 1);
    while (buffer) {
        used += fread(buffer + used, 1, capacity - used, file);
        if (used < capacity || used > limit) break;
        if (capacity > ((size_t)-1) / 4) {
            free(buffer);
            buffer = nullptr;
            break;
        }
        unsigned char* bigger = (unsigned char*)realloc(buffer, capacity * 2 + 1);
        if (!bigger) {
            free(buffer);
            buffer = nullptr;
            break;
        }
        buffer = bigger;
        capacity *= 2;
    }
    int failed = !buffer || ferror(file) || used > limit;
    fclose(file);
    if (failed) {
        free(buffer);
        return -1;
    }
    buffer[used] = 0;
    *data = buffer;
    *size = used;
    return 1;
}

void setDataDirectory(const char* directory)
{
    dataDirectory = directory ? directory : "";
}

const char* dataDirectoryInUse(void)
{
    return dataPrefix ? dataPrefix : dataDirectory;
}

// Returns 1, or 0 (logged, text untouched) when prefix and name do not fit.
int dataPath(char* text, int capacity)
{
    if (!dataPrefix) {
        dataPrefix = dataDirectory;
        dataPrefixLength = strlen(dataPrefix);
    }
    if (!text || capacity <= 0) return 0;
    size_t length = strnlen(text, (size_t)capacity);
    if (length >= (size_t)capacity || dataPrefixLength + length + 1 > (size_t)capacity) {
        logMessage("data path: <%s%.*s> does not fit in %d bytes, refused\n", dataPrefix, (int)length, text,
                   capacity);
        return 0;
    }
    memmove(text + dataPrefixLength, text, length + 1);
    memcpy(text, dataPrefix, dataPrefixLength);
    return 1;
}
