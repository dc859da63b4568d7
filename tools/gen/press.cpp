// Content generator: the money press (press.baf, rollers and flywheel turning
// through one quarter-second loop whose last frame matches its first), the
// sheets of bills it prints (press_bill.baf, one sheet length per loop), the
// kaleidoscope wedge (kaleido.bof) and the press picture (press.jpg atlas:
// green enamel with gold lining u 0..0.5 v 0..0.5, steel u 0.5..1 v 0..0.5,
// brass u 0..0.5 v 0.5..1, crate wood and the money pile u 0.5..1 v 0.5..1).
#include "gen.h"

static const int LoopFrames = 9;
static const float NipY = 48.0f, TableY = 47.0f, TableEnd = 175.0f, SheetGap = 80.0f, SheetLen = 68.0f;

// Cylinder along z (front cap toward +z), 2-fold ridges when ridged.
static GeneratedMesh roller(float r, float halfLen, int segs, int ridged, float u0, float v0, float u1, float v1)
{
    std::vector<ProfilePt> p = {{0.5f, -halfLen, 1},    {r * 0.8f, -halfLen, 1}, {r, -halfLen + 1, 0.9f},
                                {r, halfLen - 1, 0.1f}, {r * 0.8f, halfLen, 0},  {0.5f, halfLen, 0}};
    GeneratedMesh m = lathe(p, segs);
    for (GeneratedVertex& v : m.verts) v.u = 0.5f;   // plain round metal: turning shows in the shape only
    if (ridged)
        for (GeneratedVertex& v : m.verts) {
            float a = atan2f(v.p.x, v.p.z);
            float k = powf(fabsf(cosf(a)), 40.0f);   // two clamp bars, opposite each other
            float rr = sqrtf(v.p.x * v.p.x + v.p.z * v.p.z);
            if (rr > r * 0.9f) {
                float s = (rr + k * 2.5f) / rr;
                v.p.x *= s;
                v.p.z *= s;
            }
        }
    mapUV(&m, u0, v0, u1, v1);
    rotateMeshX(&m, Pi / 2);   // lathe axis y -> z
    return m;
}

static GeneratedMesh flywheel(float R)
{
    GeneratedMesh m = torus(R, 5.0f, 36, 8, 0, 2 * Pi);
    for (GeneratedVertex& v : m.verts) v.u = 0.5f;
    mapUV(&m, 0.0f, 0.5f, 0.5f, 1.0f);
    for (int s = 0; s < 6; s++) {
        GeneratedMesh spoke = bevelBox(vec3(-2.5f, -2.5f, 4), vec3(2.5f, 2.5f, R), 0.8f);
        mapUV(&spoke, 0.05f, 0.55f, 0.45f, 0.95f);
        rotateMeshY(&spoke, s * Pi / 3);
        appendMesh(&m, spoke);
    }
    GeneratedMesh hub = lathe({{0.5f, -6, 1}, {9, -6, 1}, {9, 6, 0}, {0.5f, 6, 0}}, 12);
    for (GeneratedVertex& v : hub.verts) v.u = 0.5f;
    mapUV(&hub, 0.0f, 0.5f, 0.5f, 1.0f);
    appendMesh(&m, hub);
    rotateMeshX(&m, Pi / 2);   // wheel plane x-y, axle along z
    return m;
}

// One side frame of the press, an arched casting in the x-y plane at depth z.
static GeneratedMesh sideFrame(float z)
{
    std::vector<float> xy = {-95, -100, 95,  -100, 95,  -70, 60,  -60, 45,  20,  40,  110,
                             20,  130,  -20, 130,  -40, 110, -45, 20,  -60, -60, -95, -70};
    GeneratedMesh m = extrude(xy, z - 5, z + 5, 1.5f);
    mapUV(&m, 0.02f, 0.02f, 0.48f, 0.48f);
    return m;
}

struct Part {
    GeneratedMesh mesh;
    Vec3 centre;
    float turns;   // rotation about z per loop, radians
};

static std::vector<Part> pressParts(void)
{
    std::vector<Part> parts;
    std::vector<GeneratedMesh> pieces;
    pieces.push_back(sideFrame(-58));
    pieces.push_back(sideFrame(58));
    GeneratedMesh base = bevelBox(vec3(-110, -100, -70), vec3(110, -70, 70), 3);
    mapUV(&base, 0.02f, 0.02f, 0.48f, 0.48f);
    pieces.push_back(base);
    GeneratedMesh inner = bevelBox(vec3(-40, -70, -53), vec3(40, -8, 53), 2);
    mapUV(&inner, 0.02f, 0.02f, 0.48f, 0.48f);
    pieces.push_back(inner);
    // feed board on the -x side and the delivery table on the +x side
    GeneratedMesh feed = bevelBox(vec3(-160, 40, -50), vec3(-30, 44, 50), 1);
    rotateMeshZ(&feed, -0.12f);
    mapUV(&feed, 0.52f, 0.52f, 0.98f, 0.7f);
    pieces.push_back(feed);
    GeneratedMesh table = bevelBox(vec3(30, TableY - 5, -50), vec3(TableEnd, TableY - 1, 50), 1);
    mapUV(&table, 0.52f, 0.52f, 0.98f, 0.7f);
    pieces.push_back(table);
    for (int s = -1; s <= 1; s += 2) {
        GeneratedMesh leg =
            bevelBox(vec3(TableEnd - 12, -100, s * 45 - 4), vec3(TableEnd - 4, TableY - 5, s * 45 + 4), 1);
        mapUV(&leg, 0.02f, 0.02f, 0.48f, 0.48f);
        pieces.push_back(leg);
    }
    // the crate the sheets drop into, piled with money
    GeneratedMesh crate = bevelBox(vec3(TableEnd + 2, -100, -60), vec3(TableEnd + 90, 20, 60), 2);
    mapUV(&crate, 0.52f, 0.72f, 0.98f, 0.98f);
    pieces.push_back(crate);
    GeneratedMesh pile = bevelBox(vec3(TableEnd + 6, 20, -56), vec3(TableEnd + 86, 24, 56), 2);
    mapUV(&pile, 0.53f, 0.52f, 0.97f, 0.69f);
    pieces.push_back(pile);
    // brass nameplate and the cross bar
    GeneratedMesh bar = bevelBox(vec3(-20, 120, -60), vec3(20, 132, 60), 2);
    mapUV(&bar, 0.05f, 0.55f, 0.45f, 0.95f);
    pieces.push_back(bar);
    // The small pieces on top and in front (appended from the bar back to the
    // feed board) are drawn before the side frames, the base and the inner box
    // they hide, which were otherwise shaded again under them (a third more of
    // scene 5's press pixels than it shows). Those three keep their own order:
    // they meet face to face, and where depths tie the one drawn first shows.
    GeneratedMesh staticBody;
    const size_t framesBaseInner = 4;
    for (size_t k = pieces.size(); k-- > framesBaseInner;) appendMesh(&staticBody, pieces[k]);
    for (size_t k = 0; k < framesBaseInner; k++) appendMesh(&staticBody, pieces[k]);
    parts.push_back(Part{staticBody, vec3(0, 0, 0), 0});

    parts.push_back(Part{roller(28, 52, 28, 1, 0.5f, 0.0f, 1.0f, 0.5f), vec3(0, 20, 0), -Pi});
    parts.push_back(Part{roller(22, 52, 24, 1, 0.5f, 0.0f, 1.0f, 0.5f), vec3(0, 70, 0), Pi});
    parts.push_back(Part{roller(7, 50, 12, 0, 0.0f, 0.5f, 0.5f, 1.0f), vec3(-24, 97, 0), -Pi});
    parts.push_back(Part{roller(7, 50, 12, 0, 0.0f, 0.5f, 0.5f, 1.0f), vec3(24, 97, 0), -Pi});
    parts.push_back(Part{roller(9, 50, 12, 0, 0.0f, 0.5f, 0.5f, 1.0f), vec3(0, 112, 0), Pi});
    parts.push_back(Part{flywheel(58), vec3(0, 20, 78), 2 * Pi / 3});
    GeneratedMesh axle = roller(6, 14, 12, 0, 0.5f, 0.0f, 1.0f, 0.5f);
    translateMesh(&axle, vec3(0, 0, 6));
    parts.push_back(Part{axle, vec3(0, 20, 64), 0});
    return parts;
}

static GeneratedMesh pressMesh(void)
{
    std::vector<Part> parts = pressParts();
    GeneratedMesh all;
    std::vector<size_t> starts;
    for (const Part& p : parts) {
        starts.push_back(all.verts.size());
        appendMesh(&all, p.mesh);
    }
    starts.push_back(all.verts.size());
    for (int f = 0; f < LoopFrames; f++) {
        float t = (float)f / (LoopFrames - 1);
        std::vector<GeneratedVertex> fr = all.verts;
        for (size_t k = 0; k < parts.size(); k++)
            for (size_t i = starts[k]; i < starts[k + 1]; i++)
                fr[i].p = rotZ(all.verts[i].p, parts[k].turns * t) + parts[k].centre;
        all.frames.push_back(fr);
    }
    all.verts = all.frames[0];
    return all;
}

// Path of the sheets: up out of the press interior to the nip, along the
// delivery table, over its end and down into the money crate.
static Vec3 sheetPath(float s)
{
    if (s < 0) return vec3(0, NipY + s, 0);
    if (s <= TableEnd) return vec3(s, TableY + 0.5f, 0);
    float d = s - TableEnd;
    const float R = 18.0f, arc = R * Pi / 2;
    if (d < arc) {
        float a = d / R;
        return vec3(TableEnd + R * sinf(a), TableY + 0.5f - R * (1 - cosf(a)), 0);
    }
    return vec3(TableEnd + R, TableY + 0.5f - R - (d - arc), 0);
}

static GeneratedMesh sheetsMesh(void)
{
    const int sheets = 4, rows = 14, cols = 4;
    GeneratedMesh m;
    for (int k = 0; k < sheets; k++) {
        uint32_t base = (uint32_t)m.verts.size();
        for (int r = 0; r <= rows; r++)
            for (int c = 0; c <= cols; c++) addVert(&m, vec3(0, 0, 0), (float)c / cols, (float)r / rows);
        for (int r = 0; r < rows; r++)
            for (int c = 0; c < cols; c++) {
                uint32_t a = base + r * (cols + 1) + c, b = a + 1, d = a + cols + 1, e = d + 1;
                addQuad(&m, a, d, e, b);
            }
    }
    size_t per = (size_t)(rows + 1) * (cols + 1);
    for (int f = 0; f < LoopFrames; f++) {
        float t = (float)f / (LoopFrames - 1);
        std::vector<GeneratedVertex> fr = m.verts;
        for (int k = 0; k < sheets; k++) {
            float lead = (k + t) * SheetGap;
            for (int r = 0; r <= rows; r++) {
                float s = lead - SheetLen * r / rows;
                Vec3 p = sheetPath(s);
                // a little flutter on the table and while falling
                float flutter = s > 20 ? 1.2f * sinf(s * 0.09f) : 0.0f;
                for (int c = 0; c <= cols; c++) {
                    float z = -40.0f + 80.0f * c / cols;
                    fr[k * per + r * (cols + 1) + c].p = p + vec3(0, flutter * (s < TableEnd ? 1.0f : 0.0f), z);
                }
            }
        }
        m.frames.push_back(fr);
    }
    m.verts = m.frames[0];
    return m;
}

// A spiral ramp around the view axis in camera space (forward +z): every
// vertex sits on the ray of its screen point, at a depth that grows with the
// angle, so copies turned about the axis each show the first sector of the
// picture in front of the later ones. (u, v) is the screen position for a
// 65-degree horizontal field of view and a 16:9 picture.
static GeneratedMesh kaleido(void)
{
    GeneratedMesh m;
    const int segs = 72, rings = 6;
    const float tanHalf = tanf(32.5f * Pi / 180.0f), rhoMax = 1.45f;
    // The disc maps the screen onto itself; its depth climbs once around from
    // StartAngle, so each of N turned copies shows the screen sector from
    // StartAngle to StartAngle + 360/N degrees. Start on the left of the
    // picture, where the press body stands seen from the first camera key.
    const float StartAngle = 150.0f * Pi / 180.0f;
    for (int j = 0; j <= segs; j++) {
        float a = StartAngle + 2 * Pi * j / segs;
        float depth = 10.0f + 40.0f * j / segs;
        for (int i = 0; i <= rings; i++) {
            float rho = rhoMax * i / rings;
            float sx = rho * cosf(a), sy = rho * sinf(a);
            Vec3 p = vec3(sx * tanHalf * depth, sy * tanHalf * depth, depth);
            addVert(&m, p, 0.5f + 0.5f * sx, 1.0f - (0.5f + 0.5f * sy * 16.0f / 9.0f));
        }
    }
    for (int j = 0; j < segs; j++)
        for (int i = 0; i < rings; i++) {
            uint32_t a = j * (rings + 1) + i, b = a + 1, c = a + rings + 2, d = a + rings + 1;
            // facing the eye at the origin (toward -z)
            addQuad(&m, a, d, c, b);
        }
    return m;
}

static GenImage pressPicture(void)
{
    const int S = 512;
    GenImage im = makeGenImage(S, S, colour4(0, 0, 0));
    for (int y = 0; y < S; y++)
        for (int x = 0; x < S; x++) {
            float u = (x + 0.5f) / S, v = (y + 0.5f) / S;
            Colour4 c;
            float n = fbm2(x * 0.04f, y * 0.04f, 4, 1001);
            if (u < 0.5f && v < 0.5f) {
                c = mixColour(rgb8(0x1a3a2a), rgb8(0x2a5a40), n);   // green enamel
                float wear = smooth(0.7f, 0.85f, fbm2(x * 0.08f, y * 0.08f, 3, 1002));
                c = mixColour(c, rgb8(0x3a3a3a), wear * 0.7f);
                float lx = fminf(fmodf((float)x, 64.0f), 64 - fmodf((float)x, 64.0f)),
                      ly = fminf(fmodf((float)y, 64.0f), 64 - fmodf((float)y, 64.0f));
                if (fabsf(fminf(lx, ly) - 5) < 1.0f) c = rgb8(0xd0a040);   // gold lining
            } else if (v < 0.5f) {
                c = mixColour(rgb8(0x8a8c90), rgb8(0xc8ccd0),
                              0.5f + 0.5f * sinf(y * 0.7f) * 0.3f + n * 0.3f);   // turned steel
            } else if (u < 0.5f) {
                c = mixColour(rgb8(0x8a6a20), rgb8(0xe0b850), n);   // brass
            } else if (v < 0.7f) {
                // wood of the tables: planks
                float plank = fmodf((float)y, 24.0f);
                c = mixColour(rgb8(0x5a3a20), rgb8(0x9a6a40), fbm2(x * 0.02f, y * 0.4f, 4, 1003));
                if (plank < 1.5f) c = scaleColour(c, 0.4f);
            } else {
                // crate slats and the green of the money pile
                float slat = fmodf((float)y, 32.0f);
                c = mixColour(rgb8(0x7a5a30), rgb8(0xb08a50), fbm2(x * 0.02f, y * 0.3f, 4, 1004));
                if (slat < 3) c = scaleColour(c, 0.35f);
            }
            pixelAt(im, x, y) = c;
        }
    // the money on the pile patch (u 0.53..0.97, v 0.52..0.69) is bundles of notes
    for (int k = 0; k < 40; k++) {
        Rng r = makeRng(1010 + k);
        float x = nextRange(&r, 0.53f, 0.9f) * S, y = nextRange(&r, 0.52f, 0.66f) * S;
        fillRoundRect(im, x, y, x + 40, y + 17, 2, mixColour(rgb8(0x7a9a6a), rgb8(0xc8d8b0), nextFloat(&r)), 1.0f);
        strokeRect(im, x + 2, y + 2, x + 38, y + 15, 1.0f, rgb8(0x2a5a34));
    }
    drawText(im, "KESTREL MINT & PRESS CO.", 0, S * 0.25f, S * 0.78f, 20, rgb8(0x3a2a10), S * 0.45f);
    return im;
}

void genPress(GenContext* g)
{
    saveMesh(g, "press.baf", pressMesh());
    saveMesh(g, "press_bill.baf", sheetsMesh());
    saveMesh(g, "kaleido.bof", kaleido());
    saveJpeg(g, "press.jpg", pressPicture());
}
