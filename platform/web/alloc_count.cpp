// Heap allocation counting in the browser build: the C library there has no
// hooks to forward through, so counting is reported unavailable and every
// count stays 0 (the bench prints "n/a").
#include "platform/platform.h"

int allocationCountingAvailable(void) { return 0; }
void setAllocationCounting(int) {}
long allocationsCounted(void) { return 0; }
long mainThreadAllocationsCounted(void) { return 0; }
long engineAllocationsCounted(void) { return 0; }
