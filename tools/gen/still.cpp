// Content generator: the copper pot still in its clearing (still.bof with the
// ground it stands on), the flame shells under its pot (fire.bof) and their
// pictures. still.jpg is an atlas: copper (u 0..0.5, v 0..0.5), barrel staves
// (u 0.5..1, v 0..0.5), firebox stones (u 0..0.5, v 0.5..1) and the clearing's
// ground with the fire's glow baked in (u 0.5..1, v 0.5..1).
// fire.jpg: flame data (red density, green tearing), tileable; on the shells
// u runs around a flame, file v from the tip (0) to the root (1).
#include "gen.h"

static const float Ground = -100.0f;

static GeneratedMesh groundDisc(void)
{
    GeneratedMesh m;
    const int rings = 20, segs = 48;
    const float R = 1500.0f;
    uint32_t c = addVert(&m, vec3(0, Ground, 0), 0.75f, 0.75f);
    for (int i = 1; i <= rings; i++) {
        float r = R * powf((float)i / rings, 1.6f);
        for (int j = 0; j <= segs; j++) {
            float a = 2 * Pi * j / segs;
            float x = r * cosf(a), z = r * sinf(a);
            float bump = r > 120 ? 6.0f * (fbm2(x * 0.004f, z * 0.004f, 3, 501) - 0.5f) - r * 0.004f : 0.0f;
            addVert(&m, vec3(x, Ground + fminf(bump, 0.0f), z), 0.75f + 0.24f * x / R, 0.75f + 0.24f * z / R);
        }
    }
    int row = segs + 1;
    for (int j = 0; j < segs; j++) addTri(&m, c, 1 + j + 1, 1 + j);
    for (int i = 0; i + 1 < rings; i++)
        for (int j = 0; j < segs; j++) {
            uint32_t a = 1 + i * row + j, b = a + 1, cc = a + row + 1, d = a + row;
            addQuad(&m, a, b, cc, d);
        }
    return m;
}

static void addLathe(GeneratedMesh* m, const float (*shape)[2], int n, int segs, float u0, float v0, float u1, float v1)
{
    std::vector<ProfilePt> p;
    for (int i = 0; i < n; i++) p.push_back(ProfilePt{shape[i][0], shape[i][1], 1.0f - (float)i / (n - 1)});
    GeneratedMesh l = lathe(p, segs);
    mapUV(&l, u0, v0, u1, v1);
    appendMesh(m, l);
}

static void addBarrel(GeneratedMesh* m, Vec3 at, float r, float h)
{
    float shape[9][2];
    for (int i = 0; i < 9; i++) {
        float t = (float)i / 8;
        shape[i][0] = r * (0.86f + 0.14f * sinf(Pi * t));
        shape[i][1] = t * h;
    }
    shape[0][0] = 1.0f;   // closed bottom (hidden by the ground)
    shape[8][0] = r * 0.86f;
    GeneratedMesh b;
    addLathe(&b, shape, 9, 32, 0.5f, 0.0f, 1.0f, 0.5f);
    // lid
    std::vector<ProfilePt> lid = {{r * 0.86f, h, 0.5f}, {r * 0.8f, h + 1.5f, 0.5f}, {1.0f, h + 2.0f, 0.5f}};
    GeneratedMesh l = lathe(lid, 32);
    mapUV(&l, 0.52f, 0.02f, 0.6f, 0.1f);
    appendMesh(&b, l);
    translateMesh(&b, at);
    appendMesh(m, b);
}

static void addPipe(GeneratedMesh* m, const std::vector<Vec3>& path, float r)
{
    std::vector<float> rad(path.size(), r);
    GeneratedMesh t = tube(path, rad, 10, 0);
    mapUV(&t, 0.05f, 0.05f, 0.45f, 0.45f);
    appendMesh(m, t);
}

static GeneratedMesh stillMesh(void)
{
    // The ground is appended last: drawn first, it was shaded again wherever
    // the still stands in front of it (a quarter of scene 2's still pixels).
    GeneratedMesh m;
    // firebox of stacked stones
    const float firebox[][2] = {{78, Ground - 2}, {78, -80}, {76, -60}, {72, -44}, {60, -40}, {40, -40}};
    addLathe(&m, firebox, 6, 40, 0.0f, 0.5f, 0.5f, 1.0f);
    // the pot: an onion of riveted copper
    const float pot[][2] = {{40, -41}, {62, -38}, {78, -20}, {86, 5},  {84, 30},
                            {72, 52},  {52, 68},  {32, 76},  {22, 80}, {22, 88}};
    addLathe(&m, pot, 10, 40, 0.0f, 0.0f, 0.5f, 0.5f);
    // the cap with its little chimney
    const float cap[][2] = {{24, 86},  {34, 96}, {38, 110}, {34, 124}, {24, 134},
                            {12, 140}, {7, 142}, {7, 150},  {9, 152},  {1, 153}};
    addLathe(&m, cap, 10, 32, 0.0f, 0.0f, 0.5f, 0.25f);
    // lyne arm from the cap down to the thumper keg
    std::vector<Vec3> arm;
    for (int i = 0; i <= 16; i++) {
        float t = (float)i / 16;
        arm.push_back(vec3(30 + 130 * t, 120 + 20 * sinf(Pi * t * 0.8f) - 90 * t * t, 0));
    }
    addPipe(&m, arm, 6.0f);
    addBarrel(&m, vec3(165, Ground, 0), 36, 92);
    // pipe from the keg to the worm tub, then the coil
    std::vector<Vec3> link = {vec3(180, -6, 0), vec3(200, 20, 20), vec3(230, 36, 50), vec3(255, 34, 80)};
    addPipe(&m, link, 5.0f);
    addBarrel(&m, vec3(260, Ground, 100), 46, 104);
    std::vector<Vec3> coil;
    for (int i = 0; i <= 60; i++) {
        float t = (float)i / 60;
        float a = t * 2 * Pi * 2.5f;
        coil.push_back(vec3(260 + 30 * cosf(a), 34 - 22 * t, 100 + 30 * sinf(a)));
    }
    addPipe(&m, coil, 4.0f);
    // the spout: where the shine drips out
    std::vector<Vec3> spout = {vec3(260, -40, 146), vec3(260, -42, 160), vec3(260, -50, 168)};
    addPipe(&m, spout, 3.0f);
    appendMesh(&m, groundDisc());
    return m;
}

// Flame tongue: a wavy cone from root (v = 1) to tip (v = 0), leaning along lean.
static GeneratedMesh tongue(Vec3 root, float radius, float height, Vec3 lean, uint32_t seed)
{
    std::vector<ProfilePt> p;
    const int n = 8;
    for (int i = 0; i <= n; i++) {
        float t = (float)i / n;
        float r = radius * (0.6f + 0.4f * sinf(Pi * fminf(t * 1.6f + 0.2f, 1.0f))) * (1.0f - t) + 0.8f;
        p.push_back(ProfilePt{r, height * t, 1.0f - t});
    }
    GeneratedMesh m = lathe(p, 8, 0.0f, 1.0f);
    for (GeneratedVertex& v : m.verts) {
        float t = v.p.y / height;
        float wob = sinf(t * 5.0f + seed) * radius * 0.3f * t;
        v.p = v.p + lean * (t * t) + vec3(wob, 0, 0);
        v.p = v.p + root;
    }
    return m;
}

static GeneratedMesh fireMesh(void)
{
    GeneratedMesh m;
    Rng r = makeRng(777);
    // a ring of tongues where the pot sits on the firebox
    for (int i = 0; i < 14; i++) {
        float a = 2 * Pi * i / 14 + nextRange(&r, -0.1f, 0.1f);
        Vec3 dir = vec3(cosf(a), 0, sinf(a));
        Vec3 root = dir * 66.0f + vec3(0, -44, 0);
        appendMesh(&m, tongue(root, nextRange(&r, 8, 13), nextRange(&r, 30, 55), dir * 6.0f - vec3(0, 0, 0), i));
    }
    // the big blaze at the stoking hole on the -x side
    for (int i = 0; i < 7; i++) {
        Vec3 root = vec3(-80 + nextRange(&r, -6, 6), Ground + 2, nextRange(&r, -28, 28));
        appendMesh(&m, tongue(root, nextRange(&r, 12, 20), nextRange(&r, 55, 95), vec3(20, 0, 0), 20 + i));
    }
    return m;
}

static GenImage stillPicture(void)
{
    const int S = 512;
    GenImage im = makeGenImage(S, S, colour4(0, 0, 0));
    for (int y = 0; y < S; y++)
        for (int x = 0; x < S; x++) {
            float u = (x + 0.5f) / S, v = (y + 0.5f) / S;
            Colour4 c;
            if (u < 0.5f && v < 0.5f) {
                // hammered copper with seams of rivets, oxidised in patches
                float hammer = noise2(x * 0.35f, y * 0.35f, 510);
                c = mixColour(rgb8(0x9a4a22), rgb8(0xe08a50), 0.4f + 0.5f * hammer);
                float patina = smooth(0.62f, 0.8f, fbm2(x * 0.03f, y * 0.03f, 4, 511));
                c = mixColour(c, rgb8(0x4a8a70), patina * 0.5f);
                float soot = smooth(0.6f, 0.85f, fbm2(x * 0.02f, y * 0.05f, 3, 512));
                c = scaleColour(c, 1.0f - soot * 0.5f);
                float sx = fmodf((float)x, 64.0f), sy = fmodf((float)y, 32.0f);
                if (sx < 2.5f) c = scaleColour(c, 0.7f);   // seam
                if (fabsf(sx - 6) < 2.2f && fabsf(fmodf((float)y, 10.0f) - 5) < 2.2f)
                    c = mixColour(c, rgb8(0xf0b080), 0.7f);
                (void)sy;
            } else if (u >= 0.5f && v < 0.5f) {
                // barrel staves with two iron hoops
                float stave = fmodf((float)x, 24.0f);
                float grain = fbm2(x * 0.3f, y * 0.02f, 4, 513);
                c = mixColour(rgb8(0x4a3020), rgb8(0x8a6040), grain);
                if (stave < 1.5f) c = scaleColour(c, 0.4f);
                float hy = v / 0.5f;
                if (fabsf(hy - 0.2f) < 0.04f || fabsf(hy - 0.8f) < 0.04f)
                    c = mixColour(rgb8(0x2a2a2a), rgb8(0x5a4a3a), noise2(x * 0.5f, y * 0.5f, 514));
            } else if (u < 0.5f) {
                // field stones in clay mortar, blackened toward the top
                float sx = x * 0.06f, sy = y * 0.09f;
                float cell = noise2(floorf(sx + 0.5f * floorf(sy)), floorf(sy), 515);
                float fx = sx + 0.5f * floorf(sy) - floorf(sx + 0.5f * floorf(sy)), fy = sy - floorf(sy);
                float mortar = fminf(fminf(fx, 1 - fx), fminf(fy, 1 - fy));
                c = mixColour(rgb8(0x6a625a), rgb8(0xa09486), cell);
                c = scaleColour(c, 0.85f + 0.3f * fbm2(x * 0.2f, y * 0.2f, 3, 516));
                if (mortar < 0.08f) c = rgb8(0x5a4838);
                c = scaleColour(c, 0.45f + 0.55f * (v - 0.5f) / 0.5f);
            } else {
                // ground: dirt, pine needles, a warm pool of firelight in the middle
                float gx = (u - 0.75f) / 0.24f, gz = (v - 0.75f) / 0.24f;
                float rr = sqrtf(gx * gx + gz * gz) * 1500.0f;
                float n = fbm2(x * 0.08f, y * 0.08f, 5, 517);
                c = mixColour(rgb8(0x1e1812), rgb8(0x3a2e22), n);
                if (hash3(x, y, 6, 518) > 0.93f) c = mixColour(c, rgb8(0x5a4028), 0.6f);
                float glow = expf(-rr / 260.0f);
                c = addColour(scaleColour(c, 0.5f + 0.5f * glow), scaleColour(rgb8(0xff7a30), glow * 0.5f));
                float ash = expf(-rr / 90.0f);
                c = mixColour(c, rgb8(0x2a2420), ash * 0.6f);
            }
            pixelAt(im, x, y) = c;
        }
    return im;
}

// Flame data for the fire shader, tileable both ways (it scrolls up the
// shells): red is the flame density in tall licks, green a slower tearing noise.
static GenImage firePicture(void)
{
    const int S = 256;
    GenImage im = makeGenImage(S, S, colour4(0, 0, 0));
    for (int y = 0; y < S; y++)
        for (int x = 0; x < S; x++) {
            float u = (x + 0.5f) / S, v = (y + 0.5f) / S;
            float licks = fbm2Tiled(u * 8, v * 3, 8, 3, 5, 520);
            float detail = fbm2Tiled(u * 16, v * 8, 16, 8, 3, 521);
            float flame = smooth(0.35f, 0.75f, licks * 0.75f + detail * 0.25f);
            float tear = fbm2Tiled(u * 4, v * 4, 4, 4, 4, 522);
            pixelAt(im, x, y) = colour4(flame, tear, flame * flame * 0.4f);
        }
    return im;
}

void genStill(GenContext* g)
{
    saveMesh(g, "still.bof", stillMesh());
    saveMesh(g, "fire.bof", fireMesh());
    saveJpeg(g, "still.jpg", stillPicture());
    saveJpeg(g, "fire.jpg", firePicture());
}
