// Content generator: float RGBA images (shapes, blur, normal maps), text drawn
// with stb_truetype from the DejaVu fonts, and the JPEG (libjpeg), TGA and PNG
// writers. Pixels are kept top row first; the writers store them so that the
// engine's loaders put the top of the picture at v = 1.
#include "gen.h"

#include <jpeglib.h>
#include <stdio.h>
#include <string.h>

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb_truetype.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBIW_WINDOWS_UTF8
#include <stb_image_write.h>

GenImage makeGenImage(int w, int h, Colour4 fill)
{
    GenImage im;
    im.w = w;
    im.h = h;
    im.px.assign((size_t)w * h, fill);
    return im;
}

Colour4 sampleWrap(const GenImage& im, float x, float y)
{
    int x0 = (int)floorf(x), y0 = (int)floorf(y);
    float fx = x - x0, fy = y - y0;
    auto px = [&](int xx, int yy) {
        xx = ((xx % im.w) + im.w) % im.w;
        yy = ((yy % im.h) + im.h) % im.h;
        return im.px[(size_t)yy * im.w + xx];
    };
    return mixColour(mixColour(px(x0, y0), px(x0 + 1, y0), fx), mixColour(px(x0, y0 + 1), px(x0 + 1, y0 + 1), fx), fy);
}

void blend(GenImage& im, int x, int y, Colour4 c, float a)
{
    if (x < 0 || y < 0 || x >= im.w || y >= im.h || a <= 0) return;
    Colour4& d = pixelAt(im, x, y);
    a = clampf(a * c.a, 0.0f, 1.0f);
    d.r += (c.r - d.r) * a;
    d.g += (c.g - d.g) * a;
    d.b += (c.b - d.b) * a;
    d.a = d.a + (1.0f - d.a) * a;
}

void fillRect(GenImage& im, float x0, float y0, float x1, float y1, Colour4 c)
{
    for (int y = (int)floorf(y0); y < (int)ceilf(y1); y++)
        for (int x = (int)floorf(x0); x < (int)ceilf(x1); x++) {
            float cx = clampf(fminf(x + 1.0f, x1) - fmaxf((float)x, x0), 0, 1);
            float cy = clampf(fminf(y + 1.0f, y1) - fmaxf((float)y, y0), 0, 1);
            blend(im, x, y, c, cx * cy);
        }
}

void fillCircle(GenImage& im, float cx, float cy, float r, Colour4 c, float soft)
{
    float s = fmaxf(soft, 0.7f);
    for (int y = (int)floorf(cy - r - s); y <= (int)ceilf(cy + r + s); y++)
        for (int x = (int)floorf(cx - r - s); x <= (int)ceilf(cx + r + s); x++) {
            float d = sqrtf((x + 0.5f - cx) * (x + 0.5f - cx) + (y + 0.5f - cy) * (y + 0.5f - cy));
            blend(im, x, y, c, clampf((r - d) / s + 0.5f, 0, 1));
        }
}

void ringCircle(GenImage& im, float cx, float cy, float r, float width, Colour4 c)
{
    float out = r + width * 0.5f + 1;
    for (int y = (int)floorf(cy - out); y <= (int)ceilf(cy + out); y++)
        for (int x = (int)floorf(cx - out); x <= (int)ceilf(cx + out); x++) {
            float d = sqrtf((x + 0.5f - cx) * (x + 0.5f - cx) + (y + 0.5f - cy) * (y + 0.5f - cy));
            blend(im, x, y, c, clampf(width * 0.5f - fabsf(d - r) + 0.5f, 0, 1));
        }
}

void fillRoundRect(GenImage& im, float x0, float y0, float x1, float y1, float rad, Colour4 c, float soft)
{
    float s = fmaxf(soft, 0.7f);
    for (int y = (int)floorf(y0 - s); y <= (int)ceilf(y1 + s); y++)
        for (int x = (int)floorf(x0 - s); x <= (int)ceilf(x1 + s); x++) {
            float px = x + 0.5f, py = y + 0.5f;
            float qx = fmaxf(fmaxf(x0 + rad - px, px - (x1 - rad)), 0.0f);
            float qy = fmaxf(fmaxf(y0 + rad - py, py - (y1 - rad)), 0.0f);
            float inner =
                fminf(fmaxf(fmaxf(x0 + rad - px, px - (x1 - rad)), fmaxf(y0 + rad - py, py - (y1 - rad))), 0.0f);
            float d = sqrtf(qx * qx + qy * qy) + inner - rad;
            blend(im, x, y, c, clampf(-d / s + 0.5f, 0, 1));
        }
}

void strokeRect(GenImage& im, float x0, float y0, float x1, float y1, float w, Colour4 c)
{
    fillRect(im, x0, y0, x1, y0 + w, c);
    fillRect(im, x0, y1 - w, x1, y1, c);
    fillRect(im, x0, y0 + w, x0 + w, y1 - w, c);
    fillRect(im, x1 - w, y0 + w, x1, y1 - w, c);
}

void drawLine(GenImage& im, float x0, float y0, float x1, float y1, float w, Colour4 c)
{
    float minx = fminf(x0, x1) - w, maxx = fmaxf(x0, x1) + w, miny = fminf(y0, y1) - w, maxy = fmaxf(y0, y1) + w;
    float dx = x1 - x0, dy = y1 - y0, l2 = dx * dx + dy * dy + 1e-9f;
    for (int y = (int)floorf(miny); y <= (int)ceilf(maxy); y++)
        for (int x = (int)floorf(minx); x <= (int)ceilf(maxx); x++) {
            float px = x + 0.5f - x0, py = y + 0.5f - y0;
            float t = clampf((px * dx + py * dy) / l2, 0, 1);
            float ex = px - dx * t, ey = py - dy * t;
            blend(im, x, y, c, clampf(w * 0.5f - sqrtf(ex * ex + ey * ey) + 0.5f, 0, 1));
        }
}

void fillPolygon(GenImage& im, const std::vector<float>& xy, Colour4 c)
{
    int n = (int)xy.size() / 2;
    float miny = 1e30f, maxy = -1e30f, minx = 1e30f, maxx = -1e30f;
    for (int i = 0; i < n; i++) {
        minx = fminf(minx, xy[2 * i]);
        maxx = fmaxf(maxx, xy[2 * i]);
        miny = fminf(miny, xy[2 * i + 1]);
        maxy = fmaxf(maxy, xy[2 * i + 1]);
    }
    // 4×4 supersampled even-odd fill
    for (int y = (int)floorf(miny); y <= (int)ceilf(maxy); y++)
        for (int x = (int)floorf(minx); x <= (int)ceilf(maxx); x++) {
            int hits = 0;
            for (int s = 0; s < 16; s++) {
                float px = x + (s % 4 + 0.5f) / 4, py = y + (s / 4 + 0.5f) / 4;
                int inside = 0;
                for (int i = 0, j = n - 1; i < n; j = i++) {
                    float yi = xy[2 * i + 1], yj = xy[2 * j + 1];
                    if ((yi > py) != (yj > py) && px < (xy[2 * j] - xy[2 * i]) * (py - yi) / (yj - yi) + xy[2 * i])
                        inside = !inside;
                }
                hits += inside;
            }
            if (hits) blend(im, x, y, c, hits / 16.0f);
        }
}

void blurGenImage(GenImage& im, int radius)
{
    if (radius < 1) return;
    GenImage tmp = im;
    float k = 1.0f / (2 * radius + 1);
    for (int pass = 0; pass < 2; pass++) {
        GenImage& src = pass ? tmp : im;
        GenImage& dst = pass ? im : tmp;
        for (int y = 0; y < im.h; y++)
            for (int x = 0; x < im.w; x++) {
                Colour4 s = colour4(0, 0, 0, 0);
                for (int d = -radius; d <= radius; d++) {
                    int sx = pass ? x : ((x + d) % im.w + im.w) % im.w;
                    int sy = pass ? ((y + d) % im.h + im.h) % im.h : y;
                    Colour4 p = src.px[(size_t)sy * im.w + sx];
                    s.r += p.r;
                    s.g += p.g;
                    s.b += p.b;
                    s.a += p.a;
                }
                dst.px[(size_t)y * im.w + x] = Colour4{s.r * k, s.g * k, s.b * k, s.a * k};
            }
    }
}

float luminance(Colour4 c) { return 0.299f * c.r + 0.587f * c.g + 0.114f * c.b; }

GenImage normalFromHeight(const GenImage& h, float strength)
{
    GenImage out = makeGenImage(h.w, h.h, colour4(0.5f, 0.5f, 1.0f));
    for (int y = 0; y < h.h; y++)
        for (int x = 0; x < h.w; x++) {
            auto H = [&](int xx, int yy) {
                return luminance(h.px[(size_t)(((yy % h.h) + h.h) % h.h) * h.w + ((xx % h.w) + h.w) % h.w]);
            };
            float dx = (H(x + 1, y) - H(x - 1, y)) * strength;
            float dy = (H(x, y - 1) - H(x, y + 1)) * strength;   // picture y grows downward
            Vec3 n = norm(vec3(-dx, -dy, 1.0f));
            pixelAt(out, x, y) = colour4(n.x * 0.5f + 0.5f, n.y * 0.5f + 0.5f, n.z * 0.5f + 0.5f);
        }
    return out;
}

// ---- text -------------------------------------------------------------------------
struct Font {
    std::vector<unsigned char> data;
    stbtt_fontinfo info;
    int ok;
};
static Font fonts[5];
static const char* fontFiles[5] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Italic.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf",
};
static int fontsLoaded = 0;

static void loadFonts(void)
{
    if (fontsLoaded) return;
    fontsLoaded = 1;
    for (int i = 0; i < 5; i++) {
        fonts[i].ok = 0;
        FILE* f = fopen(fontFiles[i], "rb");
        if (!f) continue;
        fseek(f, 0, SEEK_END);
        long size = ftell(f);
        fseek(f, 0, SEEK_SET);
        if (size <= 0 || size > 64 * 1024 * 1024) {
            fclose(f);
            continue;
        }
        fonts[i].data.resize(size);
        size_t got = fread(fonts[i].data.data(), 1, size, f);
        fclose(f);
        if ((long)got != size) continue;
        if (stbtt_InitFont(&fonts[i].info, fonts[i].data.data(), 0)) fonts[i].ok = 1;
    }
}

int fontsAvailable(void)
{
    loadFonts();
    for (int i = 0; i < 5; i++)
        if (!fonts[i].ok) return 0;
    return 1;
}

float drawText(GenImage& im, const char* text, int font, float cx, float baseline, float size, Colour4 c,
               float maxWidth, float tracking)
{
    loadFonts();
    if (font < 0 || font > 4 || !fonts[font].ok) return -1;
    stbtt_fontinfo* fi = &fonts[font].info;
    float scale = stbtt_ScaleForPixelHeight(fi, size);
    size_t n = strlen(text);
    float width = 0;
    for (size_t i = 0; i < n; i++) {
        int adv, lsb;
        stbtt_GetCodepointHMetrics(fi, (unsigned char)text[i], &adv, &lsb);
        width += adv * scale + (i + 1 < n ? tracking : 0);
        if (i + 1 < n)
            width += stbtt_GetCodepointKernAdvance(fi, (unsigned char)text[i], (unsigned char)text[i + 1]) * scale;
    }
    float sx = (maxWidth > 0 && width > maxWidth) ? maxWidth / width : 1.0f;
    float pen = cx - width * sx * 0.5f;
    for (size_t i = 0; i < n; i++) {
        int ch = (unsigned char)text[i];
        int adv, lsb, x0, y0, x1, y1;
        stbtt_GetCodepointHMetrics(fi, ch, &adv, &lsb);
        // render each glyph at 4× resolution horizontally scaled, then box-filter
        const int ss = 3;
        stbtt_GetCodepointBitmapBox(fi, ch, scale * sx * ss, scale * ss, &x0, &y0, &x1, &y1);
        int gw = x1 - x0, gh = y1 - y0;
        if (gw > 0 && gh > 0) {
            std::vector<unsigned char> bm((size_t)gw * gh, 0);
            stbtt_MakeCodepointBitmap(fi, bm.data(), gw, gh, gw, scale * sx * ss, scale * ss, ch);
            float ox = pen + x0 / (float)ss, oy = baseline + y0 / (float)ss;
            int pw = gw / ss + 2, ph = gh / ss + 2;
            for (int py = 0; py < ph; py++)
                for (int px = 0; px < pw; px++) {
                    float sum = 0;
                    for (int sy = 0; sy < ss; sy++)
                        for (int sxx = 0; sxx < ss; sxx++) {
                            int bx = px * ss + sxx, by = py * ss + sy;
                            if (bx < gw && by < gh) sum += bm[(size_t)by * gw + bx];
                        }
                    float a = sum / (255.0f * ss * ss);
                    if (a > 0) blend(im, (int)floorf(ox) + px, (int)floorf(oy) + py, c, a);
                }
        }
        pen += (adv * scale + tracking) * sx;
        if (i + 1 < n) pen += stbtt_GetCodepointKernAdvance(fi, ch, (unsigned char)text[i + 1]) * scale * sx;
    }
    return width * sx;
}

// ---- writers ----------------------------------------------------------------------
static unsigned char toByte(float v)
{
    int i = (int)lroundf(clampf(v, 0.0f, 1.0f) * 255.0f);
    return (unsigned char)i;
}

int writeJpeg(const std::string& path, const GenImage& im, int quality)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) {
        fprintf(stderr, "gen: cannot write %s\n", path.c_str());
        return 0;
    }
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = im.w;
    cinfo.image_height = im.h;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row((size_t)im.w * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const Colour4* src = &im.px[(size_t)cinfo.next_scanline * im.w];
        for (int x = 0; x < im.w; x++) {
            row[3 * x] = toByte(src[x].r);
            row[3 * x + 1] = toByte(src[x].g);
            row[3 * x + 2] = toByte(src[x].b);
        }
        JSAMPROW rp = row.data();
        jpeg_write_scanlines(&cinfo, &rp, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    int ok = ferror(f) == 0;
    if (fclose(f) != 0) ok = 0;
    return ok;
}

int writeTga(const std::string& path, const GenImage& im, int withAlpha)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) {
        fprintf(stderr, "gen: cannot write %s\n", path.c_str());
        return 0;
    }
    unsigned char hdr[18];
    memset(hdr, 0, sizeof hdr);
    hdr[2] = 2;   // uncompressed true colour
    hdr[12] = im.w & 255;
    hdr[13] = im.w >> 8;
    hdr[14] = im.h & 255;
    hdr[15] = im.h >> 8;
    hdr[16] = withAlpha ? 32 : 24;
    hdr[17] = withAlpha ? 8 : 0;   // bottom-left origin, alpha bits
    fwrite(hdr, 1, sizeof hdr, f);
    int bpp = withAlpha ? 4 : 3;
    std::vector<unsigned char> row((size_t)im.w * bpp);
    for (int y = im.h - 1; y >= 0; y--) {   // bottom row first
        const Colour4* src = &im.px[(size_t)y * im.w];
        for (int x = 0; x < im.w; x++) {
            row[bpp * x] = toByte(src[x].b);
            row[bpp * x + 1] = toByte(src[x].g);
            row[bpp * x + 2] = toByte(src[x].r);
            if (withAlpha) row[bpp * x + 3] = toByte(src[x].a);
        }
        fwrite(row.data(), 1, row.size(), f);
    }
    int ok = ferror(f) == 0;
    if (fclose(f) != 0) ok = 0;
    return ok;
}

int writePng(const std::string& path, const GenImage& im)
{
    std::vector<unsigned char> buf((size_t)im.w * im.h * 4);
    for (size_t i = 0; i < im.px.size(); i++) {
        buf[4 * i] = toByte(im.px[i].r);
        buf[4 * i + 1] = toByte(im.px[i].g);
        buf[4 * i + 2] = toByte(im.px[i].b);
        buf[4 * i + 3] = toByte(im.px[i].a);
    }
    return stbi_write_png(path.c_str(), im.w, im.h, 4, buf.data(), im.w * 4) != 0;
}
