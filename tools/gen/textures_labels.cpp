// Content generator: the jug pictures. label.jpg and label_nuke.jpg are the
// whole glazed jug (brown dipped top, salt-glazed body, paper label) in the
// jug's (u, v) layout; greet.jpg carries the sixteen greeting labels.
//
// greet.jpg layout (1024 × 1024, picture rows counted from the top):
//   rows 0..511     the jug wrap without a label: picture (u, v) = (u, v / 2).
//   rows 512..1023  sixteen labels of 256 × 128 pixels in a 4 × 4 grid; the
//                   label of greeting g (the "grt" uniform, 0..15) is in column
//                   g % 4, row g / 4 (row 0 at the top of the bottom half).
// On the jug the label covers u in [LabelU0, LabelU1] and v in [LabelV0, LabelV1]
// (file v, 0 at the top of the picture). A greeting shader maps a point inside
// that rectangle, at label-local (s, t) in [0, 1]², to the picture point
//   x = (g % 4 + s) / 4,  y = 0.5 + (floor(g / 4) + t) / 8,
// and every other point to (u, v / 2). In GL texture terms (v flipped on load)
// the sample is at (x, 1 - y).
#include "gen.h"

#include <stdio.h>

const float LabelU0 = 0.34f, LabelU1 = 0.66f;
static const float LabelTopY = 14.0f, LabelBottomY = -78.0f;

static Colour4 clayColour(float x, float y)
{
    float n = fbm2(x * 0.05f, y * 0.05f, 4, 31);
    return mixColour(rgb8(0xb07a4c), rgb8(0xd3a273), n);
}

// Paints the glazed jug into im (full picture = v 0..1), without a label.
static void paintWrap(GenImage& im)
{
    float vCork = jugVAtY(134), vDip = jugVAtY(52), vFoot = jugVAtY(-126);
    for (int y = 0; y < im.h; y++)
        for (int x = 0; x < im.w; x++) {
            float u = (x + 0.5f) / im.w, v = (y + 0.5f) / im.h;
            float su = u * 1024, sv = v * 1024;
            Colour4 c;
            // the dipped glaze line wanders and drips
            float drip = 0.012f * sinf(u * 2 * Pi * 7 + 1.3f) + 0.008f * sinf(u * 2 * Pi * 17);
            float dripLen = powf(fbm2(u * 60, 3.0f, 2, 77), 6.0f) * 0.35f;
            float edge = vDip + drip + dripLen * 0.25f;
            if (v < vCork) {
                float grain = fbm2(su * 0.08f, sv * 0.3f, 4, 5);
                c = mixColour(rgb8(0x8a6238), rgb8(0xc79a64), grain);
                if (hash3(x, y, 1, 9) > 0.985f) c = scaleColour(c, 0.6f);
            } else if (v < edge) {
                float n = fbm2(su * 0.02f, sv * 0.02f, 5, 11);
                c = mixColour(rgb8(0x3b1f10), rgb8(0x6e3a1a), n);
                float streak = fbm2(su * 0.01f, sv * 0.15f, 3, 12);
                c = mixColour(c, rgb8(0x8c5426), smooth(0.55f, 0.8f, streak) * 0.5f);
                c = mixColour(c, rgb8(0x24120a), smooth(edge - 0.03f, edge, v) * 0.6f);   // glaze pools at the edge
            } else if (v < vFoot) {
                float n = fbm2(su * 0.03f, sv * 0.03f, 5, 21);
                c = mixColour(rgb8(0xd9ccb0), rgb8(0xefe6d0), n);
                // salt-glaze orange peel and iron speckles
                float peel = noise2(su * 0.6f, sv * 0.6f, 22);
                c = scaleColour(c, 0.94f + 0.08f * peel);
                if (hash3(x, y, 2, 23) > 0.992f) c = mixColour(c, rgb8(0x5a3a22), 0.7f);
                // a warm blush where the kiln flame licked the body
                float blush = fbm2(su * 0.006f, sv * 0.01f, 3, 24);
                c = mixColour(c, rgb8(0xc9925c), smooth(0.6f, 0.85f, blush) * 0.18f);
                c = scaleColour(c, 1.0f - 0.25f * smooth(vFoot - 0.04f, vFoot, v));
            } else {
                c = clayColour(su, sv);
            }
            pixelAt(im, x, y) = c;
        }
    // throwing rings: faint horizontal bands on the body
    for (int y = 0; y < im.h; y++) {
        float v = (y + 0.5f) / im.h;
        float ring = 0.04f * sinf(v * 260.0f);
        if (v > vDip && v < vFoot)
            for (int x = 0; x < im.w; x++) pixelAt(im, x, y) = scaleColour(pixelAt(im, x, y), 1.0f + ring);
    }
}

struct LabelRect {
    float x0, y0, x1, y1;
};

static LabelRect labelRect(const GenImage& im, float top, float bottom)
{
    return LabelRect{LabelU0 * im.w, jugVAtY(LabelTopY) * (bottom - top) + top, LabelU1 * im.w,
                     jugVAtY(LabelBottomY) * (bottom - top) + top};
}

// Aged paper with a printed double border.
static void paperAndBorder(GenImage& im, LabelRect r, Colour4 paper, Colour4 ink, uint32_t seed)
{
    for (int y = (int)r.y0; y < (int)r.y1; y++)
        for (int x = (int)r.x0; x < (int)r.x1; x++) {
            float fx = (x - r.x0) / (r.x1 - r.x0), fy = (y - r.y0) / (r.y1 - r.y0);
            float stain = fbm2(x * 0.03f, y * 0.03f, 5, seed);
            Colour4 c = mixColour(paper, mixColour(paper, rgb8(0x9c7a48), 0.5f), smooth(0.6f, 0.85f, stain));
            float edge = fminf(fminf(fx, 1 - fx), fminf(fy, 1 - fy) * 0.5f);
            c = scaleColour(c, 0.78f + 0.22f * smooth(0.0f, 0.08f, edge));
            // torn corner bits
            if (edge < 0.012f && hash3(x / 3, y / 3, 4, seed) > 0.6f) continue;
            pixelAt(im, x, y) = c;
        }
    float w = r.x1 - r.x0, h = r.y1 - r.y0;
    float m = h * 0.06f;
    strokeRect(im, r.x0 + m, r.y0 + m, r.x1 - m, r.y1 - m, fmaxf(1.2f, h * 0.025f), ink);
    strokeRect(im, r.x0 + m * 1.8f, r.y0 + m * 1.8f, r.x1 - m * 1.8f, r.y1 - m * 1.8f, fmaxf(0.8f, h * 0.008f), ink);
    (void)w;
}

static void classicLabel(GenImage& im, LabelRect r)
{
    Colour4 red = rgb8(0x9a1c14), black = rgb8(0x20140c);
    paperAndBorder(im, r, rgb8(0xeadbb4), red, 41);
    float w = r.x1 - r.x0, h = r.y1 - r.y0, cx = (r.x0 + r.x1) * 0.5f;
    drawText(im, "KESTREL HOLLOW", 0, cx, r.y0 + h * 0.24f, h * 0.13f, black, w * 0.7f, h * 0.01f);
    drawText(im, "XXX", 0, cx, r.y0 + h * 0.62f, h * 0.42f, red, w * 0.5f, h * 0.04f);
    drawText(im, "genuine mountain moonshine", 3, cx, r.y0 + h * 0.76f, h * 0.1f, black, w * 0.8f);
    drawText(im, "100 PROOF  \xb7  CORN LIQUOR", 2, cx, r.y0 + h * 0.89f, h * 0.075f, black, w * 0.7f);
    // crescent moons either side of the XXX
    for (int s = -1; s <= 1; s += 2) {
        float mx = cx + s * w * 0.33f, my = r.y0 + h * 0.5f, mr = h * 0.1f;
        fillCircle(im, mx, my, mr, rgb8(0xd0a030), 1.0f);
        fillCircle(im, mx + mr * 0.45f * s, my - mr * 0.2f, mr * 0.85f, rgb8(0xeadbb4), 1.0f);
    }
}

static void trefoil(GenImage& im, float cx, float cy, float r, Colour4 c)
{
    for (int k = 0; k < 3; k++) {
        float a0 = -Pi / 2 + k * 2 * Pi / 3 - Pi / 6 + Pi / 3, a1 = a0 + Pi / 3;
        std::vector<float> poly;
        for (int i = 0; i <= 12; i++) {
            float a = a0 + (a1 - a0) * i / 12;
            poly.push_back(cx + cosf(a) * r);
            poly.push_back(cy + sinf(a) * r);
        }
        for (int i = 12; i >= 0; i--) {
            float a = a0 + (a1 - a0) * i / 12;
            poly.push_back(cx + cosf(a) * r * 0.3f);
            poly.push_back(cy + sinf(a) * r * 0.3f);
        }
        fillPolygon(im, poly, c);
    }
    fillCircle(im, cx, cy, r * 0.2f, c, 1.0f);
}

static void nukeLabel(GenImage& im, LabelRect r)
{
    Colour4 black = rgb8(0x16120a);
    paperAndBorder(im, r, rgb8(0xf2c21c), black, 43);
    float w = r.x1 - r.x0, h = r.y1 - r.y0, cx = (r.x0 + r.x1) * 0.5f;
    // hazard stripes top and bottom
    for (int band = 0; band < 2; band++) {
        float y0 = band ? r.y1 - h * 0.16f : r.y0 + h * 0.08f, y1 = y0 + h * 0.08f;
        for (float x = r.x0 + w * 0.05f; x < r.x1 - w * 0.05f; x += h * 0.12f) {
            std::vector<float> p = {x, y1, x + h * 0.06f, y1, x + h * 0.14f, y0, x + h * 0.08f, y0};
            fillPolygon(im, p, black);
        }
    }
    trefoil(im, cx - w * 0.3f, r.y0 + h * 0.5f, h * 0.2f, black);
    drawText(im, "ATOMIC", 0, cx + w * 0.08f, r.y0 + h * 0.5f, h * 0.26f, black, w * 0.58f);
    drawText(im, "XXX  10,000 PROOF", 2, cx + w * 0.08f, r.y0 + h * 0.66f, h * 0.1f, rgb8(0x9a1c14), w * 0.55f);
    drawText(im, "do not shake", 3, cx + w * 0.08f, r.y0 + h * 0.77f, h * 0.08f, black, w * 0.5f);
}

static const char* greetNames[16] = {"GLFW",  "GLEW",       "Mesa",   "libjpeg-turbo", "SDL",  "mpg123", "OpenMPT",
                                     "LAME",  "Dear ImGui", "Debian", "GCC",           "LLVM", "CMake",  "GoogleTest",
                                     "X.Org", "stb"};
static const char* greetLines[16] = {
    "for the windows", "for the extensions", "for the pixels",      "for the squeeze",
    "for the racket",  "for the tunes",      "for the modules",     "for the encoding",
    "for the knobs",   "for the barn",       "for the first still", "for the second still",
    "for the recipes", "for the taste test", "for the screen",      "for the odds & ends"};

static void greetLabel(GenImage& im, LabelRect r, int i)
{
    static const int inks[4] = {0x9a1c14, 0x1d3f6e, 0x2f5a1e, 0x5a2a6a};
    Colour4 ink = rgb8(inks[i % 4]), black = rgb8(0x20140c);
    paperAndBorder(im, r, rgb8(0xeadbb4), ink, 60 + i);
    float w = r.x1 - r.x0, h = r.y1 - r.y0, cx = (r.x0 + r.x1) * 0.5f;
    drawText(im, "WITH THANKS TO", 2, cx, r.y0 + h * 0.27f, h * 0.11f, black, w * 0.6f, h * 0.01f);
    drawText(im, greetNames[i], 0, cx, r.y0 + h * 0.62f, h * 0.3f, ink, w * 0.78f);
    drawText(im, greetLines[i], 3, cx, r.y0 + h * 0.82f, h * 0.11f, black, w * 0.72f);
}

void genJugTextures(GenContext* g)
{
    GenImage wrap = makeGenImage(1024, 1024, colour4(1, 1, 1));
    paintWrap(wrap);
    GenImage label = wrap;
    classicLabel(label, labelRect(label, 0, 1024));
    saveJpeg(g, "label.jpg", label);
    GenImage nuke = wrap;
    nukeLabel(nuke, labelRect(nuke, 0, 1024));
    saveJpeg(g, "label_nuke.jpg", nuke);

    GenImage greet = makeGenImage(1024, 1024, colour4(1, 1, 1));
    for (int y = 0; y < 512; y++)
        for (int x = 0; x < 1024; x++) pixelAt(greet, x, y) = pixelAt(wrap, x, y * 2);
    for (int i = 0; i < 16; i++) {
        float x0 = (i % 4) * 256.0f, y0 = 512.0f + (i / 4) * 128.0f;
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 256; x++) pixelAt(greet, (int)x0 + x, (int)y0 + y) = rgb8(0xeadbb4);
        greetLabel(greet, LabelRect{x0, y0, x0 + 256, y0 + 128}, i);
    }
    saveJpeg(g, "greet.jpg", greet);
    printf("  label rectangle: u %.4f..%.4f, v %.4f..%.4f\n", LabelU0, LabelU1, jugVAtY(LabelTopY),
           jugVAtY(LabelBottomY));
}
