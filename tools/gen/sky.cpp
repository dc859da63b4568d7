// Content generator: the sky sphere (dusk and night pictures), the speed-line
// tube of the hot-rod scene with its red streaks, and the red gun backdrop.
// Sky pictures are equirectangular: v = 0 at the zenith, 0.5 at the horizon;
// u = 0.5 looks toward -z (where the sun sets), 0.25 toward +x, 0 toward +z.
#include "gen.h"

// Sphere of radius 50 (drawn ×10), poles left open by a degree.
static GeneratedMesh skySphere(void)
{
    std::vector<ProfilePt> prof;
    const int rings = 24;
    // Pole to pole: an open pole shows as a hole straight up or down (the
    // closing scene's top-down key looks through it at its red clear colour).
    for (int i = 0; i <= rings; i++) {
        float lat = (-90.0f + 180.0f * i / rings) * Pi / 180.0f;
        prof.push_back(ProfilePt{50.0f * cosf(lat), 50.0f * sinf(lat), 0.5f - lat / Pi});
    }
    return lathe(prof, 32, 0.5f, 1.5f);
}

// A tube around the eye along z, narrowing to points at both ends; u runs
// along the tube (four repeats), v around it.
static GeneratedMesh speedTube(void)
{
    std::vector<ProfilePt> prof;
    const int n = 40;
    for (int i = 0; i <= n; i++) {
        float t = (float)i / n;   // 0 at z = -900, 1 at z = +900
        float z = -900.0f + 1800.0f * t;
        // sinf(Pi) is a hair below zero in floats, and powf of a negative base is NaN
        float r = 12.0f + 190.0f * powf(fmaxf(0.0f, sinf(Pi * t)), 0.6f);
        prof.push_back(ProfilePt{r, z, 4.0f * t});
    }
    GeneratedMesh m = lathe(prof, 32);
    for (GeneratedVertex& v : m.verts) {
        float around = v.u;
        v.u = v.v;
        v.v = around;
        // the lathe's y axis becomes z
        v.p = vec3(v.p.x, v.p.z, v.p.y);
    }
    flipWinding(&m);   // the axis swap mirrors the tube
    return m;
}

// A tree line of pines along the horizon row: each tree a tiered cone drawn as
// an antialiased polygon, the picture wrapping around at its left and right.
static void pines(GenImage& im, int count, float minH, float maxH, Colour4 colour, uint32_t seed)
{
    Rng r = makeRng(seed);
    float horizon = im.h * 0.5f + 3.0f;
    for (int i = 0; i < count; i++) {
        float x = nextRange(&r, 0, (float)im.w);
        float h = nextRange(&r, minH, maxH);
        float w = h * nextRange(&r, 0.28f, 0.4f);
        int tiers = 4 + (int)(nextFloat(&r) * 3);
        std::vector<float> left, right;
        for (int t = 0; t <= tiers; t++) {
            float f = (float)t / tiers;   // 0 at the tip
            float y = horizon - h + h * f;
            float half = w * f;
            float droop = t > 0 ? h / tiers * 0.35f : 0.0f;
            // each tier: a branch tip out and down, then back in under it
            right.push_back(x + half);
            right.push_back(y);
            if (t < tiers) {
                right.push_back(x + half * 0.55f + 0.3f);
                right.push_back(y + droop * 0.3f);
            }
            left.push_back(x - half);
            left.push_back(y);
            if (t < tiers) {
                left.push_back(x - half * 0.55f - 0.3f);
                left.push_back(y + droop * 0.3f);
            }
        }
        std::vector<float> poly = {x, horizon - h - 1.5f};
        poly.insert(poly.end(), right.begin(), right.end());
        poly.push_back(x + w);
        poly.push_back(horizon + 6);
        poly.push_back(x - w);
        poly.push_back(horizon + 6);
        for (int k = (int)left.size() - 2; k >= 0; k -= 2) {
            poly.push_back(left[k]);
            poly.push_back(left[k + 1]);
        }
        for (int wrap = -1; wrap <= 1; wrap++) {
            if (x + w + wrap * im.w < 0 || x - w + wrap * im.w > im.w) continue;
            std::vector<float> shifted = poly;
            for (size_t k = 0; k < shifted.size(); k += 2) shifted[k] += wrap * im.w;
            fillPolygon(im, shifted, colour);
        }
    }
}

// A soft ridge of hills behind the trees, height in rows above the horizon.
static void ridge(GenImage& im, float base, float amp, Colour4 colour, uint32_t seed)
{
    for (int x = 0; x < im.w; x++) {
        float u = (x + 0.5f) / im.w;
        float h = base + amp * fbm2Tiled(u * 8.0f, 0.5f, 8, 1000, 4, seed);
        float top = im.h * 0.5f - h;
        for (int y = (int)floorf(top); y < im.h / 2 + 8; y++)
            blend(im, x, y, colour, clampf(y + 1.0f - top, 0.0f, 1.0f));
    }
}

// The ground below the horizon seen in perspective: a meadow of grass tufts and
// bare patches, finer toward the horizon, mapped through the distance to the
// point of the ground plane in that direction (angle below the horizon).
static Colour4 meadow(float u, float below, uint32_t seed, Colour4 grass, Colour4 dirt)
{
    float dist = 1.0f / tanf(fmaxf(below, 0.004f));   // in eye heights
    float az = u * 2 * Pi;
    float gx = cosf(az) * dist, gz = sinf(az) * dist;
    float patch = fbm2(gx * 0.15f, gz * 0.15f, 4, seed);
    float tuft = noise2(gx * 2.5f, gz * 2.5f, seed + 1);
    float fade = smooth(3.0f, 40.0f, dist);   // far ground blurs into the haze
    float detail = mixf(tuft, 0.5f, fade);
    Colour4 c = mixColour(dirt, grass, smooth(0.35f, 0.65f, patch));
    return scaleColour(c, 0.75f + 0.5f * detail);
}

static GenImage duskSky(void)
{
    const int W = 1024, H = 512;
    GenImage im = makeGenImage(W, H, colour4(0, 0, 0));
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            float u = (x + 0.5f) / W, v = (y + 0.5f) / H;
            float elev = (0.5f - v) * Pi;   // radians above the horizon
            float du = fabsf(u - 0.5f);     // distance from the sun's bearing
            float sunNear = expf(-du * du * 18.0f);
            Colour4 c;
            if (elev > 0) {
                float e = elev / (Pi / 2);
                Colour4 zenith = rgb8(0x1b1838), mid = rgb8(0x4e3466),
                        low = mixColour(rgb8(0xb0607a), rgb8(0xf39a4c), sunNear);
                c = e > 0.35f ? mixColour(mid, zenith, smooth(0.35f, 1.0f, e))
                              : mixColour(low, mid, smooth(0.0f, 0.35f, e));
                c = mixColour(c, rgb8(0xffd08a), sunNear * expf(-e * 14.0f) * 0.8f);
                // streaks of stratus lit from below by the sunset
                float band = fbm2(u * 14.0f, e * 60.0f, 5, 301);
                float cloud = smooth(0.52f, 0.75f, band) * smooth(0.02f, 0.1f, e) * (1.0f - smooth(0.35f, 0.6f, e));
                Colour4 lit = mixColour(rgb8(0x6a3a5a), rgb8(0xffa060), sunNear * 0.9f + 0.1f);
                c = mixColour(c, lit, cloud * 0.85f);
                // a few early stars high up
                if (e > 0.5f && hash3(x, y, 3, 302) > 0.9985f) c = mixColour(c, colour4(1, 0.95f, 0.85f), 0.6f * e);
            } else {
                float e = -elev / (Pi / 2);
                c = mixColour(meadow(u, -elev, 303, rgb8(0x4a3a26), rgb8(0x2a2418)), rgb8(0x4a2c34),
                              expf(-e * 14.0f) * 0.7f);
                c = mixColour(c, rgb8(0x8a5030), sunNear * expf(-e * 10.0f) * 0.5f);   // sunset sheen on the grass
            }
            pixelAt(im, x, y) = c;
        }
    // the setting sun, half behind the hills
    fillCircle(im, W * 0.5f, H * 0.5f - 10, 12, rgb8(0xffe2a0), 2.0f);
    // distant ridge, farther pines in the haze, then the near pines
    ridge(im, 6.0f, 14.0f, rgb8(0x4a3048, 0.85f), 304);
    pines(im, 200, 7, 16, rgb8(0x2e2032), 305);
    pines(im, 170, 10, 30, rgb8(0x160d12), 306);
    return im;
}

static GenImage nightSky(void)
{
    const int W = 1024, H = 512;
    GenImage im = makeGenImage(W, H, colour4(0, 0, 0));
    float moonU = 0.2f, moonV = 0.34f;
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            float u = (x + 0.5f) / W, v = (y + 0.5f) / H;
            float elev = (0.5f - v) * Pi;
            float du = fminf(fabsf(u - moonU), 1.0f - fabsf(u - moonU));
            float dm = sqrtf(du * du * 4 + (v - moonV) * (v - moonV));
            Colour4 c;
            if (elev > 0) {
                float e = elev / (Pi / 2);
                c = mixColour(rgb8(0x1c2a48), rgb8(0x04060e), smooth(0.0f, 0.7f, e));
                c = addColour(c, scaleColour(rgb8(0x38507a), expf(-dm * 9.0f) * 0.5f));
                // milky way: a soft diagonal band with dust
                float band = expf(-powf((v - 0.18f - 0.12f * sinf(u * 2 * Pi)) * 9.0f, 2.0f));
                float dust = fbm2(u * 30, v * 30, 5, 311);
                c = addColour(c, scaleColour(rgb8(0x4a4a60), band * smooth(0.35f, 0.8f, dust) * 0.45f));
                float s = hash3(x, y, 5, 312);
                if (s > 0.996f)
                    c = addColour(
                        c, scaleColour(colour4(0.9f, 0.92f, 1.0f), (s - 0.996f) / 0.004f * (0.5f + 0.5f * band)));
                // warm glow of the fire low over the trees toward the still
                float glowU = fminf(fabsf(u - 0.25f), 1 - fabsf(u - 0.25f));
                c = addColour(c, scaleColour(rgb8(0x803818), expf(-glowU * glowU * 60) * expf(-e * 10) * 0.5f));
            } else {
                float e = -elev / (Pi / 2);
                c = mixColour(meadow(u, -elev, 313, rgb8(0x141a20), rgb8(0x080a0c)), rgb8(0x101828),
                              expf(-e * 14.0f) * 0.7f);
            }
            pixelAt(im, x, y) = c;
        }
    // the moon with its halo and seas
    float mx = moonU * W, my = moonV * H;
    fillCircle(im, mx, my, 20, rgb8(0xf4f0dc), 1.5f);
    for (int k = 0; k < 7; k++) {
        Rng r = makeRng(320 + k);
        fillCircle(im, mx + nextRange(&r, -12, 12), my + nextRange(&r, -12, 12), nextRange(&r, 3, 7),
                   rgb8(0xc8c4b0, 0.6f), 2.0f);
    }
    ridge(im, 5.0f, 12.0f, rgb8(0x101828, 0.9f), 314);
    pines(im, 200, 7, 16, rgb8(0x0a0e16), 315);
    pines(im, 170, 10, 32, rgb8(0x030406), 316);
    return im;
}

// Horizontal streaks that tile both ways (u scrolls along the tube).
static GenImage redStreaks(void)
{
    const int W = 512, H = 512;
    GenImage im = makeGenImage(W, H, rgb8(0x2a0406));
    for (int y = 0; y < H; y++) {
        float rowBright = hash3(y, 0, 1, 330);
        float rowLen = 0.2f + 0.6f * hash3(y / 2, 0, 2, 331);
        float phase = hash3(y / 2, 0, 3, 332);
        for (int x = 0; x < W; x++) {
            float u = (x + 0.5f) / W;
            float s = fmodf(u + phase, 1.0f);
            float streak = smooth(0.0f, rowLen * 0.2f, s) * (1.0f - smooth(rowLen * 0.5f, rowLen, s));
            float glow = fbm2Tiled(u * 8, (y + 0.5f) / H * 8, 8, 8, 4, 333);
            Colour4 c = mixColour(rgb8(0x3a0608), rgb8(0x8a1410), glow);
            float k = streak * powf(rowBright, 3.0f);
            c = mixColour(c, rgb8(0xff6a2a), k);
            c = mixColour(c, rgb8(0xfff0c0), k * k * 0.7f);
            pixelAt(im, x, y) = c;
        }
    }
    return im;
}

// Poster backdrop: sunburst rays and halftone dots, fading out at the edges.
static GenImage redBackdrop(void)
{
    const int W = 256, H = 256;
    GenImage im = makeGenImage(W, H, colour4(0, 0, 0, 0));
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            float dx = (x + 0.5f) / W - 0.5f, dy = (y + 0.5f) / H - 0.55f;
            float r = sqrtf(dx * dx + dy * dy), a = atan2f(dy, dx);
            int ray = (int)floorf((a + Pi) / (2 * Pi) * 24);
            // Deep reds: scene 6 lifts its mid tones hard (gamma 1.66), so
            // the backdrop is painted dark to keep the gun standing out.
            Colour4 c = ray % 2 ? rgb8(0x7a100b) : rgb8(0x5c0b08);
            c = mixColour(rgb8(0xb84a20), c, smooth(0.0f, 0.25f, r));
            // halftone: dot size grows toward the rim
            float cell = 6.0f;
            float gx = fmodf(x + 0.5f, cell) - cell / 2, gy = fmodf(y + 0.5f, cell) - cell / 2;
            float dot = sqrtf(gx * gx + gy * gy) < cell * 0.45f * smooth(0.15f, 0.6f, r) ? 1.0f : 0.0f;
            c = mixColour(c, rgb8(0x240303), dot * 0.6f);
            c.a = 1.0f - smooth(0.38f, 0.7f, r);
            pixelAt(im, x, y) = c;
        }
    return im;
}

void genSky(GenContext* g)
{
    saveMesh(g, "skybox.bof", skySphere());
    saveMesh(g, "speedLines.bof", speedTube());
    saveJpeg(g, "skybox.jpg", duskSky());
    saveJpeg(g, "skybox2.jpg", nightSky());
    saveJpeg(g, "bgRed2.jpg", redStreaks());
    saveTga(g, "bgRed.tga", redBackdrop(), 1);
}
