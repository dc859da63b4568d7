// The clock readings that differ between systems: the tick counter the show's
// time runs on (CLOCK_MONOTONIC in milliseconds) and the process's CPU time.
#include "platform/platform.h"
#include <time.h>

uint32_t tickCount(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = (uint64_t)ts.tv_sec * 1000u + (uint64_t)(ts.tv_nsec / 1000000);
    return (uint32_t)ms;   // wraps like the platform counter it replaces
}

double processCpuSeconds(void)
{
    struct timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}
