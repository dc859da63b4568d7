// Other programs in the browser build: a page cannot start any (the soundtrack
// build of live editing and ffmpeg for capture are desktop features).
#include "platform/platform.h"
#include <errno.h>

pid_t spawnProgram(char* const*, FILE** stdinPipe, int)
{
    if (stdinPipe) *stdinPipe = nullptr;
    errno = ENOSYS;
    return -1;
}

int waitProgram(pid_t, int) { return 0; }

int programFolder(char*, size_t) { return 0; }
