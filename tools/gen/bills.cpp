// Content generator: money. The banknote mesh (bill.bof, 40 × 17, two-sided),
// the four note designs (bill_po/bl/bo/da.jpg, "The United Stills of America"),
// the uncut press sheets (bills0.jpg fronts, bills1.jpg backs: 2 × 4 notes)
// and the money roll (roll.bof with roll.jpg). roll.jpg layout: rows v 0..0.75
// are a note wrapped around the roll (u around, v along it), v 0.75..1 holds
// the rolled end spiral (u 0..0.25) and the rubber band (u 0.5..1).
#include "gen.h"

#include <stdio.h>

// A banknote in the x-y plane, front toward +z, gently waved; the back layer
// has the reverse winding. The engine mirrors mesh files in z on load, so the
// front's u runs against x and the back's with it: both sides then read
// correctly on screen, not mirrored.
static GeneratedMesh billMesh(void)
{
    GeneratedMesh m;
    const int nx = 10, ny = 3;
    for (int side = 0; side < 2; side++) {
        uint32_t base = (uint32_t)m.verts.size();
        for (int j = 0; j <= ny; j++)
            for (int i = 0; i <= nx; i++) {
                float s = (float)i / nx, t = (float)j / ny;
                float x = -20 + 40 * s, y = 8.5f - 17 * t;
                float z = 1.6f * sinf(s * Pi * 1.5f + 0.3f) + 0.6f * t;
                addVert(&m, vec3(x, y, z), side ? s : 1.0f - s, t);
            }
        for (int j = 0; j < ny; j++)
            for (int i = 0; i < nx; i++) {
                uint32_t a = base + j * (nx + 1) + i, b = a + 1, c = a + nx + 2, d = a + nx + 1;
                // front: counter-clockwise seen from +z (a top-left, d bottom-left)
                if (side == 0)
                    addQuad(&m, d, c, b, a);
                else
                    addQuad(&m, a, b, c, d);
            }
    }
    return m;
}

struct NoteStyle {
    const char* value;
    const char* words;
    int ink, tint;
    int portrait;   // 0 possum, 1 banjo, 2 bootlegger, 3 jug
    const char* name;
};
static const NoteStyle notes[4] = {
    {"1", "ONE DOLLAR", 0x1e4a2a, 0xdfe6cf, 0, "OL' POSSUM"},
    {"5", "FIVE DOLLARS", 0x1e3a5a, 0xd8e0dc, 1, "THE BANJO"},
    {"20", "TWENTY DOLLARS", 0x4a3420, 0xe6dcc8, 2, "A. BOOTLEGGER"},
    {"100", "ONE HUNDRED DOLLARS", 0x3a2a50, 0xe0dad8, 3, "THE JUG"},
};

// Fine guilloche rosette: overlapping sine loops.
static void rosette(GenImage& im, float cx, float cy, float r, Colour4 ink, int petals)
{
    for (int k = 0; k < 6; k++) {
        float prevx = 0, prevy = 0;
        for (int i = 0; i <= 360; i++) {
            float a = 2 * Pi * i / 360;
            float rr = r * (0.75f + 0.25f * sinf(petals * a + k * 0.5f));
            float x = cx + rr * cosf(a), y = cy + rr * sinf(a);
            if (i) drawLine(im, prevx, prevy, x, y, 0.8f, ink);
            prevx = x;
            prevy = y;
        }
    }
}

static void portrait(GenImage& im, int kind, float cx, float cy, float s, Colour4 ink)
{
    Colour4 light = mixColour(ink, colour4(1, 1, 1), 0.55f);
    switch (kind) {
    case 0:   // possum: pointed face, round ears, beady eye
        fillCircle(im, cx, cy + s * 0.25f, s * 0.42f, light, 1.5f);
        fillCircle(im, cx - s * 0.3f, cy - s * 0.2f, s * 0.16f, ink, 1.0f);
        fillCircle(im, cx + s * 0.3f, cy - s * 0.2f, s * 0.16f, ink, 1.0f);
        fillPolygon(im, {cx - s * 0.35f, cy + s * 0.1f, cx + s * 0.35f, cy + s * 0.1f, cx, cy + s * 0.75f}, light);
        fillCircle(im, cx, cy + s * 0.72f, s * 0.07f, ink, 1.0f);
        fillCircle(im, cx - s * 0.14f, cy + s * 0.2f, s * 0.05f, ink, 1.0f);
        fillCircle(im, cx + s * 0.14f, cy + s * 0.2f, s * 0.05f, ink, 1.0f);
        break;
    case 1:   // banjo: drum and neck
        drawLine(im, cx, cy + s * 0.2f, cx, cy - s * 0.85f, s * 0.1f, ink);
        fillCircle(im, cx, cy + s * 0.35f, s * 0.4f, ink, 1.0f);
        fillCircle(im, cx, cy + s * 0.35f, s * 0.32f, light, 1.0f);
        for (int i = -2; i <= 2; i++)
            drawLine(im, cx + i * s * 0.03f, cy + s * 0.55f, cx + i * s * 0.02f, cy - s * 0.8f, 0.8f, ink);
        break;
    case 2:   // bootlegger: hat and moustache
        fillCircle(im, cx, cy + s * 0.2f, s * 0.35f, light, 1.5f);
        fillRect(im, cx - s * 0.55f, cy - s * 0.15f, cx + s * 0.55f, cy - s * 0.07f, ink);
        fillRoundRect(im, cx - s * 0.32f, cy - s * 0.6f, cx + s * 0.32f, cy - s * 0.1f, s * 0.08f, ink, 1.0f);
        fillPolygon(
            im,
            {cx - s * 0.25f, cy + s * 0.35f, cx, cy + s * 0.28f, cx + s * 0.25f, cy + s * 0.35f, cx, cy + s * 0.42f},
            ink);
        fillRect(im, cx - s * 0.3f, cy + s * 0.6f, cx + s * 0.3f, cy + s * 0.95f, ink);
        break;
    default:   // the jug itself
        fillCircle(im, cx, cy + s * 0.3f, s * 0.45f, light, 1.5f);
        fillRect(im, cx - s * 0.12f, cy - s * 0.45f, cx + s * 0.12f, cy - s * 0.05f, light);
        fillRect(im, cx - s * 0.1f, cy - s * 0.6f, cx + s * 0.1f, cy - s * 0.45f, ink);
        ringCircle(im, cx + s * 0.28f, cy - s * 0.12f, s * 0.14f, s * 0.05f, light);
        drawText(im, "XXX", 0, cx, cy + s * 0.45f, s * 0.3f, ink);
        break;
    }
}

// One note face into the rectangle (x0, y0) size w × h.
static void noteFront(GenImage& im, float x0, float y0, float w, float h, const NoteStyle& n, uint32_t seed)
{
    Colour4 ink = rgb8(n.ink), paper = rgb8(n.tint);
    for (int y = (int)y0; y < (int)(y0 + h); y++)
        for (int x = (int)x0; x < (int)(x0 + w); x++) {
            float f = fbm2(x * 0.05f, y * 0.05f, 4, seed);
            float lines = 0.5f + 0.5f * sinf((x - x0) * 0.9f + sinf((y - y0) * 0.08f) * 6);
            Colour4 c = mixColour(paper, scaleColour(paper, 0.86f), f * 0.6f + lines * 0.2f);
            pixelAt(im, x, y) = c;
        }
    float m = h * 0.05f;
    strokeRect(im, x0 + m, y0 + m, x0 + w - m, y0 + h - m, h * 0.03f, ink);
    strokeRect(im, x0 + m * 2.2f, y0 + m * 2.2f, x0 + w - m * 2.2f, y0 + h - m * 2.2f, 1.0f, ink);
    // portrait oval in the middle
    float cx = x0 + w * 0.5f, cy = y0 + h * 0.52f, r = h * 0.3f;
    for (int y = (int)(cy - r); y < (int)(cy + r); y++)
        for (int x = (int)(cx - r * 0.8f); x < (int)(cx + r * 0.8f); x++) {
            float dx = (x - cx) / (r * 0.8f), dy = (y - cy) / r;
            if (dx * dx + dy * dy < 1.0f) blend(im, x, y, mixColour(paper, ink, 0.15f + 0.1f * (y % 3 == 0)), 1.0f);
        }
    ringCircle(im, cx, cy, r, 2.0f, ink);
    portrait(im, n.portrait, cx, cy - r * 0.1f, r * 0.8f, ink);
    // rosettes with the value in the corners
    float rr = h * 0.14f;
    float cxs[2] = {x0 + w * 0.13f, x0 + w * 0.87f}, cys[2] = {y0 + h * 0.26f, y0 + h * 0.74f};
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 2; j++) {
            rosette(im, cxs[i], cys[j], rr, mixColour(ink, paper, 0.4f), 7 + i + j);
            drawText(im, n.value, 0, cxs[i], cys[j] + rr * 0.4f, rr * 1.1f, ink, rr * 1.8f);
        }
    drawText(im, "THE UNITED STILLS OF AMERICA", 0, cx, y0 + h * 0.2f, h * 0.09f, ink, w * 0.6f, 0.5f);
    drawText(im, n.words, 0, cx, y0 + h * 0.93f - m, h * 0.085f, ink, w * 0.5f);
    drawText(im, "IN JUG WE TRUST", 3, x0 + w * 0.3f, y0 + h * 0.52f, h * 0.06f, ink, w * 0.18f);
    drawText(im, n.name, 2, x0 + w * 0.7f, y0 + h * 0.52f, h * 0.06f, ink, w * 0.18f);
    char serial[32];
    snprintf(serial, sizeof serial, "KH %05u X", (unsigned)(seed * 7919u % 100000u));
    drawText(im, serial, 4, x0 + w * 0.3f, y0 + h * 0.72f, h * 0.06f, rgb8(0x8a2a1a), w * 0.2f);
    drawText(im, serial, 4, x0 + w * 0.7f, y0 + h * 0.34f, h * 0.06f, rgb8(0x8a2a1a), w * 0.2f);
    // the treasury seal
    fillCircle(im, x0 + w * 0.7f, y0 + h * 0.7f, h * 0.09f, rgb8(0x2a6a3a, 0.8f), 1.0f);
    ringCircle(im, x0 + w * 0.7f, y0 + h * 0.7f, h * 0.07f, 1.2f, paper);
    // crumpled-paper shading
    for (int y = (int)y0; y < (int)(y0 + h); y++)
        for (int x = (int)x0; x < (int)(x0 + w); x++) {
            float c = fbm2(x * 0.02f, y * 0.02f, 3, seed + 5);
            pixelAt(im, x, y) = scaleColour(pixelAt(im, x, y), 0.88f + 0.2f * c);
        }
}

static void noteBack(GenImage& im, float x0, float y0, float w, float h, const NoteStyle& n, uint32_t seed)
{
    Colour4 ink = rgb8(0x2a5a34), paper = rgb8(0xd8e2cc);
    fillRect(im, x0, y0, x0 + w, y0 + h, paper);
    for (int y = (int)y0; y < (int)(y0 + h); y++)
        for (int x = (int)x0; x < (int)(x0 + w); x++) {
            float lines = 0.5f + 0.5f * sinf((y - y0) * 0.7f + sinf((x - x0) * 0.05f) * 5);
            pixelAt(im, x, y) = mixColour(paper, ink, lines * 0.25f + fbm2(x * 0.05f, y * 0.05f, 3, seed) * 0.1f);
        }
    strokeRect(im, x0 + h * 0.05f, y0 + h * 0.05f, x0 + w - h * 0.05f, y0 + h * 0.95f, h * 0.04f, ink);
    // the distillery on the back, like a monument
    float cx = x0 + w * 0.5f, cy = y0 + h * 0.55f;
    fillRoundRect(im, cx - w * 0.22f, cy - h * 0.22f, cx + w * 0.22f, cy + h * 0.28f, h * 0.05f,
                  mixColour(paper, ink, 0.3f), 1.0f);
    fillCircle(im, cx, cy, h * 0.17f, ink, 1.0f);
    fillRect(im, cx - h * 0.04f, cy - h * 0.32f, cx + h * 0.04f, cy - h * 0.12f, ink);
    drawLine(im, cx + h * 0.04f, cy - h * 0.25f, cx + w * 0.15f, cy + h * 0.05f, h * 0.03f, ink);
    drawText(im, "IN JUG WE TRUST", 0, cx, y0 + h * 0.24f, h * 0.1f, ink, w * 0.5f);
    drawText(im, n.value, 0, x0 + w * 0.12f, y0 + h * 0.35f, h * 0.2f, ink, w * 0.15f);
    drawText(im, n.value, 0, x0 + w * 0.88f, y0 + h * 0.85f, h * 0.2f, ink, w * 0.15f);
}

// The money roll: 36 long along x, radius 10, with flat rolled ends.
static GeneratedMesh rollMesh(void)
{
    std::vector<ProfilePt> p;
    const float L = 18, R = 10;
    p.push_back(ProfilePt{0.8f, -L, 1.0f});
    p.push_back(ProfilePt{R - 0.6f, -L, 1.0f});
    for (int i = 0; i <= 12; i++) {
        float t = (float)i / 12;
        float y = -L + 2 * L * t;
        float band = fabsf(y) < 3.0f ? 0.6f : 0.0f;
        p.push_back(ProfilePt{R + band - 0.4f * fabsf(t - 0.5f), y, 1.0f - t});
    }
    p.push_back(ProfilePt{R - 0.6f, L, 0.0f});
    p.push_back(ProfilePt{0.8f, L, 0.0f});
    GeneratedMesh m = lathe(p, 24);
    int row = 25;
    int n = (int)p.size();
    for (int i = 0; i < n; i++)
        for (int j = 0; j <= 24; j++) {
            GeneratedVertex& v = m.verts[i * row + j];
            float a = 2 * Pi * ((float)j / 24 - 0.5f);
            if (i < 2 || i >= n - 2) {   // ends: the spiral patch
                float rr = (i == 0 || i == n - 1) ? 0.02f : 0.12f;
                v.u = 0.125f + rr * sinf(a);
                v.v = 0.875f + rr * cosf(a);
            } else if (fabsf(v.p.y) < 3.0f) {   // rubber band
                v.u = 0.5f + 0.5f * v.u;
                v.v = 0.8f + 0.1f * (v.p.y + 3) / 6;
            } else {
                v.v *= 0.75f;
            }
        }
    rotateMeshZ(&m, Pi / 2);   // lie along x
    return m;
}

static GenImage rollPicture(void)
{
    GenImage im = makeGenImage(512, 512, colour4(0.5f, 0.5f, 0.5f));
    // the outer note, turned so its long side runs around the roll
    GenImage note = makeGenImage(512, 256, colour4(1, 1, 1));
    noteFront(note, 0, 0, 512, 256, notes[3], 901);
    for (int y = 0; y < 384; y++)
        for (int x = 0; x < 512; x++) pixelAt(im, x, y) = pixelAt(note, x, (int)(y * 256.0f / 384));
    // rolled end: a spiral of paper edges
    for (int y = 384; y < 512; y++)
        for (int x = 0; x < 512; x++) {
            if (x < 128) {
                float dx = x - 64 + 0.5f, dy = y - 448 + 0.5f;
                float r = sqrtf(dx * dx + dy * dy), a = atan2f(dy, dx);
                float spiral = 0.5f + 0.5f * sinf(r * 1.2f - a);
                pixelAt(im, x, y) = mixColour(rgb8(0x6a8a62), rgb8(0xd8e0c8), smooth(0.3f, 0.7f, spiral));
            } else if (x >= 256) {
                float n = noise2(x * 0.2f, y * 0.2f, 902);
                pixelAt(im, x, y) = mixColour(rgb8(0x8a2a14), rgb8(0xc04a20), n);
            } else {
                pixelAt(im, x, y) = rgb8(0x6a8a62);
            }
        }
    return im;
}

void genBills(GenContext* g)
{
    saveMesh(g, "bill.bof", billMesh());
    static const char* names[4] = {"bill_po.jpg", "bill_bl.jpg", "bill_bo.jpg", "bill_da.jpg"};
    for (int i = 0; i < 4; i++) {
        GenImage im = makeGenImage(512, 256, colour4(1, 1, 1));
        noteFront(im, 0, 0, 512, 256, notes[i], 850 + i);
        saveJpeg(g, names[i], im);
    }
    // uncut sheets: 2 columns × 4 rows of notes
    GenImage front = makeGenImage(512, 512, colour4(1, 1, 1)), back = makeGenImage(512, 512, colour4(1, 1, 1));
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 2; c++) {
            noteFront(front, c * 256.0f, r * 128.0f, 256, 128, notes[3], 870 + r * 2 + c);
            noteBack(back, c * 256.0f, r * 128.0f, 256, 128, notes[3], 880 + r * 2 + c);
        }
    saveJpeg(g, "bills0.jpg", front);
    saveJpeg(g, "bills1.jpg", back);
    saveMesh(g, "roll.bof", rollMesh());
    saveJpeg(g, "roll.jpg", rollPicture());
}
