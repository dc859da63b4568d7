// Watching files in the browser build: the page's file system never changes
// under the program, so there is nothing to watch (live editing is a desktop
// feature); starting says so in the log.
#include "platform/platform.h"

int watchStart(void)
{
    logMessage("live editing: watching files is not part of the browser build\n");
    return 0;
}
int watchFolder(const char*) { return -1; }
int watchPoll(double, double, WatchEvent*, int) { return 0; }
void watchRetry(const WatchEvent*, double) {}
void watchStop(void) {}
