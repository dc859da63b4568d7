// Content generator: the moonshine jug (intact, bursting, broken remains) and
// the liquid splash that bursts out with it.
// Texture layout shared with the label pictures (label.jpg, label_nuke.jpg and
// each cell of greet.jpg): u runs once around the jug with u = 0.5 facing +z
// (the label side), v runs down the profile by arc length from the cork top
// (v = 0) to the centre of the base (v = 1). The handle and the broken edges
// map into small glaze and raw-clay patches of the same picture.
#include "gen.h"

#include <stdio.h>

// Outer profile, bottom to top: radius and height in authored units. The jug
// stands about 290 tall, base at y = -136, cork top at y = 150.
static const float jugShape[][2] = {
    {1.5f, -136}, {40, -136}, {70, -135.5f}, {80, -134}, {86, -130}, {89, -124}, {94, -108}, {100, -86},
    {104, -62},   {106, -36}, {106, -12},    {104, 10},  {99, 30},   {91, 46},   {80, 60},   {66, 72},
    {52, 82},     {40, 90},   {32, 97},      {27, 104},  {25, 111},  {25, 117},  {27, 121},  {29, 125},
    {29, 130},    {26, 133},  {21, 134},     {20, 138},  {21, 144},  {20, 148},  {16, 150},  {1.5f, 150.5f},
};
static const int jugShapeCount = sizeof(jugShape) / sizeof(jugShape[0]);

static std::vector<ProfilePt> jugProfile(void)
{
    std::vector<ProfilePt> p;
    float total = 0;
    for (int i = 1; i < jugShapeCount; i++)
        total += sqrtf((jugShape[i][0] - jugShape[i - 1][0]) * (jugShape[i][0] - jugShape[i - 1][0]) +
                       (jugShape[i][1] - jugShape[i - 1][1]) * (jugShape[i][1] - jugShape[i - 1][1]));
    float acc = total;
    for (int i = 0; i < jugShapeCount; i++) {
        if (i > 0)
            acc -= sqrtf((jugShape[i][0] - jugShape[i - 1][0]) * (jugShape[i][0] - jugShape[i - 1][0]) +
                         (jugShape[i][1] - jugShape[i - 1][1]) * (jugShape[i][1] - jugShape[i - 1][1]));
        p.push_back(ProfilePt{jugShape[i][0], jugShape[i][1], acc / total});
    }
    return p;
}

// v of the outer surface at height y (on the side of the jug, not the base).
float jugVAtY(float y)
{
    std::vector<ProfilePt> p = jugProfile();
    for (int i = 3; i + 1 < (int)p.size(); i++)
        if (y >= p[i].y && y <= p[i + 1].y) return mixf(p[i].v, p[i + 1].v, (y - p[i].y) / (p[i + 1].y - p[i].y));
    return y < 0 ? p[3].v : 0.0f;
}

// The intact jug: lathe body plus a loop handle on the +x side, neck to shoulder.
// segs around; coarse keeps every other profile point (the field's broken jugs).
static GeneratedMesh jugIntact(int segs, int coarse)
{
    std::vector<ProfilePt> prof = jugProfile();
    if (coarse) {
        std::vector<ProfilePt> keep;
        for (size_t i = 0; i < prof.size(); i++)
            if (i % 2 == 0 || i + 1 == prof.size()) keep.push_back(prof[i]);
        prof = keep;
    }
    GeneratedMesh m = lathe(prof, segs);
    std::vector<Vec3> path;
    std::vector<float> rad;
    int steps = coarse ? 8 : 16;
    for (int i = 0; i <= steps; i++) {
        float t = (float)i / steps;
        float a = Pi * t;   // half loop from the neck (t = 0) out and down to the shoulder
        Vec3 p = vec3(24 + 48 * sinf(a) + 30 * t, 108 - 50 * t + 14 * sinf(a), 0);
        path.push_back(p);
        rad.push_back(7.0f - 1.0f * sinf(a));
    }
    GeneratedMesh handle = tube(path, rad, coarse ? 6 : 10, 0);
    mapUV(&handle, 0.02f, jugVAtY(70), 0.06f, jugVAtY(60));
    appendMesh(&m, handle);
    return m;
}

struct Piece {
    Vec3 centre, velocity, axis, restNormal;
    float spin;
    int stays;
};

static std::vector<Piece> pieceInfo(const GeneratedMesh& m, const std::vector<int>& pieceOf, int count, uint32_t seed,
                                    size_t outer)
{
    std::vector<Piece> pcs(count);
    std::vector<int> n(count, 0);
    std::vector<Vec3> normals = vertexNormals(m.verts, m.tris);
    for (Piece& p : pcs) p = Piece{vec3(0, 0, 0), vec3(0, 0, 0), vec3(0, 1, 0), vec3(0, 0, 0), 0, 0};
    for (size_t i = 0; i < m.verts.size(); i++) {
        pcs[pieceOf[i]].centre = pcs[pieceOf[i]].centre + m.verts[i].p;
        if (i < outer) pcs[pieceOf[i]].restNormal = pcs[pieceOf[i]].restNormal + normals[i];
        n[pieceOf[i]]++;
    }
    Rng r = makeRng(seed);
    for (int i = 0; i < count; i++) {
        Piece& p = pcs[i];
        if (n[i]) p.centre = p.centre * (1.0f / n[i]);
        p.restNormal = norm(p.restNormal);
        Vec3 out = norm(vec3(p.centre.x, 0, p.centre.z) + vec3(0, 0.35f + nextFloat(&r) * 0.5f, 0) * 100.0f);
        if (p.centre.y > 120) out = norm(vec3(nextRange(&r, -0.3f, 0.3f), 1, nextRange(&r, -0.3f, 0.3f)));
        out = norm(out + nextUnit(&r) * 0.35f);
        p.velocity = out * nextRange(&r, 260, 520);
        p.axis = nextUnit(&r);
        p.spin = nextRange(&r, 1.5f, 5.0f) *
                 (nextFloat(&r) < 0.5f ? -1.0f : 1.0f);   // at most ~0.6 rad a frame: blends keep their size
        p.stays = p.centre.y < -95;
    }
    return pcs;
}

// Pose of one burst frame at progress tau in [0, 1]: each shard flies out on its
// own line with drag and a little gravity and tumbles about its own axis.
static std::vector<GeneratedVertex> burstFrame(const GeneratedMesh& m, const std::vector<int>& pieceOf,
                                               const std::vector<Piece>& pcs, float tau)
{
    std::vector<GeneratedVertex> out = m.verts;
    float travel = (1.0f - expf(-2.2f * tau)) / (1.0f - expf(-2.2f));
    for (size_t i = 0; i < out.size(); i++) {
        const Piece& p = pcs[pieceOf[i]];
        float k = p.stays ? 0.12f : 1.0f;
        Vec3 local = out[i].p - p.centre;
        local = rotAxis(local, p.axis, p.spin * tau * k);
        Vec3 c = p.centre + p.velocity * (travel * k) + vec3(0, -120.0f * tau * tau * k, 0);
        out[i].p = c + local;
    }
    return out;
}

// Resting pose: shards lie on the trunk below the jug (its top at y = -142 when
// the trunk sits 187 below the jug), the lowest ring of the jug stays standing.
static std::vector<GeneratedVertex> restFrame(const GeneratedMesh& m, const std::vector<int>& pieceOf,
                                              const std::vector<Piece>& pcs, uint32_t seed)
{
    std::vector<GeneratedVertex> out = m.verts;
    Rng r = makeRng(seed);
    int count = (int)pcs.size();
    std::vector<Vec3> place(count), axis(count);
    std::vector<float> angle(count), yaw(count), drop(count);
    for (int i = 0; i < count; i++) {
        const Piece& p = pcs[i];
        Vec3 want = nextFloat(&r) < 0.7f ? vec3(0, 1, 0) : vec3(0, -1, 0);
        Vec3 ax = cross(p.restNormal, want);
        float s = len(ax);
        axis[i] = s > 1e-4f ? ax * (1.0f / s) : vec3(1, 0, 0);
        angle[i] = atan2f(s, dot(p.restNormal, want));
        yaw[i] = nextRange(&r, 0, 2 * Pi);
        float along = nextRange(&r, -160, 160);
        float across = nextRange(&r, -26, 26);
        if (nextFloat(&r) < 0.3f) along = nextRange(&r, -70, 70);
        place[i] = vec3(along, 0, across);
    }
    // lowest point of each turned shard, so it can be set down on the trunk
    std::vector<float> low(count, 1e30f);
    std::vector<Vec3> turned(out.size());
    for (size_t i = 0; i < out.size(); i++) {
        int k = pieceOf[i];
        Vec3 local = m.verts[i].p - pcs[k].centre;
        if (!pcs[k].stays) local = rotY(rotAxis(local, axis[k], angle[k]), yaw[k]);
        turned[i] = local;
        low[k] = fminf(low[k], local.y);
    }
    for (size_t i = 0; i < out.size(); i++) {
        int k = pieceOf[i];
        if (pcs[k].stays) continue;
        float top = -187.0f + sqrtf(fmaxf(45.0f * 45.0f - place[k].z * place[k].z, 0.0f));
        out[i].p = vec3(place[k].x, top - low[k] + 1.0f, place[k].z) + turned[i];
    }
    return out;
}

// Liquid droplets: stretched ellipsoids flying out of the jug. Frame 0 keeps
// them small and hidden inside the jug; later frames spread them with the shards.
static GeneratedMesh splash(void)
{
    const int drops = 56, segs = 8, rings = 5, frameCount = 10;
    GeneratedMesh unit = ellipsoid(vec3(0, 0, 0), vec3(1, 1, 1), segs, rings);
    GeneratedMesh m;
    struct Drop {
        Vec3 start, vel;
        float size;
    };
    std::vector<Drop> d;
    Rng r = makeRng(4242);
    for (int i = 0; i < drops; i++) {
        Vec3 s = vec3(nextRange(&r, -50, 50), nextRange(&r, -80, 60), nextRange(&r, -50, 50));
        Vec3 dir = norm(vec3(s.x, 0, s.z) + vec3(0, nextRange(&r, 10, 70), 0) + nextUnit(&r) * 30.0f);
        d.push_back(Drop{s, dir * nextRange(&r, 200, 480), nextRange(&r, 4, 10)});
        appendMesh(&m, unit);
    }
    size_t per = unit.verts.size();
    for (int f = 0; f < frameCount; f++) {
        float tau = (float)f / (frameCount - 1);
        float travel = (1.0f - expf(-2.5f * tau)) / (1.0f - expf(-2.5f));
        std::vector<GeneratedVertex> fr = m.verts;
        for (int i = 0; i < drops; i++) {
            Vec3 vel = d[i].vel + vec3(0, -260.0f * tau, 0);
            Vec3 dir = norm(vel);
            Vec3 side = norm(cross(dir, fabsf(dir.y) < 0.9f ? vec3(0, 1, 0) : vec3(1, 0, 0)));
            Vec3 up = cross(side, dir);
            float grow = f == 0 ? 0.25f : (0.6f + 0.8f * sinf(Pi * fminf(tau * 1.3f, 1.0f)));
            float radius = d[i].size * grow;
            float stretch = f == 0 ? 1.0f : 1.0f + 2.2f * (1.0f - tau) + 0.6f;
            Vec3 c = d[i].start + d[i].vel * travel + vec3(0, -140.0f * tau * tau, 0);
            for (size_t k = 0; k < per; k++) {
                Vec3 q = unit.verts[k].p;
                fr[i * per + k].p = c + side * (q.x * radius) + dir * (q.y * radius * stretch) + up * (q.z * radius);
            }
        }
        m.frames.push_back(fr);
    }
    return m;
}

// Shards of a jug: the shattered surface given a glaze-thin wall, with raw
// clay on the broken edges (a patch of the picture's base ring).
static GeneratedMesh shards(const GeneratedMesh& intact, int pieceCount, uint32_t seed, std::vector<int>* pieceThick,
                            std::vector<Piece>* pcs)
{
    Rng r = makeRng(seed);
    std::vector<int> pieceOf;
    GeneratedMesh split = shatter(intact, pieceCount, &r, &pieceOf);
    smoothBreaks(&split, pieceOf, 4, 0.6f);   // cracks, not steps along the lathe grid
    GeneratedMesh thick = thicken(split, 5.0f, pieceOf, pieceThick, 0.5f, 0.985f);
    *pcs = pieceInfo(thick, *pieceThick, pieceCount, seed + 7, split.verts.size());
    return thick;
}

void genJug(GenContext* g)
{
    GeneratedMesh intact = jugIntact(40, 0);
    saveMesh(g, "jug_intact.bof", intact);

    std::vector<int> pieceOf;
    std::vector<Piece> pcs;
    GeneratedMesh burst = shards(jugIntact(30, 0), 30, 1977, &pieceOf, &pcs);
    const int frameCount = 10;
    GeneratedMesh base = burst;
    for (int f = 0; f < frameCount; f++) {
        float tau = powf((float)f / (frameCount - 1), 1.3f);
        burst.frames.push_back(burstFrame(base, pieceOf, pcs, tau));
    }
    saveMesh(g, "jug.baf", burst);

    // the sixteen jugs of the field stay cheap: a coarser jug in fewer pieces
    GeneratedMesh broken = shards(jugIntact(20, 1), 18, 1980, &pieceOf, &pcs);
    GeneratedMesh rest = broken;
    for (int f = 0; f < 5; f++) broken.frames.push_back(restFrame(rest, pieceOf, pcs, 300 + f * 17));
    saveMesh(g, "jug_broked.baf", broken);

    saveMesh(g, "splash.baf", splash());
}
