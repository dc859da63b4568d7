// Prints rand()'s sequence: 1000 values unseeded, then 300 after each of a
// few seeds (0 and 1 among them, which glibc treats alike). Built natively
// (glibc's rand) and for the browser (platform/web/glibc_rand.cpp); the
// browser test holds the two outputs equal.
#include <stdio.h>
#include <stdlib.h>

int main()
{
    for (int i = 0; i < 1000; i++) printf("%d\n", rand());
    const unsigned seeds[] = {0u, 1u, 2u, 12345u, 2147483647u, 4294967295u};
    for (unsigned seed : seeds) {
        srand(seed);
        printf("seed %u\n", seed);
        for (int i = 0; i < 300; i++) printf("%d\n", rand());
    }
    return 0;
}
