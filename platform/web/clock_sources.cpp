// The clock readings in the browser. The tick counter is the clock of the
// audio that plays (the Web Audio context's), so the picture shows what is
// heard; the page's clock (performance.now) while muted or before any sound
// started. A page cannot read CPU time: the program runs on the page's one
// thread, so its wall time stands in (GL work of the browser's other
// processes is not in it).
#include "platform/platform.h"
#include <emscripten.h>

EM_JS(double, webClockMilliseconds, (void), { return Module.kestrelSound.clock() * 1000; });

uint32_t tickCount(void) { return (uint32_t)(uint64_t)webClockMilliseconds(); }

double processCpuSeconds(void) { return monotonicSeconds(); }
