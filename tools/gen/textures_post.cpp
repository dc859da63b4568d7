// Content generator: pictures for the grading pass (grain.jpg, leak.tga,
// dirt.jpg) and the liquid ripple normal map of the splash and the blood
// (splash_nrm.jpg, tangent space: red toward picture right, green up).
#include "gen.h"

// Tileable grey noise around mid grey, one texel per screen pixel.
static GenImage grain(void)
{
    GenImage im = makeGenImage(256, 256, colour4(0.5f, 0.5f, 0.5f));
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            float a = hash3(x, y, 0, 801), b = hash3(x, y, 1, 802), c = hash3(x, y, 2, 803);
            float g = (a + b + c) / 3.0f;   // softly gaussian
            float clump = noise2Tiled(x * 0.25f, y * 0.25f, 64, 64, 804);
            float v = clampf(0.5f + (g - 0.5f) * 1.6f + (clump - 0.5f) * 0.15f, 0.0f, 1.0f);
            pixelAt(im, x, y) = colour4(v, v, v);
        }
    return im;
}

// A warm light leak: soft blobs of orange and magenta; alpha says where it falls.
static GenImage leak(void)
{
    GenImage im = makeGenImage(256, 256, colour4(0, 0, 0, 0));
    struct Blob {
        float x, y, r;
        int colour;
        float a;
    };
    const Blob blobs[] = {{0.05f, 0.2f, 0.45f, 0xff6a20, 0.9f},
                          {0.0f, 0.65f, 0.3f, 0xff3050, 0.6f},
                          {0.95f, 0.9f, 0.35f, 0xffb040, 0.7f},
                          {0.6f, -0.05f, 0.25f, 0xff8040, 0.5f}};
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            float u = (x + 0.5f) / 256, v = (y + 0.5f) / 256;
            Colour4 c = colour4(0, 0, 0, 0);
            float total = 0;
            for (const Blob& b : blobs) {
                float d = hypotf(u - b.x, v - b.y) / b.r;
                float w = expf(-d * d * 2.5f) * b.a;
                c = addColour(c, scaleColour(rgb8(b.colour), w));
                total += w;
            }
            float streak = fbm2(u * 3 + v * 2, v * 1.5f, 3, 805);
            total *= 0.7f + 0.6f * streak;
            if (total > 0) c = scaleColour(c, 1.0f / fmaxf(total, 1.0f));
            c.a = clampf(total, 0.0f, 1.0f);
            pixelAt(im, x, y) = c;
        }
    return im;
}

// Lens dirt: black with faint smudges, round specks and a stray hair.
static GenImage dirt(void)
{
    GenImage im = makeGenImage(512, 512, colour4(0, 0, 0));
    for (int y = 0; y < 512; y++)
        for (int x = 0; x < 512; x++) {
            float n = fbm2(x * 0.01f, y * 0.01f, 5, 806);
            float s = smooth(0.55f, 0.8f, n) * 0.18f;
            pixelAt(im, x, y) = colour4(s, s * 0.95f, s * 0.9f);
        }
    Rng r = makeRng(807);
    for (int i = 0; i < 90; i++) {
        float rad = nextRange(&r, 1.5f, 9.0f);
        float a = nextRange(&r, 0.08f, 0.35f);
        fillCircle(im, nextRange(&r, 0, 512), nextRange(&r, 0, 512), rad, colour4(0.8f, 0.78f, 0.72f, a), rad * 0.6f);
    }
    for (int h = 0; h < 2; h++) {
        float x = nextRange(&r, 60, 450), y = nextRange(&r, 60, 450), ang = nextRange(&r, 0, 2 * Pi);
        for (int k = 0; k < 40; k++) {
            float nx = x + cosf(ang) * 4, ny = y + sinf(ang) * 4;
            drawLine(im, x, y, nx, ny, 1.0f, colour4(0.5f, 0.48f, 0.45f, 0.35f));
            x = nx;
            y = ny;
            ang += nextRange(&r, -0.25f, 0.25f);
        }
    }
    return im;
}

// Ripples and droplet dimples on a liquid sheet.
static GenImage splashNormals(void)
{
    GenImage h = makeGenImage(256, 256, colour4(0.5f, 0.5f, 0.5f));
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            float u = (x + 0.5f) / 256, v = (y + 0.5f) / 256;
            float waves = fbm2Tiled(u * 6, v * 6, 6, 6, 4, 810);
            float ripple = 0.5f + 0.5f * sinf((u * 3 + v * 7 + waves * 2) * 2 * Pi);
            float val = waves * 0.7f + ripple * 0.3f;
            pixelAt(h, x, y) = colour4(val, val, val);
        }
    return normalFromHeight(h, 5.0f);
}

void genPostTextures(GenContext* g)
{
    saveJpeg(g, "grain.jpg", grain(), 95);
    saveTga(g, "leak.tga", leak(), 1);
    saveJpeg(g, "dirt.jpg", dirt());
    saveJpeg(g, "splash_nrm.jpg", splashNormals(), 92);
}
