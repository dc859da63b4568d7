// Other programs: starting one without a shell, waiting for it, and the
// folder of this program (where its companion tools are installed).
#include "platform/platform.h"
#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

pid_t spawnProgram(char* const* argv, FILE** stdinPipe, int quiet)
{
    int ends[2] = {-1, -1};
    if (stdinPipe && pipe(ends) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdinPipe) {
        posix_spawn_file_actions_adddup2(&actions, ends[0], 0);
        posix_spawn_file_actions_addclose(&actions, ends[1]);
        posix_spawn_file_actions_addclose(&actions, ends[0]);
    }
    if (quiet) posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    int failure = posix_spawnp(&pid, argv[0], &actions, &attributes, argv, environ);
    if (failure != 0) pid = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (stdinPipe) {
        close(ends[0]);
        *stdinPipe = pid > 0 ? fdopen(ends[1], "wb") : nullptr;
        if (!*stdinPipe) close(ends[1]);
    }
    errno = failure;
    return pid;
}

int waitProgram(pid_t pid, int block)
{
    int status = 0;
    pid_t done;
    while ((done = waitpid(pid, &status, block ? 0 : WNOHANG)) < 0)
        if (errno != EINTR) return 0;
    if (done == 0) return -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int programFolder(char* out, size_t capacity)
{
    if (!out || capacity < 2) return 0;
    ssize_t n = readlink("/proc/self/exe", out, capacity - 1);
    if (n <= 0 || (size_t)n >= capacity - 1) return 0;
    out[n] = 0;
    char* slash = strrchr(out, '/');
    if (!slash) return 0;
    *slash = 0;
    return 1;
}
