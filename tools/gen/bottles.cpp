// Content generator: the bottle of the night field (botlz.bof), lying on its
// side with its lowest point at y = 0, and its picture botlz.tga: u around the
// bottle, v from the cork (0) to the base (1); alpha is low on bare glass and
// opaque on the paper label and the cork.
#include "gen.h"

static GeneratedMesh bottle(void)
{
    // standing profile: base at y = 0, cork top at y = 80
    const float shape[][2] = {{1, 0},     {12, 0},    {14, 4},       {14, 44},      {12.5f, 51}, {8, 58},
                              {5.5f, 64}, {5.5f, 72}, {6.6f, 73.5f}, {5.2f, 75.5f}, {5.2f, 79},  {1, 80.3f}};
    const int n = sizeof(shape) / sizeof(shape[0]);
    std::vector<ProfilePt> p;
    float total = 0, acc = 0;
    for (int i = 1; i < n; i++) total += hypotf(shape[i][0] - shape[i - 1][0], shape[i][1] - shape[i - 1][1]);
    for (int i = 0; i < n; i++) {
        if (i > 0) acc += hypotf(shape[i][0] - shape[i - 1][0], shape[i][1] - shape[i - 1][1]);
        p.push_back(ProfilePt{shape[i][0], shape[i][1], 1.0f - acc / total});
    }
    GeneratedMesh m = lathe(p, 14);
    // lie it down along x, centred on the origin, resting on y = 0
    for (GeneratedVertex& v : m.verts) v.p = vec3(v.p.y - 40.0f, 14.0f - v.p.x, v.p.z);
    // that mapping is a rotation (x, y) -> (y, -x): no mirror, winding kept
    return m;
}

static GenImage bottlePicture(void)
{
    const int S = 256;
    GenImage im = makeGenImage(S, S, colour4(0, 0, 0, 0));
    for (int y = 0; y < S; y++)
        for (int x = 0; x < S; x++) {
            float v = (y + 0.5f) / S;
            // amber glass, darker and thicker toward the base
            Colour4 c = mixColour(rgb8(0x8a5a1a), rgb8(0x4a2a0a), v);
            c.a = 0.35f + 0.25f * v;
            if (v < 0.07f) {   // cork
                c = mixColour(rgb8(0x9a7040), rgb8(0xc8a070), fbm2(x * 0.3f, y * 0.3f, 3, 601));
                c.a = 1.0f;
            }
            pixelAt(im, x, y) = c;
        }
    // the paper label around the middle of the body
    float y0 = S * 0.34f, y1 = S * 0.68f;
    for (int y = (int)y0; y < (int)y1; y++)
        for (int x = 0; x < S; x++) {
            float stain = fbm2(x * 0.05f, y * 0.05f, 4, 602);
            pixelAt(im, x, y) = mixColour(rgb8(0xe8d8b0), rgb8(0xb89a68), smooth(0.5f, 0.8f, stain));
        }
    strokeRect(im, -4, y0 + 4, S + 4, y1 - 4, 2.0f, rgb8(0x8a1c14));
    for (int k = 0; k < 2; k++) {
        float cx = S * (0.25f + 0.5f * k);
        drawText(im, "XXX", 0, cx, y0 + (y1 - y0) * 0.55f, (y1 - y0) * 0.45f, rgb8(0x8a1c14), S * 0.3f);
        drawText(im, "SHINE", 2, cx, y0 + (y1 - y0) * 0.82f, (y1 - y0) * 0.2f, rgb8(0x20140c), S * 0.3f);
    }
    return im;
}

void genBottles(GenContext* g)
{
    saveMesh(g, "botlz.bof", bottle());
    saveTga(g, "botlz.tga", bottlePicture(), 1);
}
