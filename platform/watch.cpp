// Watching folders for files that were written: inotify on a few folders,
// drained without blocking once a frame. A file is reported once it has been
// closed after writing (or moved into place) and then left alone for a
// moment, so an editor's several writes arrive as one change.
#include "platform/platform.h"
#include <errno.h>
#include <string.h>
#include <sys/inotify.h>
#include <unistd.h>

// ---- state: the watcher ---------------------------------------------------------------
enum { MaxPendingFiles = 64 };
struct PendingFile {
    int folder;   // index in watchedFolders
    char name[WatchNameSize];
    double lastEvent;   // monotonic seconds of the latest event for it
};
static int inotifyFd = -1;
static int watchDescriptors[MaxWatchedFolders];
static int watchedFolderCount;
static PendingFile pendingFiles[MaxPendingFiles];
static int pendingCount;

// Returns 1 when the watcher is ready (also when it already was), 0 (logged).
int watchStart(void)
{
    if (inotifyFd >= 0) return 1;
    inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd < 0) {
        logMessage("WARNING: cannot watch files for changes: %s\n", strerror(errno));
        return 0;
    }
    watchedFolderCount = 0;
    pendingCount = 0;
    return 1;
}

// Returns the folder's index for WatchEvent.folder, or -1 (logged).
int watchFolder(const char* path)
{
    if (!path || (inotifyFd < 0 && !watchStart())) return -1;
    if (watchedFolderCount >= MaxWatchedFolders) {
        logMessage("WARNING: cannot watch <%s>: %d folders are watched already\n", path, MaxWatchedFolders);
        return -1;
    }
    int wd = inotify_add_watch(inotifyFd, path, IN_CLOSE_WRITE | IN_MOVED_TO);
    if (wd < 0) {
        logMessage("WARNING: cannot watch <%s>: %s\n", path, strerror(errno));
        return -1;
    }
    watchDescriptors[watchedFolderCount] = wd;
    return watchedFolderCount++;
}

static int folderOfDescriptor(int wd)
{
    for (int i = 0; i < watchedFolderCount; i++)
        if (watchDescriptors[i] == wd) return i;
    return -1;
}

// Notes a change of folder/name at time now; a name already pending only
// moves its time on. A name too long to keep is dropped.
static void notePending(int folder, const char* name, double now)
{
    size_t length = strnlen(name, WatchNameSize);
    if (length == 0 || length >= WatchNameSize) return;
    for (int i = 0; i < pendingCount; i++)
        if (pendingFiles[i].folder == folder && strcmp(pendingFiles[i].name, name) == 0) {
            pendingFiles[i].lastEvent = now;
            return;
        }
    if (pendingCount >= MaxPendingFiles) return;
    PendingFile* p = &pendingFiles[pendingCount++];
    p->folder = folder;
    memcpy(p->name, name, length + 1);
    p->lastEvent = now;
}

// Reads every queued inotify event into the pending list.
static void drainEvents(double now)
{
    alignas(struct inotify_event) char buffer[4096];
    for (;;) {
        ssize_t got = read(inotifyFd, buffer, sizeof buffer);
        if (got <= 0) return;   // EAGAIN: nothing more queued
        for (ssize_t at = 0; at + (ssize_t)sizeof(struct inotify_event) <= got;) {
            const struct inotify_event* e = (const struct inotify_event*)(buffer + at);
            at += (ssize_t)sizeof(struct inotify_event) + (ssize_t)e->len;
            if (at > got) break;
            int folder = folderOfDescriptor(e->wd);
            if (folder >= 0 && e->len > 0 && !(e->mask & IN_ISDIR)) notePending(folder, e->name, now);
        }
    }
}

// Hands out the files whose latest event lies settleSeconds or more before
// now; each goes out once. Returns the number written to events.
int watchPoll(double now, double settleSeconds, WatchEvent* events, int capacity)
{
    if (inotifyFd < 0) return 0;
    drainEvents(now);
    int count = 0;
    for (int i = 0; i < pendingCount && count < capacity;) {
        if (now - pendingFiles[i].lastEvent < settleSeconds) {
            i++;
            continue;
        }
        events[count].folder = pendingFiles[i].folder;
        memcpy(events[count].name, pendingFiles[i].name, WatchNameSize);
        events[count].changedAt = pendingFiles[i].lastEvent;
        count++;
        pendingFiles[i] = pendingFiles[--pendingCount];
    }
    return count;
}

// Puts a file back to be handed out again after the settle time (a reader
// that found it half-written retries instead of using it).
void watchRetry(const WatchEvent* event, double now)
{
    if (event) notePending(event->folder, event->name, now);
}

void watchStop(void)
{
    if (inotifyFd >= 0) close(inotifyFd);
    inotifyFd = -1;
    watchedFolderCount = 0;
    pendingCount = 0;
}
