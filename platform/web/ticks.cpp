// The tick counter in the browser: the clock of the audio that plays (the
// Web Audio context's), so the picture shows what is heard; the page's clock
// (performance.now) while muted or before any sound started.
#include "platform/platform.h"
#include <emscripten.h>

EM_JS(double, webClockMilliseconds, (void), { return Module.kestrelSound.clock() * 1000; });

uint32_t tickCount(void) { return (uint32_t)(uint64_t)webClockMilliseconds(); }
