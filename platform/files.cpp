// Files: the one check every data file passes before it is read (a regular
// file within its kind's size limit), reading a whole file with that check,
// and the data directory that is put in front of data file names.
#include "platform/platform.h"
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

// ---- state: the data directory ---------------------------------------------------
// Set once at start-up; dataPath measures it at its first use and keeps that
// length, so it must not change afterwards.
static const char* dataDirectory = "";
static const char* dataPrefix = nullptr;   // what dataPath uses, fixed at its first call
static size_t dataPrefixLength = 0;

const char* dataFileRefusal(unsigned mode, uint64_t size, uint64_t limit)
{
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISSOCK(mode)) return "a socket";
    if (!S_ISREG(mode)) return "not a regular file";
    if (size > limit) return "larger than its limit";
    return nullptr;
}

// Logs the refusal of one file with what it is and the limit that applied.
static void logRefusal(const char* path, const char* reason, uint64_t size, uint64_t limit)
{
    logMessage("data file <%s> refused: %s (%llu bytes; regular files up to %llu bytes are read)\n", path, reason,
               (unsigned long long)size, (unsigned long long)limit);
}

int checkDataFile(const char* path, size_t limit)
{
    struct stat info;
    if (!path || stat(path, &info) != 0) return 0;
    const char* reason = dataFileRefusal(info.st_mode, (uint64_t)info.st_size, limit);
    if (!reason) return 1;
    logRefusal(path, reason, (uint64_t)info.st_size, limit);
    return -1;
}

// The file is opened without blocking (a pipe with no writer would otherwise
// hold open() forever), judged by fstat on the open descriptor (nothing can be
// swapped in between), and only then handed to stdio in blocking mode.
FILE* openDataFile(const char* path, size_t limit, int* status)
{
    *status = 0;
    int fd = path ? open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY) : -1;
    if (fd < 0) return nullptr;
    struct stat info;
    memset(&info, 0, sizeof info);
    const char* reason =
        fstat(fd, &info) != 0 ? "not readable" : dataFileRefusal(info.st_mode, (uint64_t)info.st_size, limit);
    int flags = reason ? -1 : fcntl(fd, F_GETFL);
    FILE* file = nullptr;
    if (flags != -1 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) file = fdopen(fd, "rb");
    if (!file) {
        if (reason) logRefusal(path, reason, (uint64_t)info.st_size, limit);
        close(fd);
        *status = -1;
        return nullptr;
    }
    *status = 1;
    return file;
}

// Returns 1 with *data (one zero byte past *size, free()), 0 when the file
// cannot be opened, -1 when it is refused by openDataFile (logged), reading
// it or memory failed or it holds more than limit bytes (at most limit + 1
// bytes are ever read or allocated beyond the first block).
int readWholeFile(const char* path, size_t limit, unsigned char** data, size_t* size)
{
    int status = 0;
    FILE* file = openDataFile(path, limit, &status);
    if (!file) return status;
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

void setDataDirectory(const char* directory) { dataDirectory = directory ? directory : ""; }

const char* dataDirectoryInUse(void) { return dataPrefix ? dataPrefix : dataDirectory; }

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
        logMessage("data path: <%s%.*s> does not fit in %d bytes, refused\n", dataPrefix, (int)length, text, capacity);
        return 0;
    }
    memmove(text + dataPrefixLength, text, length + 1);
    memcpy(text, dataPrefix, dataPrefixLength);
    return 1;
}
