// Content generator: environment and light spheres. Environment spheres
// (jug_env.jpg, jugNight.jpg, envNight.jpg, press_lite.tga, chrome.jpg) are
// mirror balls seen from the eye: the centre reflects what lies behind the
// viewer, the rim what lies behind the object, picture up is eye-space up.
// Light spheres (jug_light.tga, jug_light2.tga, lightnight.tga, press_env.jpg)
// are looked up by the eye-space normal at (n.x, n.y) × 0.48 + 0.5 and hold the
// diffuse light a surface with that normal receives.
#include "gen.h"

typedef Colour4 (*EnvFn)(Vec3 dir);   // eye-space direction: -z away from the viewer

static GenImage sphereMap(int size, EnvFn env)
{
    GenImage im = makeGenImage(size, size, colour4(0, 0, 0));
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            float s = 2.0f * (x + 0.5f) / size - 1.0f, t = 1.0f - 2.0f * (y + 0.5f) / size;
            float d2 = s * s + t * t;
            if (d2 > 0.999f) {   // outside the ball: the rim direction, no seams in mipmaps
                float k = 0.9995f / sqrtf(d2);
                s *= k;
                t *= k;
                d2 = s * s + t * t;
            }
            float nz = sqrtf(1.0f - d2);
            Vec3 r = vec3(2 * nz * s, 2 * nz * t, 2 * nz * nz - 1);
            pixelAt(im, x, y) = env(norm(r));
        }
    return im;
}

struct Lamp {
    Vec3 dir;
    Colour4 colour;
    float power;   // sharpness of the lobe
};

static GenImage lightSphere(int size, Colour4 ambientTop, Colour4 ambientBottom, const Lamp* lamps, int count)
{
    GenImage im = makeGenImage(size, size, colour4(0, 0, 0));
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            float s = (2.0f * (x + 0.5f) / size - 1.0f) / 0.96f, t = (1.0f - 2.0f * (y + 0.5f) / size) / 0.96f;
            float d2 = s * s + t * t;
            if (d2 > 1.0f) {
                float k = 1.0f / sqrtf(d2);
                s *= k;
                t *= k;
                d2 = 1.0f;
            }
            Vec3 n = vec3(s, t, sqrtf(fmaxf(0.0f, 1.0f - d2)));
            Colour4 c = mixColour(ambientBottom, ambientTop, n.y * 0.5f + 0.5f);
            for (int i = 0; i < count; i++) {
                float l = fmaxf(0.0f, dot(n, norm(lamps[i].dir)));
                c = addColour(c, scaleColour(lamps[i].colour, powf(l, lamps[i].power)));
            }
            c.a = 1.0f;
            pixelAt(im, x, y) = c;
        }
    return im;
}

// Dusk: the sunset behind the object (toward -z), violet sky, dark ground.
static Colour4 duskEnv(Vec3 d)
{
    float up = d.y;
    Colour4 c;
    if (up > 0) {
        c = mixColour(rgb8(0xc07060), rgb8(0x2a2450), smooth(0.0f, 0.7f, up));
        float sun = fmaxf(0.0f, dot(d, norm(vec3(0.15f, 0.08f, -1.0f))));
        c = addColour(c, scaleColour(rgb8(0xffb060), powf(sun, 12.0f) * 1.2f + powf(sun, 200.0f) * 2.0f));
        // a pale window of sky up left: the glint on the glaze
        float glint = fmaxf(0.0f, dot(d, norm(vec3(-0.5f, 0.7f, 0.4f))));
        c = addColour(c, scaleColour(colour4(1.0f, 0.92f, 0.85f), smooth(0.93f, 0.97f, glint) * 0.9f));
    } else {
        c = mixColour(rgb8(0x3a2a26), rgb8(0x120c0a), smooth(0.0f, 0.4f, -up));
    }
    // tree line at the horizon
    float trees = fbm2(atan2f(d.x, -d.z) * 6.0f, 0.5f, 3, 701) * 0.12f;
    if (up > -0.02f && up < trees) c = mixColour(c, rgb8(0x1a1016), 0.9f);
    return c;
}

// Night: moonlight up right, the fire's orange glow low and in front.
static Colour4 nightEnv(Vec3 d)
{
    float up = d.y;
    Colour4 c = up > 0 ? mixColour(rgb8(0x1a2440), rgb8(0x05070e), smooth(0.0f, 0.7f, up))
                       : mixColour(rgb8(0x201410), rgb8(0x060404), smooth(0.0f, 0.5f, -up));
    float moon = fmaxf(0.0f, dot(d, norm(vec3(0.6f, 0.6f, -0.3f))));
    c = addColour(
        c, scaleColour(colour4(0.8f, 0.88f, 1.0f), smooth(0.985f, 0.995f, moon) * 1.2f + powf(moon, 20.0f) * 0.2f));
    float fire = fmaxf(0.0f, dot(d, norm(vec3(-0.2f, -0.35f, 1.0f))));
    c = addColour(c, scaleColour(rgb8(0xff7a28), powf(fire, 6.0f) * 1.1f));
    float trees = fbm2(atan2f(d.x, -d.z) * 6.0f, 1.5f, 3, 702) * 0.1f;
    if (up > -0.02f && up < trees) c = mixColour(c, rgb8(0x020304), 0.9f);
    return c;
}

// Workshop: warm bulbs overhead, a bright window to one side, wooden floor.
static Colour4 workshopEnv(Vec3 d)
{
    Colour4 c = d.y > 0 ? mixColour(rgb8(0x6a4a30), rgb8(0x2a1c14), smooth(0.0f, 0.8f, d.y))
                        : mixColour(rgb8(0x5a3a22), rgb8(0x2a1a10), smooth(0.0f, 0.6f, -d.y));
    const Vec3 bulbs[3] = {vec3(-0.4f, 0.8f, -0.3f), vec3(0.5f, 0.75f, 0.2f), vec3(0.0f, 0.9f, 0.5f)};
    for (const Vec3& b : bulbs) {
        float k = fmaxf(0.0f, dot(d, norm(b)));
        c = addColour(c, scaleColour(rgb8(0xffd8a0), smooth(0.97f, 0.99f, k) * 1.5f + powf(k, 30.0f) * 0.3f));
    }
    float win = fmaxf(0.0f, dot(d, norm(vec3(-1.0f, 0.2f, -0.2f))));
    c = addColour(c, scaleColour(rgb8(0xa0c0ff), smooth(0.9f, 0.93f, win) * 0.8f));
    return c;
}

// Chrome: a hard horizon between blue sky and warm desert, the classic look.
static Colour4 chromeEnv(Vec3 d)
{
    Colour4 c;
    if (d.y > 0)
        c = mixColour(rgb8(0xf0f4ff), rgb8(0x3060b0), smooth(0.0f, 0.6f, d.y));
    else
        c = mixColour(rgb8(0x5a3a22), rgb8(0xc89060), smooth(0.0f, 0.5f, -d.y));
    float sun = fmaxf(0.0f, dot(d, norm(vec3(-0.5f, 0.6f, 0.3f))));
    c = addColour(c, scaleColour(colour4(1, 1, 1), smooth(0.98f, 0.995f, sun)));
    return c;
}

void genLightTextures(GenContext* g)
{
    saveJpeg(g, "jug_env.jpg", sphereMap(256, duskEnv));
    saveJpeg(g, "jugNight.jpg", sphereMap(256, nightEnv));
    saveJpeg(g, "envNight.jpg", sphereMap(256, nightEnv));
    saveTga(g, "press_lite.tga", sphereMap(256, workshopEnv), 0);
    saveJpeg(g, "chrome.jpg", sphereMap(512, chromeEnv));

    const Lamp dusk[3] = {{vec3(-0.6f, 0.6f, 0.5f), rgb8(0xffd0a0), 1.3f},
                          {vec3(0.8f, 0.1f, -0.3f), rgb8(0xff7040), 4.0f},
                          {vec3(0.0f, -1.0f, 0.2f), rgb8(0x302018), 1.0f}};
    saveTga(g, "jug_light.tga", lightSphere(128, rgb8(0x3a3050), rgb8(0x1a1010), dusk, 3), 0);
    const Lamp blast[2] = {{vec3(0.0f, -0.8f, 0.5f), rgb8(0xffa050), 1.2f},
                           {vec3(-0.5f, 0.7f, 0.4f), rgb8(0xd0c0b0), 1.5f}};
    saveTga(g, "jug_light2.tga", lightSphere(128, rgb8(0x403840), rgb8(0x502010), blast, 2), 0);
    const Lamp night[2] = {{vec3(0.6f, 0.7f, 0.2f), rgb8(0x6a80b0), 1.5f},
                           {vec3(-0.3f, -0.6f, 0.6f), rgb8(0xff8a40), 1.6f}};
    saveTga(g, "lightnight.tga", lightSphere(128, rgb8(0x141a2a), rgb8(0x2a140a), night, 2), 0);
    const Lamp shop[2] = {{vec3(-0.4f, 0.8f, 0.4f), rgb8(0xffe0b8), 1.2f},
                          {vec3(0.9f, 0.2f, 0.1f), rgb8(0x8090b0), 3.0f}};
    saveJpeg(g, "press_env.jpg", lightSphere(128, rgb8(0x403028), rgb8(0x1a120c), shop, 2));
}
