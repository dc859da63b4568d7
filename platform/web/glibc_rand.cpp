// rand() and srand() with glibc's sequence (its default TYPE_3 additive
// feedback generator), linked into the browser build in place of the C
// library's own: the film grain's offset comes from rand(), and the show
// must look the same whichever C library runs it.
#include <stdint.h>
#include <stdlib.h>

// ---- state: the generator ----------------------------------------------------------
// The last 34 outputs of the recurrence r[i] = r[i-31] + r[i-3] (mod 2^32),
// a ring indexed by step; seeded once on first use like glibc's srand(1).
enum { RandRing = 34 };
static uint32_t ring[RandRing];
static unsigned step;
static int seeded;

extern "C" void srand(unsigned seed)
{
    if (seed == 0) seed = 1;   // glibc seeds 0 as 1
    int32_t r[RandRing];
    r[0] = (int32_t)seed;
    for (int i = 1; i < 31; i++) {
        // 16807 * r mod (2^31 - 1) by Schrage's method, as glibc computes it.
        int32_t hi = r[i - 1] / 127773, lo = r[i - 1] % 127773;
        int32_t word = 16807 * lo - 2836 * hi;
        r[i] = word < 0 ? word + 2147483647 : word;
    }
    for (int i = 31; i < RandRing; i++) r[i] = r[i - 31];
    for (int i = 0; i < RandRing; i++) ring[i] = (uint32_t)r[i];
    step = RandRing;
    seeded = 1;
    for (int i = 0; i < 310; i++) rand();   // glibc discards the first 310 outputs
}

extern "C" int rand(void)
{
    if (!seeded) srand(1);
    uint32_t next = ring[(step - 31) % RandRing] + ring[(step - 3) % RandRing];
    ring[step % RandRing] = next;
    step++;
    return (int)(next >> 1);
}
