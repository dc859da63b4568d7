// Content generator: the mushroom cloud. shroom.baf grows a fireball on the
// ground into a stem with a rolling cap; shroom_top.baf carries on from there,
// the cap climbing to about 1500 units and spreading, the dust skirt widening.
// Both are lathes of one profile (ground skirt, stem, cap underside, cap roll,
// dome) resampled to a fixed point count, with billows from 3D noise pushed
// along the normal. smoke.jpg: u around, v down the profile (dome 0, skirt 1);
// smoke_n.jpg: the billows' normal map (tangent space, red right, green up).
#include "gen.h"

static const float GroundY = -130.0f;
static const int ProfilePoints = 48, Around = 40, Frames = 8;

struct CloudShape {
    float skirtR, stemR, capY, capR, capRoll;   // cap: centre height, ring radius, roll radius
};

// Cloud shape at growth g: 0 the fireball, 1 the end of the first mesh, 2 the end.
static CloudShape shapeAt(float g)
{
    if (g <= 1.0f) {
        float e = sqrtf(g);
        return CloudShape{mixf(80, 220, e), mixf(55, 60, g), mixf(GroundY + 75, 560, g), mixf(20, 190, e),
                          mixf(75, 120, e)};
    }
    float h = g - 1.0f;
    return CloudShape{mixf(220, 520, h), mixf(60, 80, h), mixf(560, 1220, h), mixf(190, 420, h), mixf(120, 230, h)};
}

static void appendArc(std::vector<Vec3>* pts, float cr, float cy, float rad, float a0, float a1, int n)
{
    for (int i = 0; i <= n; i++) {
        float a = a0 + (a1 - a0) * i / n;
        pts->push_back(vec3(cr + rad * cosf(a), cy + rad * sinf(a), 0));
    }
}

// (r, y) polyline from the skirt's rim to the top of the dome, resampled by arc length.
static std::vector<ProfilePt> cloudProfile(const CloudShape& s)
{
    std::vector<Vec3> pts;   // x = r, y = y
    pts.push_back(vec3(s.skirtR, GroundY, 0));
    float capBottom = s.capY - s.capRoll;
    if (capBottom > GroundY + 80) {
        pts.push_back(vec3((s.skirtR + s.stemR) * 0.55f, GroundY + 25, 0));
        pts.push_back(vec3(s.stemR * 1.25f, GroundY + 60, 0));
        for (int i = 1; i <= 6; i++) {
            float t = (float)i / 6;
            float y = mixf(GroundY + 60, capBottom, t);
            pts.push_back(vec3(s.stemR * (1.0f - 0.12f * sinf(Pi * t)), y, 0));
        }
    }
    // cap: from under the roll, around its outside and over the top to the axis
    float ring = fmaxf(s.capR, s.capRoll * 0.3f);
    appendArc(&pts, ring, s.capY, s.capRoll, -Pi * 0.5f, Pi * 0.55f, 16);
    pts.push_back(vec3(ring * 0.45f, s.capY + s.capRoll * 0.92f, 0));
    pts.push_back(vec3(1.5f, s.capY + s.capRoll * 0.85f, 0));
    // resample
    std::vector<float> acc(1, 0.0f);
    for (size_t i = 1; i < pts.size(); i++) acc.push_back(acc.back() + len(pts[i] - pts[i - 1]));
    std::vector<ProfilePt> out;
    size_t k = 1;
    for (int i = 0; i < ProfilePoints; i++) {
        float want = acc.back() * i / (ProfilePoints - 1);
        while (k + 1 < acc.size() && acc[k] < want) k++;
        float t = (want - acc[k - 1]) / fmaxf(acc[k] - acc[k - 1], 1e-4f);
        Vec3 p = lerpVec3(pts[k - 1], pts[k], clampf(t, 0, 1));
        out.push_back(ProfilePt{fmaxf(p.x, 1.5f), p.y, 1.0f - (float)i / (ProfilePoints - 1)});
    }
    return out;
}

// One frame: the lathe of the profile with billows rolling up and outward.
static std::vector<GeneratedVertex> cloudFrame(float g, GeneratedMesh* topology)
{
    CloudShape s = shapeAt(g);
    GeneratedMesh m = lathe(cloudProfile(s), Around);
    std::vector<Vec3> n = vertexNormals(m.verts, m.tris);
    for (size_t i = 0; i < m.verts.size(); i++) {
        Vec3 p = m.verts[i].p;
        float r = sqrtf(p.x * p.x + p.z * p.z);
        // billows sized to the part they sit on: small on the stem, big on the cap
        float feature = fminf(0.3f * r + 8.0f, 0.45f * s.capRoll);
        float f = 1.0f / (feature * 2.2f);
        float rise = g * 1.5f;   // the billows roll upward as the cloud grows
        float h = fbm3(p.x * f, p.y * f - rise, p.z * f, 4, 1301);
        float big = noise3(p.x * 0.004f, p.y * 0.004f - g * 0.5f, p.z * 0.004f, 1302);
        float amp = feature * (0.7f + 0.8f * big) * (p.y > GroundY + 10 ? 1.0f : 0.3f);
        // seam vertices share a position, so they move together
        m.verts[i].p = p + n[i] * ((h - 0.45f) * amp * 1.6f);
    }
    if (topology->verts.empty()) *topology = m;
    return m.verts;
}

static GeneratedMesh cloud(float g0, float g1)
{
    GeneratedMesh m;
    for (int f = 0; f < Frames; f++) {
        float t = (float)f / (Frames - 1);
        m.frames.push_back(cloudFrame(mixf(g0, g1, t), &m));
    }
    m.verts = m.frames[0];
    return m;
}

static GenImage smokePicture(GenImage* height)
{
    const int S = 512;
    GenImage im = makeGenImage(S, S, colour4(0, 0, 0));
    *height = makeGenImage(S, S, colour4(0, 0, 0));
    for (int y = 0; y < S; y++)
        for (int x = 0; x < S; x++) {
            float u = (x + 0.5f) / S, v = (y + 0.5f) / S;
            // cauliflower billows: fractal noise, sharpened
            float b = fbm2Tiled(u * 8, v * 8, 8, 8, 5, 1310);
            float cells = 1.0f - fabsf(noise2Tiled(u * 16, v * 16, 16, 16, 1311) * 2 - 1);
            float hgt = b * 0.7f + cells * 0.3f;
            pixelAt(*height, x, y) = colour4(hgt, hgt, hgt);
            // colour down the profile: sooty dome, fiery roll and underside, dusty stem
            Colour4 smoke = mixColour(rgb8(0x4a4040), rgb8(0x9a8a80), hgt);
            Colour4 fire = mixColour(rgb8(0x8a2a08), rgb8(0xffb040), hgt);
            Colour4 dust = mixColour(rgb8(0x5a4a3a), rgb8(0x8a7460), hgt);
            float fiery = smooth(0.1f, 0.25f, v) * (1.0f - smooth(0.35f, 0.55f, v));
            Colour4 c = mixColour(smoke, fire, fiery * (0.5f + 0.5f * hgt));
            c = mixColour(c, dust, smooth(0.5f, 0.7f, v));
            pixelAt(im, x, y) = c;
        }
    return im;
}

void genShroom(GenContext* g)
{
    saveMesh(g, "shroom.baf", cloud(0.0f, 1.0f));
    saveMesh(g, "shroom_top.baf", cloud(1.0f, 2.0f));
    GenImage height;
    GenImage col = smokePicture(&height);
    saveJpeg(g, "smoke.jpg", col);
    saveJpeg(g, "smoke_n.jpg", normalFromHeight(height, 4.0f), 92);
}
