// Content generator: the trunk the jugs stand on (log.bof, drawn at half size;
// its files keep the names the engine loads), its bark and end-grain picture
// and the matching normal map.
// Picture layout (512 × 512): rows v 0..0.75 are bark, u along the trunk, v once
// around it; the two end-grain discs sit at u 0..0.25 and 0.25..0.5 of the
// bottom quarter. Normal maps here are tangent space with red toward picture
// right and green toward picture up, which is the direction of the engine's
// tangent (increasing v after the load flip): red = cross(vnrm, vtan).
#include "gen.h"

static const float TrunkRadius = 90.0f, TrunkHalf = 320.0f;

// Bark relief in [0, 1] at angle fraction a (0..1 around) and length fraction s.
static float barkHeight(float a, float s)
{
    float furrow = fbm2Tiled(a * 24.0f, s * 3.0f, 24, 1000, 4, 401);
    float plates = noise2Tiled(a * 48.0f, s * 14.0f, 48, 1000, 402);
    return smooth(0.3f, 0.7f, furrow) * 0.75f + plates * 0.25f;
}

static GeneratedMesh trunkMesh(void)
{
    GeneratedMesh m;
    const int around = 24, along = 12;
    for (int i = 0; i <= along; i++) {
        float s = (float)i / along;
        float x = -TrunkHalf + 2 * TrunkHalf * s;
        float sag = 1.0f + 0.05f * sinf(s * Pi * 3 + 0.5f);   // a little irregular
        for (int j = 0; j <= around; j++) {
            float a = (float)j / around;
            float ang = a * 2 * Pi;
            float r = TrunkRadius * sag + 5.0f * (barkHeight(a, s) - 0.5f);
            addVert(&m, vec3(x, r * cosf(ang), r * sinf(ang)), s, a * 0.75f);
        }
    }
    int row = around + 1;
    for (int i = 0; i < along; i++)
        for (int j = 0; j < around; j++) {
            uint32_t a = i * row + j, b = a + 1, c = a + row + 1, d = a + row;
            addQuad(&m, a, b, c, d);
        }
    // saw-cut ends: discs with the end-grain picture
    for (int e = 0; e < 2; e++) {
        int i = e ? along : 0;
        float cu = e ? 0.375f : 0.125f;
        Vec3 centre = vec3(e ? TrunkHalf + 2 : -TrunkHalf - 2, 0, 0);
        uint32_t c = addVert(&m, centre, cu, 0.875f);
        uint32_t first = (uint32_t)m.verts.size();
        for (int j = 0; j <= around; j++) {
            GeneratedVertex g = m.verts[i * row + j];
            float ang = (float)j / around * 2 * Pi;
            addVert(&m, g.p, cu + 0.118f * cosf(ang), 0.875f + 0.118f * sinf(ang));
        }
        for (int j = 0; j < around; j++) {
            if (e)
                addTri(&m, c, first + j, first + j + 1);
            else
                addTri(&m, c, first + j + 1, first + j);
        }
    }
    return m;
}

static GenImage trunkHeightAndColour(GenImage* colour)
{
    const int W = 512, H = 512;
    GenImage height = makeGenImage(W, H, colour4(0.5f, 0.5f, 0.5f));
    *colour = makeGenImage(W, H, colour4(0, 0, 0));
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            float u = (x + 0.5f) / W, v = (y + 0.5f) / H;
            Colour4 c;
            float h;
            if (v < 0.75f) {
                float a = v / 0.75f;
                h = barkHeight(a, u);
                float fine = fbm2(u * 200, a * 200, 3, 403);
                c = mixColour(rgb8(0x2a2018), rgb8(0x6e5a48), h * 0.8f + fine * 0.2f);
                // moss on the top side, lichen spots
                float top = cosf(a * 2 * Pi);
                float moss = smooth(0.45f, 0.7f, fbm2(u * 20, a * 20, 4, 404)) * smooth(0.2f, 0.8f, top);
                c = mixColour(c, mixColour(rgb8(0x3e5a22), rgb8(0x6a8034), fine), moss * 0.8f);
                if (fbm2(u * 60, a * 60, 3, 405) > 0.72f) c = mixColour(c, rgb8(0xa4a890), 0.5f);
                h = h * 0.8f + fine * 0.2f + moss * 0.1f;
            } else {
                // end grain: two discs, rings around each centre
                float cu = u < 0.25f ? 0.125f : 0.375f;
                float dx = (u - cu) / 0.125f, dy = (v - 0.875f) / 0.125f;
                float r = sqrtf(dx * dx + dy * dy);
                float wobble = 0.04f * fbm2(dx * 3 + cu * 10, dy * 3, 3, 406);
                float rings = 0.5f + 0.5f * sinf((r + wobble) * 70.0f);
                c = mixColour(rgb8(0xb88a58), rgb8(0xd8b080), rings);
                c = mixColour(c, rgb8(0x8a6038), smooth(0.0f, 0.25f, 0.25f - r) * 0.6f);   // dark heart
                // radial checks from drying
                float ang = atan2f(dy, dx);
                float crack = fabsf(sinf(ang * 3.0f + cu * 20)) < 0.03f && r > 0.2f && r < 0.8f ? 1.0f : 0.0f;
                c = mixColour(c, rgb8(0x3a2414), crack);
                c = mixColour(c, rgb8(0x3a2a1e), smooth(0.86f, 0.92f, r));   // bark rim
                h = 0.5f + 0.1f * rings - 0.4f * crack;
            }
            pixelAt(*colour, x, y) = c;
            pixelAt(height, x, y) = colour4(h, h, h);
        }
    return height;
}

void genTrunk(GenContext* g)
{
    saveMesh(g, "log.bof", trunkMesh());
    GenImage col;
    GenImage height = trunkHeightAndColour(&col);
    saveJpeg(g, "log_col.jpg", col);
    saveJpeg(g, "log_nrm.jpg", normalFromHeight(height, 6.0f), 92);
}
