// SIGINT and SIGTERM: the handler only records the signal; the loops that
// check Escape (the loop's poll, capture, bench, stills) check it too and end the
// show the same way, so everything is released and the log completed.
#include "app/signals.h"
#include <signal.h>
#include <string.h>

static volatile sig_atomic_t stopSignal;

static void onStopSignal(int number) { stopSignal = number; }

// No SA_RESTART: a waitpid or write under way returns EINTR and its loop
// decides; the capture's waits retry, so ffmpeg is always waited for.
int installStopSignals(void)
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    int ok = sigaction(SIGINT, &action, nullptr) == 0;
    ok &= sigaction(SIGTERM, &action, nullptr) == 0;
    return ok;
}

int stopSignalNumber(void) { return stopSignal; }
