// Content generator: the program's icon, the show's glazed jug (cork, dark
// dipped top, salt-glazed body, paper label, handle) on a clear background,
// written as an RGBA PNG for the desktop entry. Deterministic output.
#include "gen.h"

#include <stdio.h>

// The jug's half width at height y, both in units of the icon's side (y = 0 at
// the top); 0 outside the jug. Cork, neck, shoulder, belly, foot.
static float jugRadius(float y)
{
    if (y < 0.06f || y > 0.94f) return 0.0f;
    if (y < 0.16f) return 0.075f;                                            // cork
    if (y < 0.26f) return 0.095f;                                            // neck
    if (y < 0.46f) return mixf(0.095f, 0.32f, smooth(0.26f, 0.46f, y));      // shoulder
    if (y < 0.86f) return 0.32f + 0.025f * sinf((y - 0.46f) / 0.40f * Pi);   // belly
    return mixf(0.32f, 0.27f, smooth(0.86f, 0.94f, y));                      // foot
}

// The colour of the jug at (x, y) (icon units, x = 0 on the axis), lit from
// the upper left as a cylinder; alpha 0 outside.
static Colour4 jugColour(float x, float y)
{
    float r = jugRadius(y);
    if (r <= 0.0f || fabsf(x) > r) return colour4(0, 0, 0, 0);
    float s = x / r;   // -1 .. 1 across the jug
    float light = 0.55f + 0.45f * sqrtf(1.0f - s * s) - 0.25f * s;
    Colour4 base;
    if (y < 0.16f)
        base = mixColour(rgb8(0x8a6238), rgb8(0xc79a64), fbm2(x * 40, y * 90, 3, 5));
    else if (y < 0.42f + 0.012f * sinf(x * 60))   // the dipped glaze line wanders
        base = mixColour(rgb8(0x3b1f10), rgb8(0x6e3a1a), fbm2(x * 12, y * 12, 4, 11));
    else
        base = mixColour(rgb8(0xd9ccb0), rgb8(0xefe6d0), fbm2(x * 16, y * 16, 4, 21));
    if (y > 0.56f && y < 0.78f && fabsf(s) < 0.55f) base = rgb8(0xe8d9a8);   // the paper label
    if (y > 0.63f && y < 0.71f && fabsf(s) < 0.38f) base = rgb8(0x9a2a1c);   // its red band
    return scaleColour(base, light);
}

// The handle: a ring from the shoulder to the belly on the right.
static Colour4 handleColour(float x, float y)
{
    float dx = x - 0.30f, dy = y - 0.45f;
    float d = sqrtf(dx * dx + dy * dy);
    if (dx < 0.0f || fabsf(d - 0.13f) > 0.035f) return colour4(0, 0, 0, 0);
    float light = 0.7f + 0.3f * (1.0f - fabsf(d - 0.13f) / 0.035f);
    return scaleColour(y < 0.42f ? rgb8(0x4a2814) : rgb8(0xd9ccb0), light);
}

// Writes a size x size RGBA PNG; 4 x 4 samples a pixel smooth the edges.
// Returns 1 written, 0 when the file could not be written (printed).
int writeIcon(const std::string& path, int size)
{
    GenImage im = makeGenImage(size, size, colour4(0, 0, 0, 0));
    for (int py = 0; py < size; py++)
        for (int px = 0; px < size; px++) {
            Colour4 sum = colour4(0, 0, 0, 0);
            for (int j = 0; j < 16; j++) {
                float x = (px + (j % 4 + 0.5f) / 4) / size - 0.46f, y = (py + (j / 4 + 0.5f) / 4) / size;
                Colour4 c = jugColour(x, y);
                if (c.a == 0.0f) c = handleColour(x, y);
                sum = Colour4{sum.r + c.r * c.a, sum.g + c.g * c.a, sum.b + c.b * c.a, sum.a + c.a};
            }
            if (sum.a > 0.0f) pixelAt(im, px, py) = Colour4{sum.r / sum.a, sum.g / sum.a, sum.b / sum.a, sum.a / 16};
        }
    if (writePng(path, im)) return 1;
    fprintf(stderr, "gen: could not write the icon %s\n", path.c_str());
    return 0;
}
