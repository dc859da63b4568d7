// The tick counter the show's time runs on: CLOCK_MONOTONIC in milliseconds.
#include "platform/platform.h"
#include <time.h>

uint32_t tickCount(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = (uint64_t)ts.tv_sec * 1000u + (uint64_t)(ts.tv_nsec / 1000000);
    return (uint32_t)ms;   // wraps like the platform counter it replaces
}
