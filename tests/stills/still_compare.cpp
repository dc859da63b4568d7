// Compares two PNG stills of the show: "same" when every byte is equal,
// "close" when the mean absolute difference per channel is at most 1/255 and
// 99.9 % of the pixels lie within 8/255 on every channel; with --browser (a
// still of the browser build against a desktop one: another rasterizer) at
// most 2/255 and 98.5 %.
// Usage: still_compare [--exact | --browser] REFERENCE.png CANDIDATE.png
// Exit 0 when the pair passes (exact: identical; else identical or close),
// 1 when it does not (the figures on stdout), 2 on a usage or read error.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

struct StillDifference {
    double meanAbs;       // mean |a - b| over every channel, in 1/255 units
    double withinShare;   // share of pixels whose channels all differ by <= 8
    int maxAbs;           // largest single channel difference
    long differing;       // pixels with any difference
};

static StillDifference compareStills(const unsigned char* a, const unsigned char* b, long pixels)
{
    StillDifference d = {0.0, 0.0, 0, 0};
    double sum = 0.0;
    long within = 0;
    for (long p = 0; p < pixels; p++) {
        int worst = 0;
        for (int c = 0; c < 3; c++) {
            int diff = abs((int)a[p * 3 + c] - (int)b[p * 3 + c]);
            sum += diff;
            if (diff > worst) worst = diff;
        }
        if (worst <= 8) within++;
        if (worst > 0) d.differing++;
        if (worst > d.maxAbs) d.maxAbs = worst;
    }
    d.meanAbs = pixels > 0 ? sum / ((double)pixels * 3.0) : 0.0;
    d.withinShare = pixels > 0 ? (double)within / (double)pixels : 1.0;
    return d;
}

int main(int argc, char** argv)
{
    int exact = argc == 4 && strcmp(argv[1], "--exact") == 0;
    int browser = argc == 4 && strcmp(argv[1], "--browser") == 0;
    int flag = exact || browser;
    if (argc != 3 + flag) {
        fprintf(stderr, "usage: still_compare [--exact | --browser] REFERENCE.png CANDIDATE.png\n");
        return 2;
    }
    int wa, ha, ca, wb, hb, cb;
    unsigned char* a = stbi_load(argv[1 + flag], &wa, &ha, &ca, 3);
    unsigned char* b = stbi_load(argv[2 + flag], &wb, &hb, &cb, 3);
    if (!a || !b) {
        fprintf(stderr, "still_compare: cannot read %s\n", !a ? argv[1 + flag] : argv[2 + flag]);
        return 2;
    }
    if (wa != wb || ha != hb) {
        printf("size %dx%d against %dx%d\n", wa, ha, wb, hb);
        return 1;
    }
    StillDifference d = compareStills(a, b, (long)wa * ha);
    stbi_image_free(a);
    stbi_image_free(b);
    int close = browser ? d.meanAbs <= 2.0 && d.withinShare >= 0.985 : d.meanAbs <= 1.0 && d.withinShare >= 0.999;
    printf("differing pixels %ld, largest difference %d, mean %.3f/255, within 8/255 %.4f%%\n", d.differing, d.maxAbs,
           d.meanAbs, d.withinShare * 100.0);
    if (d.differing == 0) return 0;
    return exact ? 1 : (close ? 0 : 1);
}
