// Content generator: the pistol (m47.bof, about 200 long on the z axis, muzzle
// toward +z at z = 110), the money gun that flies together out of scraps of
// banknotes (gun.baf: last frame scattered, frame 0 assembled, roll.jpg
// layout), the muzzle flash (shot.bof with shot.tga: side flame at u 0..0.5,
// front star at u 0.5..1, black elsewhere), the blood that bursts where the
// bullet passes z = 244 (blood.baf) and the gun picture wrap.jpg (blued
// steel u 0..0.5 v 0..0.5, worn steel u 0.5..1 v 0..0.5, taped grip v 0.5..1).
#include "gen.h"

static const float MuzzleZ = 110.0f;

// Polygon in the (z, y) plane extruded across x from -hx to hx.
static GeneratedMesh sideExtrude(const std::vector<float>& zy, float hx, float bevel)
{
    GeneratedMesh m = extrude(zy, -hx, hx, bevel);
    // (x, y, z) of the extrusion -> (z', y, x'): x becomes z, z becomes -x
    rotateMeshY(&m, -Pi / 2);
    return m;
}

static GeneratedMesh pistol(void)
{
    GeneratedMesh m;
    // slide with the front sight and the rear sight
    GeneratedMesh slide = sideExtrude({-78, -5, MuzzleZ, -5, MuzzleZ, 11, 100, 14, -70, 14, -78, 8}, 9.5f, 1.5f);
    mapUV(&slide, 0.02f, 0.02f, 0.48f, 0.48f);
    appendMesh(&m, slide);
    GeneratedMesh sight = bevelBox(vec3(-1.5f, 13, 98), vec3(1.5f, 19, 104), 0.5f);
    mapUV(&sight, 0.02f, 0.02f, 0.1f, 0.1f);
    appendMesh(&m, sight);
    GeneratedMesh rear = bevelBox(vec3(-6, 13, -72), vec3(6, 19, -66), 0.5f);
    mapUV(&rear, 0.02f, 0.02f, 0.1f, 0.1f);
    appendMesh(&m, rear);
    // barrel bushing at the muzzle: a short tube with a dark bore
    std::vector<ProfilePt> bush = {{2.5f, 0, 1},    {2.5f, 3, 0.9f}, {6.5f, 3, 0.8f},
                                   {6.5f, 6, 0.2f}, {5.5f, 7, 0.1f}, {4.5f, 7, 0}};
    GeneratedMesh b = lathe(bush, 16);
    mapUV(&b, 0.52f, 0.02f, 0.98f, 0.2f);
    rotateMeshX(&b, Pi / 2);
    translateMesh(&b, vec3(0, 2, MuzzleZ - 1));
    appendMesh(&m, b);
    // frame, trigger guard and trigger
    GeneratedMesh frame = sideExtrude({-62, -19, 80, -19, 84, -5, -66, -5}, 8.5f, 1.2f);
    mapUV(&frame, 0.52f, 0.02f, 0.98f, 0.48f);
    appendMesh(&m, frame);
    std::vector<Vec3> guard;
    std::vector<float> gr;
    for (int i = 0; i <= 14; i++) {
        float a = Pi * i / 14;
        guard.push_back(vec3(0, -19 - 22 * sinf(a), 12 + 24 * cosf(a) - 6 * sinf(a)));
        gr.push_back(2.2f);
    }
    GeneratedMesh g = tube(guard, gr, 8, 1);
    mapUV(&g, 0.52f, 0.02f, 0.98f, 0.48f);
    appendMesh(&m, g);
    GeneratedMesh trig = sideExtrude({10, -19, 16, -19, 12, -34, 8, -33}, 2.0f, 0.5f);
    mapUV(&trig, 0.52f, 0.02f, 0.98f, 0.48f);
    appendMesh(&m, trig);
    // the grip, raked back, wrapped in tape
    GeneratedMesh grip = sideExtrude({-64, -19, -26, -19, -44, -112, -52, -118, -86, -114, -90, -104}, 10.5f, 2.5f);
    for (GeneratedVertex& v : grip.verts) {
        v.u = 0.02f + 0.96f * (v.p.x + 10.5f) / 21.0f * 0.3f + 0.65f * (v.p.z + 90) / 64.0f;
        v.v = 0.52f + 0.46f * (-v.p.y - 19) / 99.0f;
    }
    appendMesh(&m, grip);
    // hammer and the magazine base
    GeneratedMesh hammer = sideExtrude({-78, 6, -70, 8, -84, 22, -90, 20}, 3.0f, 0.6f);
    mapUV(&hammer, 0.52f, 0.02f, 0.98f, 0.48f);
    appendMesh(&m, hammer);
    GeneratedMesh mag = bevelBox(vec3(-9.5f, -124, -90), vec3(9.5f, -116, -50), 1.0f);
    mapUV(&mag, 0.02f, 0.02f, 0.48f, 0.48f);
    appendMesh(&m, mag);
    return m;
}

// The money gun: the pistol's shape in banknote scraps. Frame 0 is assembled,
// the last frame an exploded view: the scraps hover a little way out from
// their places, turned, so the gun reads while it comes together.
static GeneratedMesh moneyGun(void)
{
    // long extrusion faces cut into scraps of a banknote's size first
    GeneratedMesh shape = refine(pistol(), 28.0f);
    // banknote UVs by a side projection (the roll picture's note area)
    for (GeneratedVertex& v : shape.verts) {
        v.u = (v.p.z + 125) / 250.0f;
        v.v = 0.75f * (1.0f - (v.p.y + 125) / 150.0f) + 0.01f * v.p.x;
    }
    Rng r = makeRng(2024);
    std::vector<int> pieceOf, pieceThick;
    GeneratedMesh scraps = shatter(shape, 40, &r, &pieceOf);
    GeneratedMesh thick = thicken(scraps, 1.2f, pieceOf, &pieceThick, 0.1f, 0.8f);
    const int pieces = 40, frames = 6;
    std::vector<Vec3> centre(pieces, vec3(0, 0, 0)), away(pieces), axis(pieces);
    std::vector<int> count(pieces, 0);
    for (size_t i = 0; i < thick.verts.size(); i++) {
        centre[pieceThick[i]] = centre[pieceThick[i]] + thick.verts[i].p;
        count[pieceThick[i]]++;
    }
    std::vector<float> spin(pieces);
    for (int k = 0; k < pieces; k++) {
        if (count[k]) centre[k] = centre[k] * (1.0f / count[k]);
        away[k] = norm(centre[k] + nextUnit(&r) * 60.0f) * nextRange(&r, 35, 110) + vec3(0, nextRange(&r, -10, 40), 0);
        axis[k] = nextUnit(&r);
        spin[k] = nextRange(&r, 0.6f, 2.2f);
    }
    for (int f = 0; f < frames; f++) {
        float t = (float)f / (frames - 1);
        float e = t * t * (3 - 2 * t);
        std::vector<GeneratedVertex> fr = thick.verts;
        for (size_t i = 0; i < fr.size(); i++) {
            int k = pieceThick[i];
            Vec3 local = rotAxis(thick.verts[i].p - centre[k], axis[k], spin[k] * e);
            fr[i].p = centre[k] + away[k] * e + local;
        }
        thick.frames.push_back(fr);
    }
    return thick;
}

// Muzzle flash: four crossed flame planes along +z and a star facing the
// axis, every face doubled so culling never hides it.
static GeneratedMesh flash(void)
{
    GeneratedMesh m;
    const float z0 = MuzzleZ + 5, len = 95, w = 26;
    for (int k = 0; k < 4; k++) {
        float a = k * Pi / 4;
        Vec3 side = vec3(cosf(a), sinf(a), 0);
        uint32_t base = (uint32_t)m.verts.size();
        addVert(&m, side * -w + vec3(0, 2, z0), 0.0f, 1.0f);
        addVert(&m, side * w + vec3(0, 2, z0), 0.5f, 1.0f);
        addVert(&m, side * w + vec3(0, 2, z0 + len), 0.5f, 0.0f);
        addVert(&m, side * -w + vec3(0, 2, z0 + len), 0.0f, 0.0f);
        addQuad(&m, base, base + 1, base + 2, base + 3);
        addQuad(&m, base, base + 3, base + 2, base + 1);
    }
    uint32_t base = (uint32_t)m.verts.size();
    const float r = 34;
    addVert(&m, vec3(-r, 2 - r, z0), 0.5f, 1.0f);
    addVert(&m, vec3(r, 2 - r, z0), 1.0f, 1.0f);
    addVert(&m, vec3(r, 2 + r, z0), 1.0f, 0.0f);
    addVert(&m, vec3(-r, 2 + r, z0), 0.5f, 0.0f);
    addQuad(&m, base, base + 1, base + 2, base + 3);
    addQuad(&m, base, base + 3, base + 2, base + 1);
    return m;
}

// Blood: the bullet passes through a point in front of the final camera keys
// (z = BloodHitZ) and blood bursts out of it, mostly onward along the shot.
// The scene poses this mesh by the bullet's flight g = part - 2 (frames evenly
// spaced in g, the bullet at z = 150 g^2 + 225), so the frames before the hit
// keep every drop as a speck inside the moving bullet and the burst begins at
// frame BloodHitFrame, exactly when the bullet reaches the point. After it the
// drops fly out on drag-slowed paths, stretch along their motion, round off
// and sink. Texture coordinates are shifted by two whole repeats: the liquid
// shader reads u >= 2 as blood (deep red body, wet glints).
static const int BloodFrames = 12, BloodHitFrame = 4;

static float bulletZAt(float g) { return 150.0f * g * g + 225.0f; }

static GeneratedMesh blood(void)
{
    const int drops = 170;
    GeneratedMesh big = ellipsoid(vec3(0, 0, 0), vec3(1, 1, 1), 8, 5),
                  small = ellipsoid(vec3(0, 0, 0), vec3(1, 1, 1), 5, 3);
    for (GeneratedVertex& v : big.verts) v.u += 2.0f;
    for (GeneratedVertex& v : small.verts) v.u += 2.0f;
    GeneratedMesh m;
    Rng r = makeRng(666);
    struct Drop {
        Vec3 vel;
        float size, stretch;
        size_t first, count;
        const GeneratedMesh* shape;
    };
    std::vector<Drop> d;
    for (int i = 0; i < drops; i++) {
        // a cone of spray onward (+z) with some back spatter, more small drops than big
        float k = nextFloat(&r);
        Vec3 spread = nextUnit(&r);
        Vec3 dir = i % 9 == 0 ? norm(vec3(0, 0, -0.6f) + spread) : norm(vec3(0, 0, 1.3f) + spread * 0.85f);
        float size =
            k < 0.15f ? nextRange(&r, 2.2f, 3.6f) : (k < 0.5f ? nextRange(&r, 1.0f, 2.0f) : nextRange(&r, 0.45f, 0.9f));
        float speed = nextRange(&r, 12.0f, 48.0f) * (1.5f - 0.2f * size);
        const GeneratedMesh* shape = size > 2.0f ? &big : &small;
        Drop drop{dir * speed + vec3(0, 10, 0), size, nextRange(&r, 1.5f, 3.5f), m.verts.size(),
                  shape->verts.size(),          shape};
        d.push_back(drop);
        appendMesh(&m, *shape);
    }
    const Vec3 hit = vec3(0, -1, bulletZAt((float)BloodHitFrame / (BloodFrames - 1)));
    for (int f = 0; f < BloodFrames; f++) {
        float g = (float)f / (BloodFrames - 1);
        float tau = f <= BloodHitFrame ? 0.0f : (float)(f - BloodHitFrame) / (BloodFrames - 1 - BloodHitFrame);
        // drag: most of the way is made early; gravity pulls harder later
        float travel = (1 - expf(-3.5f * tau)) / (1 - expf(-3.5f));
        std::vector<GeneratedVertex> fr = m.verts;
        for (const Drop& dr : d) {
            Vec3 c =
                f <= BloodHitFrame ? vec3(0, -1, bulletZAt(g)) : hit + dr.vel * travel + vec3(0, -28 * tau * tau, 0);
            Vec3 motion = dr.vel * (3.5f * expf(-3.5f * tau)) + vec3(0, -56 * tau, 0);
            Vec3 dir = norm(motion);
            Vec3 side = norm(cross(dir, fabsf(dir.y) < 0.9f ? vec3(0, 1, 0) : vec3(1, 0, 0)));
            Vec3 up = cross(side, dir);
            float radius = f <= BloodHitFrame ? 0.3f : dr.size * (0.75f + 0.25f * sinf(Pi * fminf(tau * 2.0f, 1.0f)));
            float stretch = f <= BloodHitFrame ? 1.0f : 1.0f + dr.stretch * expf(-4.0f * tau);
            for (size_t k = 0; k < dr.count; k++) {
                Vec3 q = dr.shape->verts[k].p;
                fr[dr.first + k].p = c + side * (q.x * radius) + dir * (q.y * radius * stretch) + up * (q.z * radius);
            }
        }
        m.frames.push_back(fr);
    }
    return m;
}

static GenImage wrapPicture(void)
{
    const int S = 512;
    GenImage im = makeGenImage(S, S, colour4(0, 0, 0));
    for (int y = 0; y < S; y++)
        for (int x = 0; x < S; x++) {
            float u = (x + 0.5f) / S, v = (y + 0.5f) / S;
            float n = fbm2(x * 0.05f, y * 0.05f, 4, 1101);
            Colour4 c;
            if (v < 0.5f) {
                // lighter than real bluing: the gun stands before a dark red backdrop
                c = u < 0.5f ? mixColour(rgb8(0x2a3342), rgb8(0x4c5a70), n)
                             : mixColour(rgb8(0x3c3c40), rgb8(0x646468), n);
                float scratch = hash3(x / 2, y / 24, 3, 1102) > 0.97f ? 1.0f : 0.0f;
                c = mixColour(c, rgb8(0x8a8c90), scratch * 0.5f);
                if (u < 0.5f && fmodf((float)x, 10.0f) < 2 && v > 0.38f) c = scaleColour(c, 0.5f);   // slide serrations
            } else {
                // friction tape wound round the grip, with a red stripe
                float band = fmodf(y + x * 0.25f, 22.0f);
                c = mixColour(rgb8(0x2a221e), rgb8(0x54463a), n);
                if (band < 1.5f) c = scaleColour(c, 0.4f);
                if (fabsf(v - 0.75f) < 0.02f) c = rgb8(0x8a1a12);
                c = scaleColour(c, 0.85f + 0.3f * noise2(x * 0.8f, y * 0.8f, 1103));
            }
            pixelAt(im, x, y) = c;
        }
    drawText(im, "KESTREL M47  CAL .45", 1, S * 0.25f, S * 0.3f, 16, rgb8(0x8a8c90), S * 0.42f);
    drawText(im, "MADE IN THE HOLLOW", 3, S * 0.25f, S * 0.36f, 12, rgb8(0x6a6c70), S * 0.42f);
    return im;
}

static GenImage flashPicture(void)
{
    const int S = 256;
    GenImage im = makeGenImage(S, S, colour4(0, 0, 0));
    for (int y = 0; y < S; y++)
        for (int x = 0; x < S; x++) {
            float u = (x + 0.5f) / S, v = (y + 0.5f) / S;
            float k;
            if (u < 0.5f) {
                // side flame: widest near the muzzle (v = 1), tapering to the tip
                float across = fabsf(u - 0.25f) / 0.25f, along = 1 - v;
                float width = 0.55f * (1 - along) * (1 - along) + 0.12f * (1 - along) + 0.02f;
                float n = fbm2(u * 20, v * 8, 3, 1110);
                k = clampf(1 - across / width + (n - 0.5f) * 0.6f, 0, 1) * (1 - along * 0.6f);
            } else {
                float dx = (u - 0.75f) / 0.25f, dy = (v - 0.5f) / 0.5f;
                float r = sqrtf(dx * dx + dy * dy), a = atan2f(dy, dx);
                float star = powf(fabsf(cosf(a * 3.5f)), 8.0f);
                k = clampf(1 - r / (0.35f + 0.6f * star), 0, 1);
                k = k * k;
            }
            Colour4 c = mixColour(colour4(0, 0, 0), rgb8(0xff6a10), smooth(0.0f, 0.4f, k));
            c = mixColour(c, rgb8(0xffd060), smooth(0.35f, 0.7f, k));
            c = mixColour(c, colour4(1, 1, 0.92f), smooth(0.7f, 1.0f, k));
            c.a = 1.0f;
            pixelAt(im, x, y) = c;
        }
    return im;
}

void genGun(GenContext* g)
{
    saveMesh(g, "m47.bof", pistol());
    saveMesh(g, "gun.baf", moneyGun());
    saveMesh(g, "shot.bof", flash());
    saveMesh(g, "blood.baf", blood());
    saveJpeg(g, "wrap.jpg", wrapPicture());
    saveTga(g, "shot.tga", flashPicture(), 0);
}
