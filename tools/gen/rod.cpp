// Content generator: the bullet (bullet.bof, 150 long on the z axis, nose toward
// +z), the hot rod that grows out of it (rod.baf: frame 0 the car, the last
// frame every vertex pressed onto the bullet's skin), the refracting trail
// behind it (trail.bof, u around, v from the object (0) to the far end (1))
// and the car pictures. rod.jpg is the car's atlas: flamed candy paint u 0..0.5
// v 0..0.5, chrome u 0.5..1 v 0..0.5, tyre rubber u 0..0.5 v 0.5..1, dark
// interior and engine block u 0.5..1 v 0.5..1.
#include "gen.h"

static const float BulletHalf = 75.0f;

// Bullet radius along z (boat tail, body, cannelure, ogive nose).
static float bulletRadius(float z)
{
    float t = (z + BulletHalf) / (2 * BulletHalf);
    if (t < 0.0f || t > 1.0f) return 0.0f;
    if (t < 0.08f) return 17.0f + 5.0f * t / 0.08f;
    if (t < 0.5f) return fabsf(t - 0.32f) < 0.012f ? 20.5f : 22.0f;
    float s = (t - 0.5f) / 0.5f;
    return 22.0f * sqrtf(fmaxf(0.0f, 1.0f - s * s * 0.98f)) + 0.6f;
}

static GeneratedMesh bullet(void)
{
    std::vector<ProfilePt> p;
    p.push_back(ProfilePt{0.8f, -BulletHalf, 1.0f});
    const int n = 40;
    for (int i = 0; i <= n; i++) {
        float z = -BulletHalf + 2 * BulletHalf * i / n;
        p.push_back(ProfilePt{bulletRadius(z), z, 1.0f - (float)i / n});
    }
    GeneratedMesh m = lathe(p, 32);
    rotateMeshX(&m, Pi / 2);   // axis y -> z, nose toward +z
    return m;
}

// A lofted body section: superellipse of half width w, half height h around
// (0, yc) at z, n points, starting at the bottom, counter-clockwise seen from +z.
static void section(std::vector<Vec3>* out, float z, float w, float h, float yc, int n)
{
    for (int i = 0; i < n; i++) {
        float a = -Pi / 2 + 2 * Pi * i / n;
        float c = cosf(a), s = sinf(a);
        float x = w * copysignf(powf(fabsf(c), 0.45f), c), y = h * copysignf(powf(fabsf(s), 0.45f), s);
        out->push_back(vec3(x, yc + y, z));
    }
}

// Body: sections from the tail to the nose, closed at both ends.
static GeneratedMesh body(void)
{
    struct BodySection {
        float z, w, h, yc;
    };
    const BodySection secs[] = {{-72, 16, 10, 2},  {-68, 24, 18, 6}, {-40, 25, 20, 8},
                                {-22, 24, 22, 10}, {-12, 20, 14, 4}, {0, 15, 10, 0},
                                {30, 14, 9, 0},    {52, 13, 9, -1},  {58, 11, 7, -1}};
    const int count = sizeof(secs) / sizeof(secs[0]), n = 24;
    GeneratedMesh m;
    for (int k = 0; k < count; k++) {
        std::vector<Vec3> ring;
        section(&ring, secs[k].z, secs[k].w, secs[k].h, secs[k].yc, n);
        for (int i = 0; i <= n; i++) {
            Vec3 p = ring[i % n];
            addVert(&m, p, 0.02f + 0.46f * (secs[k].z + 72) / 130.0f, 0.02f + 0.46f * (float)i / n);
        }
    }
    for (int k = 0; k + 1 < count; k++)
        for (int i = 0; i < n; i++) {
            uint32_t a = k * (n + 1) + i, b = a + 1, c = a + n + 2, d = a + n + 1;
            addQuad(&m, a, b, c, d);
        }
    for (int e = 0; e < 2; e++) {
        int k = e ? count - 1 : 0;
        Vec3 centre = vec3(0, secs[k].yc, secs[k].z);
        uint32_t c = addVert(&m, centre, e ? 0.75f : 0.7f, 0.25f);   // chrome grille / dark tail
        for (int i = 0; i < n; i++) {
            uint32_t a = k * (n + 1) + i, b = a + 1;
            if (e)
                addTri(&m, c, a, b);
            else
                addTri(&m, c, b, a);
        }
    }
    return m;
}

static GeneratedMesh wheel(Vec3 at, float r, float width)
{
    std::vector<ProfilePt> p = {{0.6f, -width, 1.0f},     {r * 0.55f, -width, 0.9f}, {r * 0.85f, -width * 1.05f, 0.75f},
                                {r, -width * 0.7f, 0.6f}, {r, width * 0.7f, 0.4f},   {r * 0.85f, width * 1.05f, 0.25f},
                                {r * 0.55f, width, 0.1f}, {0.6f, width, 0.0f}};
    GeneratedMesh t = lathe(p, 24);
    for (GeneratedVertex& v : t.verts) {
        float rr = sqrtf(v.p.x * v.p.x + v.p.z * v.p.z);
        if (rr < r * 0.6f) {
            v.u = 0.6f + 0.3f * v.u;
            v.v = 0.1f + 0.3f * v.v;
        }   // chrome hub
        else {
            v.u = 0.02f + 0.46f * v.u;
            v.v = 0.52f + 0.46f * v.v;
        }   // tyre
    }
    rotateMeshZ(&t, Pi / 2);   // axle along x
    translateMesh(&t, at);
    return t;
}

static GeneratedMesh pipe(const std::vector<Vec3>& path, float r, float u0, float v0, float u1, float v1)
{
    std::vector<float> rad(path.size(), r);
    GeneratedMesh t = tube(path, rad, 8, 1);
    mapUV(&t, u0, v0, u1, v1);
    return t;
}

static GeneratedMesh hotRod(void)
{
    GeneratedMesh m = body();
    // engine block and blower on the hood, exhaust headers out both sides
    GeneratedMesh block = bevelBox(vec3(-11, 8, 8), vec3(11, 22, 40), 2);
    mapUV(&block, 0.52f, 0.52f, 0.98f, 0.98f);
    appendMesh(&m, block);
    GeneratedMesh blower = bevelBox(vec3(-8, 22, 14), vec3(8, 32, 34), 2);
    mapUV(&blower, 0.52f, 0.02f, 0.98f, 0.48f);
    appendMesh(&m, blower);
    GeneratedMesh scoop = bevelBox(vec3(-6, 32, 18), vec3(6, 38, 30), 1.5f);
    mapUV(&scoop, 0.52f, 0.02f, 0.98f, 0.48f);
    appendMesh(&m, scoop);
    for (int s = -1; s <= 1; s += 2)
        for (int k = 0; k < 4; k++) {
            float z = 12 + k * 8;
            std::vector<Vec3> path = {vec3(s * 10.0f, 14, z), vec3(s * 18.0f, 12, z), vec3(s * 24.0f, 6, z - 2),
                                      vec3(s * 27.0f, -2, z - 10)};
            appendMesh(&m, pipe(path, 1.6f, 0.55f, 0.05f, 0.95f, 0.45f));
        }
    // roll bar and windscreen frame behind the engine
    std::vector<Vec3> bar = {vec3(-20, 24, -30), vec3(-18, 40, -30), vec3(18, 40, -30), vec3(20, 24, -30)};
    appendMesh(&m, pipe(bar, 1.8f, 0.55f, 0.05f, 0.95f, 0.45f));
    // front axle and the big-and-little wheels
    appendMesh(&m, pipe({vec3(-28, -6, 50), vec3(28, -6, 50)}, 2.0f, 0.55f, 0.05f, 0.95f, 0.45f));
    appendMesh(&m, pipe({vec3(-32, -8, -50), vec3(32, -8, -50)}, 2.5f, 0.55f, 0.05f, 0.95f, 0.45f));
    for (int s = -1; s <= 1; s += 2) {
        appendMesh(&m, wheel(vec3(s * 30.0f, -16, 50), 14, 5));
        appendMesh(&m, wheel(vec3(s * 36.0f, -8, -50), 22, 9));
    }
    return m;
}

// Frames: 0 the car, the last the bullet; parts sink onto the skin in turn.
static GeneratedMesh rodMesh(void)
{
    GeneratedMesh car = hotRod();
    const int frames = 8;
    std::vector<Vec3> target(car.verts.size());
    for (size_t i = 0; i < car.verts.size(); i++) {
        Vec3 p = car.verts[i].p;
        float z = clampf(p.z, -BulletHalf + 0.5f, BulletHalf - 0.5f);
        float r = bulletRadius(z);
        float a = atan2f(p.y - 2.0f, p.x);
        target[i] = vec3(r * cosf(a), r * sinf(a), z);
    }
    for (int f = 0; f < frames; f++) {
        float t = (float)f / (frames - 1);
        std::vector<GeneratedVertex> fr = car.verts;
        for (size_t i = 0; i < fr.size(); i++) {
            // parts far from the axis (wheels, pipes) fold in first
            float reach = len(vec3(car.verts[i].p.x, car.verts[i].p.y, 0)) / 45.0f;
            float start = 0.35f * (1.0f - clampf(reach, 0.0f, 1.0f));
            float k = smooth(start, start + 0.65f, t);
            fr[i].p = lerpVec3(car.verts[i].p, target[i], k);
        }
        car.frames.push_back(fr);
    }
    return car;
}

// A widening cone behind the object, open at both ends.
static GeneratedMesh trail(void)
{
    std::vector<ProfilePt> p;
    const int n = 24;
    for (int i = 0; i <= n; i++) {
        float t = (float)i / n;
        float z = -70.0f - 600.0f * t;
        p.push_back(ProfilePt{24.0f + 70.0f * sqrtf(t), z, t});
    }
    // the profile runs from the object backwards: reverse it so the lathe
    // walks up its axis, then turn the axis onto z
    std::vector<ProfilePt> q(p.rbegin(), p.rend());
    GeneratedMesh m = lathe(q, 24);
    rotateMeshX(&m, Pi / 2);
    return m;
}

static GenImage rodPicture(void)
{
    const int S = 512;
    GenImage im = makeGenImage(S, S, colour4(0, 0, 0));
    for (int y = 0; y < S; y++)
        for (int x = 0; x < S; x++) {
            float u = (x + 0.5f) / S, v = (y + 0.5f) / S;
            float n = fbm2(x * 0.05f, y * 0.05f, 4, 1201);
            Colour4 c;
            if (u < 0.5f && v < 0.5f) {
                // candy red with flames licking back from the nose (u grows toward the nose)
                c = mixColour(rgb8(0x7a0a0a), rgb8(0xc41a14), 0.5f + 0.5f * n);
                float along = u / 0.5f, around = v / 0.5f;
                float side = fabsf(fmodf(around * 2.0f, 1.0f) - 0.5f) * 2;   // 0 on the flanks' middle line
                float tongue = 0.25f * sinf(along * 40.0f) * along;
                float flame = smooth(0.0f, 0.08f, along - 0.45f + side * 0.5f + tongue);
                Colour4 f = mixColour(rgb8(0xff4a10), rgb8(0xffd040), smooth(0.5f, 0.9f, along));
                c = mixColour(c, f, flame);
                c = mixColour(c, rgb8(0xfff0c0), flame * smooth(0.85f, 1.0f, along) * 0.6f);
            } else if (v < 0.5f) {
                c = mixColour(rgb8(0xa0a4a8), rgb8(0xf0f4f8), 0.5f + 0.5f * sinf(y * 0.3f) * 0.5f + n * 0.2f);
            } else if (u < 0.5f) {
                float tread = fmodf((float)x, 16.0f) < 6 ? 0.7f : 1.0f;
                c = scaleColour(mixColour(rgb8(0x141414), rgb8(0x2a2826), n), tread);
            } else {
                c = mixColour(rgb8(0x1a1a1c), rgb8(0x3a3a3e), n);
            }
            pixelAt(im, x, y) = c;
        }
    return im;
}

static GenImage rubberPicture(void)
{
    GenImage im = makeGenImage(256, 256, colour4(0, 0, 0));
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            float n = fbm2(x * 0.1f, y * 0.1f, 3, 1210);
            float blockx = fmodf(x + (y / 32 % 2) * 8.0f, 16.0f), blocky = fmodf((float)y, 32.0f);
            float groove = (blockx < 3 || blocky < 3) ? 0.45f : 1.0f;
            Colour4 c = scaleColour(mixColour(rgb8(0x181818), rgb8(0x343230), n), groove);
            pixelAt(im, x, y) = c;
        }
    drawText(im, "KESTREL  SLICKS", 1, 128, 140, 22, rgb8(0xd8d4c8), 230);
    return im;
}

static GenImage paintPicture(void)
{
    GenImage im = makeGenImage(256, 256, colour4(0, 0, 0));
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            float n = fbm2Tiled(x / 32.0f, y / 32.0f, 8, 8, 4, 1220);
            Colour4 c = mixColour(rgb8(0x6a0606), rgb8(0xd02018), n);
            float flake = hash3(x, y, 0, 1221);
            if (flake > 0.97f) c = mixColour(c, rgb8(0xffd0a0), (flake - 0.97f) / 0.03f);
            pixelAt(im, x, y) = c;
        }
    return im;
}

void genRod(GenContext* g)
{
    saveMesh(g, "bullet.bof", bullet());
    saveMesh(g, "rod.baf", rodMesh());
    saveMesh(g, "trail.bof", trail());
    saveJpeg(g, "rod.jpg", rodPicture());
    saveTga(g, "rubber.tga", rubberPicture(), 0);
    saveJpeg(g, "paint.jpg", paintPicture());
}
