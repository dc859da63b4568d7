// Content generator: vector helpers, deterministic noise, mesh building blocks
// (lathe, tube, box, extrusion, ellipsoid, torus, shattering, thickening) and
// the BOF1/BAF1 text writer.
#include <cmath>
#include "gen.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <stdio.h>
#include <string.h>

Vec3 rotX(Vec3 p, float a)
{
    float c = cosf(a), s = sinf(a);
    return vec3(p.x, c * p.y - s * p.z, s * p.y + c * p.z);
}
Vec3 rotY(Vec3 p, float a)
{
    float c = cosf(a), s = sinf(a);
    return vec3(c * p.x + s * p.z, p.y, -s * p.x + c * p.z);
}
Vec3 rotZ(Vec3 p, float a)
{
    float c = cosf(a), s = sinf(a);
    return vec3(c * p.x - s * p.y, s * p.x + c * p.y, p.z);
}
Vec3 rotAxis(Vec3 p, Vec3 k, float a)
{
    float c = cosf(a), s = sinf(a);
    return p * c + cross(k, p) * s + k * (dot(k, p) * (1.0f - c));
}

// ---- randomness and noise --------------------------------------------------------
Rng makeRng(uint32_t seed) { return Rng{seed * 2654435761u + 0x9e3779b9u}; }
uint32_t nextU32(Rng* r)
{
    uint32_t x = r->state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    r->state = x ? x : 0x1234567u;
    return r->state;
}
float nextFloat(Rng* r) { return (nextU32(r) >> 8) * (1.0f / 16777216.0f); }
float nextRange(Rng* r, float lo, float hi) { return lo + (hi - lo) * nextFloat(r); }
Vec3 nextUnit(Rng* r)
{
    float z = nextRange(r, -1.0f, 1.0f), a = nextRange(r, 0.0f, 2.0f * Pi);
    float s = sqrtf(1.0f - z * z);
    return vec3(s * cosf(a), s * sinf(a), z);
}

float hash3(int x, int y, int z, uint32_t seed)
{
    uint32_t h = seed * 0x27d4eb2du ^ (uint32_t)x * 0x85ebca6bu ^ (uint32_t)y * 0xc2b2ae35u ^ (uint32_t)z * 0x165667b1u;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    h *= 0x297a2d39u;
    h ^= h >> 15;
    return (h >> 8) * (1.0f / 16777216.0f);
}
static float fade(float t) { return t * t * (3.0f - 2.0f * t); }
float noise3(float x, float y, float z, uint32_t seed)
{
    int ix = (int)floorf(x), iy = (int)floorf(y), iz = (int)floorf(z);
    float fx = fade(x - ix), fy = fade(y - iy), fz = fade(z - iz);
    float r[2];
    for (int k = 0; k < 2; k++) {
        float a = mixf(hash3(ix, iy, iz + k, seed), hash3(ix + 1, iy, iz + k, seed), fx);
        float b = mixf(hash3(ix, iy + 1, iz + k, seed), hash3(ix + 1, iy + 1, iz + k, seed), fx);
        r[k] = mixf(a, b, fy);
    }
    return mixf(r[0], r[1], fz);
}
float noise2(float x, float y, uint32_t seed)
{
    int ix = (int)floorf(x), iy = (int)floorf(y);
    float fx = fade(x - ix), fy = fade(y - iy);
    float a = mixf(hash3(ix, iy, 0, seed), hash3(ix + 1, iy, 0, seed), fx);
    float b = mixf(hash3(ix, iy + 1, 0, seed), hash3(ix + 1, iy + 1, 0, seed), fx);
    return mixf(a, b, fy);
}
static int wrapi(int v, int p) { return p > 0 ? ((v % p) + p) % p : v; }
float noise2Tiled(float x, float y, int px, int py, uint32_t seed)
{
    int ix = (int)floorf(x), iy = (int)floorf(y);
    float fx = fade(x - ix), fy = fade(y - iy);
    int x0 = wrapi(ix, px), x1 = wrapi(ix + 1, px), y0 = wrapi(iy, py), y1 = wrapi(iy + 1, py);
    float a = mixf(hash3(x0, y0, 0, seed), hash3(x1, y0, 0, seed), fx);
    float b = mixf(hash3(x0, y1, 0, seed), hash3(x1, y1, 0, seed), fx);
    return mixf(a, b, fy);
}
float fbm2(float x, float y, int octaves, uint32_t seed)
{
    float sum = 0, amp = 0.5f, total = 0;
    for (int i = 0; i < octaves; i++) {
        sum += amp * noise2(x, y, seed + i * 101);
        total += amp;
        x *= 2.03f;
        y *= 2.03f;
        amp *= 0.5f;
    }
    return sum / total;
}
float fbm3(float x, float y, float z, int octaves, uint32_t seed)
{
    float sum = 0, amp = 0.5f, total = 0;
    for (int i = 0; i < octaves; i++) {
        sum += amp * noise3(x, y, z, seed + i * 101);
        total += amp;
        x *= 2.01f;
        y *= 2.01f;
        z *= 2.01f;
        amp *= 0.5f;
    }
    return sum / total;
}
float fbm2Tiled(float x, float y, int px, int py, int octaves, uint32_t seed)
{
    float sum = 0, amp = 0.5f, total = 0;
    for (int i = 0; i < octaves; i++) {
        sum += amp * noise2Tiled(x, y, px, py, seed + i * 101);
        total += amp;
        x *= 2;
        y *= 2;
        px *= 2;
        py *= 2;
        amp *= 0.5f;
    }
    return sum / total;
}

// ---- mesh building -------------------------------------------------------------
uint32_t addVert(GeneratedMesh* m, Vec3 p, float u, float v)
{
    m->verts.push_back(GeneratedVertex{p, u, v});
    return (uint32_t)m->verts.size() - 1;
}
void addTri(GeneratedMesh* m, uint32_t a, uint32_t b, uint32_t c)
{
    m->tris.push_back(a);
    m->tris.push_back(b);
    m->tris.push_back(c);
}
void addQuad(GeneratedMesh* m, uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    addTri(m, a, b, c);
    addTri(m, a, c, d);
}
void appendMesh(GeneratedMesh* dst, const GeneratedMesh& src)
{
    uint32_t base = (uint32_t)dst->verts.size();
    dst->verts.insert(dst->verts.end(), src.verts.begin(), src.verts.end());
    for (uint32_t i : src.tris) dst->tris.push_back(base + i);
}
void transformMesh(GeneratedMesh* m, Vec3 (*fn)(Vec3, const void*), const void* ctx)
{
    for (GeneratedVertex& v : m->verts) v.p = fn(v.p, ctx);
}
void translateMesh(GeneratedMesh* m, Vec3 t)
{
    for (GeneratedVertex& v : m->verts) v.p = v.p + t;
}
void scaleMeshXYZ(GeneratedMesh* m, Vec3 s)
{
    for (GeneratedVertex& v : m->verts) v.p = vec3(v.p.x * s.x, v.p.y * s.y, v.p.z * s.z);
    if (((s.x < 0) ^ (s.y < 0) ^ (s.z < 0)) != 0) flipWinding(m);
}
void rotateMeshY(GeneratedMesh* m, float a)
{
    for (GeneratedVertex& v : m->verts) v.p = rotY(v.p, a);
}
void rotateMeshX(GeneratedMesh* m, float a)
{
    for (GeneratedVertex& v : m->verts) v.p = rotX(v.p, a);
}
void rotateMeshZ(GeneratedMesh* m, float a)
{
    for (GeneratedVertex& v : m->verts) v.p = rotZ(v.p, a);
}
void flipWinding(GeneratedMesh* m)
{
    for (size_t i = 0; i + 2 < m->tris.size(); i += 3) {
        uint32_t t = m->tris[i + 1];
        m->tris[i + 1] = m->tris[i + 2];
        m->tris[i + 2] = t;
    }
}
void mapUV(GeneratedMesh* m, float u0, float v0, float u1, float v1)
{
    for (GeneratedVertex& v : m->verts) {
        v.u = u0 + (u1 - u0) * v.u;
        v.v = v0 + (v1 - v0) * v.v;
    }
}

GeneratedMesh lathe(const std::vector<ProfilePt>& prof, int segs, float u0, float u1)
{
    GeneratedMesh m;
    int n = (int)prof.size();
    for (int i = 0; i < n; i++) {
        for (int j = 0; j <= segs; j++) {
            float t = (float)j / segs;
            float u = u0 + (u1 - u0) * t;
            float a = 2.0f * Pi * (t - 0.5f);
            addVert(&m, vec3(prof[i].r * sinf(a), prof[i].y, prof[i].r * cosf(a)), u, prof[i].v);
        }
    }
    int row = segs + 1;
    for (int i = 0; i + 1 < n; i++)
        for (int j = 0; j < segs; j++) {
            uint32_t a = i * row + j, b = i * row + j + 1, c = (i + 1) * row + j + 1, d = (i + 1) * row + j;
            addQuad(&m, a, b, c, d);
        }
    return m;
}

GeneratedMesh tube(const std::vector<Vec3>& path, const std::vector<float>& radius, int segs, int capEnds)
{
    GeneratedMesh m;
    int n = (int)path.size();
    if (n < 2) return m;
    Vec3 t0 = norm(path[1] - path[0]);
    Vec3 ref = fabsf(t0.y) < 0.9f ? vec3(0, 1, 0) : vec3(1, 0, 0);
    Vec3 side = norm(cross(t0, ref));
    float acc = 0;
    for (int i = 0; i < n; i++) {
        Vec3 t = i == 0 ? t0 : (i == n - 1 ? norm(path[i] - path[i - 1]) : norm(path[i + 1] - path[i - 1]));
        side = norm(side - t * dot(side, t));   // parallel transport of the frame
        Vec3 up = cross(side, t);
        if (i > 0) acc += len(path[i] - path[i - 1]);
        for (int j = 0; j <= segs; j++) {
            float a = 2.0f * Pi * j / segs;
            Vec3 d = side * cosf(a) + up * sinf(a);
            addVert(&m, path[i] + d * radius[i], (float)j / segs, acc);
        }
    }
    float total = acc > 0 ? acc : 1.0f;
    for (GeneratedVertex& v : m.verts) v.v /= total;
    int row = segs + 1;
    for (int i = 0; i + 1 < n; i++)
        for (int j = 0; j < segs; j++) {
            uint32_t a = i * row + j, b = i * row + j + 1, c = (i + 1) * row + j + 1, d = (i + 1) * row + j;
            addQuad(&m, a, d, c, b);
        }
    if (capEnds) {
        for (int e = 0; e < 2; e++) {
            int i = e ? n - 1 : 0;
            uint32_t centre = addVert(&m, path[i], 0.5f, e ? 1.0f : 0.0f);
            uint32_t first = (uint32_t)m.verts.size();
            for (int j = 0; j <= segs; j++) {
                GeneratedVertex g = m.verts[i * row + j];
                addVert(&m, g.p, g.u, g.v);
            }
            for (int j = 0; j < segs; j++) {
                if (e)
                    addTri(&m, centre, first + j + 1, first + j);
                else
                    addTri(&m, centre, first + j, first + j + 1);
            }
        }
    }
    return m;
}

static void boxFace(GeneratedMesh* m, Vec3 o, Vec3 du, Vec3 dv)
{
    uint32_t a = addVert(m, o, 0, 1), b = addVert(m, o + du, 1, 1);
    uint32_t c = addVert(m, o + du + dv, 1, 0), d = addVert(m, o + dv, 0, 0);
    addQuad(m, a, b, c, d);
}
GeneratedMesh box(Vec3 lo, Vec3 hi)
{
    GeneratedMesh m;
    Vec3 s = hi - lo;
    boxFace(&m, vec3(lo.x, lo.y, hi.z), vec3(s.x, 0, 0), vec3(0, s.y, 0));    // +z
    boxFace(&m, vec3(hi.x, lo.y, lo.z), vec3(-s.x, 0, 0), vec3(0, s.y, 0));   // -z
    boxFace(&m, vec3(hi.x, lo.y, hi.z), vec3(0, 0, -s.z), vec3(0, s.y, 0));   // +x
    boxFace(&m, vec3(lo.x, lo.y, lo.z), vec3(0, 0, s.z), vec3(0, s.y, 0));    // -x
    boxFace(&m, vec3(lo.x, hi.y, hi.z), vec3(s.x, 0, 0), vec3(0, 0, -s.z));   // +y
    boxFace(&m, vec3(lo.x, lo.y, lo.z), vec3(s.x, 0, 0), vec3(0, 0, s.z));    // -y
    return m;
}

// Signed area of a closed polygon (positive when counter-clockwise).
static float polyArea(const std::vector<float>& xy)
{
    float a = 0;
    size_t n = xy.size() / 2;
    for (size_t i = 0; i < n; i++) {
        size_t j = (i + 1) % n;
        a += xy[2 * i] * xy[2 * j + 1] - xy[2 * j] * xy[2 * i + 1];
    }
    return a * 0.5f;
}
static int pointInTri(float px, float py, const float* a, const float* b, const float* c)
{
    float d1 = (px - b[0]) * (a[1] - b[1]) - (a[0] - b[0]) * (py - b[1]);
    float d2 = (px - c[0]) * (b[1] - c[1]) - (b[0] - c[0]) * (py - c[1]);
    float d3 = (px - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (py - a[1]);
    int neg = d1 < 0 || d2 < 0 || d3<0, pos = d1> 0 || d2 > 0 || d3 > 0;
    return !(neg && pos);
}
// Ear clipping of a simple counter-clockwise polygon; returns index triples.
static std::vector<int> triangulate(const std::vector<float>& xy)
{
    std::vector<int> idx, out;
    int n = (int)xy.size() / 2;
    for (int i = 0; i < n; i++) idx.push_back(i);
    int guard = 0;
    while (idx.size() > 3 && guard++ < 10000) {
        int m = (int)idx.size(), found = 0;
        for (int k = 0; k < m; k++) {
            int i0 = idx[(k + m - 1) % m], i1 = idx[k], i2 = idx[(k + 1) % m];
            const float *a = &xy[2 * i0], *b = &xy[2 * i1], *c = &xy[2 * i2];
            float cr = (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
            if (cr <= 1e-9f) continue;
            int inside = 0;
            for (int q : idx)
                if (q != i0 && q != i1 && q != i2 && pointInTri(xy[2 * q], xy[2 * q + 1], a, b, c)) inside = 1;
            if (inside) continue;
            out.push_back(i0);
            out.push_back(i1);
            out.push_back(i2);
            idx.erase(idx.begin() + k);
            found = 1;
            break;
        }
        if (!found) {
            // no ear: drop a vertex that lies on the line of its neighbours, or give up
            int dropped = 0;
            for (int k = 0; k < m && !dropped; k++) {
                const float *a = &xy[2 * idx[(k + m - 1) % m]], *b = &xy[2 * idx[k]], *c = &xy[2 * idx[(k + 1) % m]];
                float cr = (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
                if (fabsf(cr) <= 1e-4f) {
                    idx.erase(idx.begin() + k);
                    dropped = 1;
                }
            }
            if (!dropped) break;
        }
    }
    if (idx.size() == 3) {
        out.push_back(idx[0]);
        out.push_back(idx[1]);
        out.push_back(idx[2]);
    }
    return out;
}
// Polygon moved inward by d along the vertex bisectors (mitred).
static std::vector<float> inset(const std::vector<float>& xy, float d)
{
    std::vector<float> out(xy.size());
    int n = (int)xy.size() / 2;
    for (int i = 0; i < n; i++) {
        int p = (i + n - 1) % n, q = (i + 1) % n;
        float ex0 = xy[2 * i] - xy[2 * p], ey0 = xy[2 * i + 1] - xy[2 * p + 1];
        float ex1 = xy[2 * q] - xy[2 * i], ey1 = xy[2 * q + 1] - xy[2 * i + 1];
        float l0 = sqrtf(ex0 * ex0 + ey0 * ey0) + 1e-9f, l1 = sqrtf(ex1 * ex1 + ey1 * ey1) + 1e-9f;
        // inward normals of a counter-clockwise polygon point left of the edge
        float nx0 = -ey0 / l0, ny0 = ex0 / l0, nx1 = -ey1 / l1, ny1 = ex1 / l1;
        float bx = nx0 + nx1, by = ny0 + ny1, bl = sqrtf(bx * bx + by * by) + 1e-9f;
        bx /= bl;
        by /= bl;
        float cosHalf = bx * nx0 + by * ny0;
        float k = d / (cosHalf > 0.3f ? cosHalf : 0.3f);
        out[2 * i] = xy[2 * i] + bx * k;
        out[2 * i + 1] = xy[2 * i + 1] + by * k;
    }
    return out;
}
GeneratedMesh extrude(const std::vector<float>& polyIn, float z0, float z1, float bevel)
{
    GeneratedMesh m;
    std::vector<float> poly = polyIn;
    int n = (int)poly.size() / 2;
    if (n < 3) return m;
    if (polyArea(poly) < 0) {
        for (int i = 0; i < n / 2; i++) {
            std::swap(poly[2 * i], poly[2 * (n - 1 - i)]);
            std::swap(poly[2 * i + 1], poly[2 * (n - 1 - i) + 1]);
        }
    }
    float minx = 1e30f, maxx = -1e30f, miny = 1e30f, maxy = -1e30f;
    for (int i = 0; i < n; i++) {
        minx = fminf(minx, poly[2 * i]);
        maxx = fmaxf(maxx, poly[2 * i]);
        miny = fminf(miny, poly[2 * i + 1]);
        maxy = fmaxf(maxy, poly[2 * i + 1]);
    }
    float sx = 1.0f / fmaxf(maxx - minx, 1e-6f), sy = 1.0f / fmaxf(maxy - miny, 1e-6f);
    std::vector<float> in = bevel > 0 ? inset(poly, bevel) : poly;
    // rings: back cap outline, back wall start, front wall end, front cap outline
    struct Ring {
        const std::vector<float>* xy;
        float z;
    };
    Ring rings[4] = {{&in, z0}, {&poly, z0 + bevel}, {&poly, z1 - bevel}, {&in, z1}};
    int ringCount = bevel > 0 ? 4 : 2;
    if (bevel <= 0) {
        rings[0] = Ring{&poly, z0};
        rings[1] = Ring{&poly, z1};
    }
    float perim = 0;
    std::vector<float> along(n + 1, 0);
    for (int i = 0; i < n; i++) {
        int q = (i + 1) % n;
        perim += sqrtf((poly[2 * q] - poly[2 * i]) * (poly[2 * q] - poly[2 * i]) +
                       (poly[2 * q + 1] - poly[2 * i + 1]) * (poly[2 * q + 1] - poly[2 * i + 1]));
        along[i + 1] = perim;
    }
    // walls: each edge gets its own vertices so corners stay sharp
    for (int r = 0; r + 1 < ringCount; r++) {
        const std::vector<float>& A = *rings[r].xy;
        const std::vector<float>& B = *rings[r + 1].xy;
        for (int i = 0; i < n; i++) {
            int q = (i + 1) % n;
            float ua = along[i] / perim, ub = along[i + 1] / perim;
            float va = (rings[r].z - z0) / (z1 - z0), vb = (rings[r + 1].z - z0) / (z1 - z0);
            uint32_t a = addVert(&m, vec3(A[2 * i], A[2 * i + 1], rings[r].z), ua, va);
            uint32_t b = addVert(&m, vec3(A[2 * q], A[2 * q + 1], rings[r].z), ub, va);
            uint32_t c = addVert(&m, vec3(B[2 * q], B[2 * q + 1], rings[r + 1].z), ub, vb);
            uint32_t d = addVert(&m, vec3(B[2 * i], B[2 * i + 1], rings[r + 1].z), ua, vb);
            addQuad(&m, a, b, c, d);
        }
    }
    std::vector<int> tri = triangulate(in);
    for (int e = 0; e < 2; e++) {
        float z = e ? z1 : z0;
        uint32_t base = (uint32_t)m.verts.size();
        for (int i = 0; i < n; i++)
            addVert(&m, vec3(in[2 * i], in[2 * i + 1], z), (in[2 * i] - minx) * sx, 1.0f - (in[2 * i + 1] - miny) * sy);
        for (size_t t = 0; t + 2 < tri.size(); t += 3) {
            if (e)
                addTri(&m, base + tri[t], base + tri[t + 1], base + tri[t + 2]);
            else
                addTri(&m, base + tri[t], base + tri[t + 2], base + tri[t + 1]);
        }
    }
    return m;
}

GeneratedMesh bevelBox(Vec3 lo, Vec3 hi, float b)
{
    // a bevel may take at most a third of the thinnest side
    b = fminf(b, fminf(fminf(hi.x - lo.x, hi.y - lo.y), hi.z - lo.z) / 3.0f);
    std::vector<float> xy = {lo.x + b, lo.y, hi.x - b, lo.y, hi.x, lo.y + b, hi.x, hi.y - b,
                             hi.x - b, hi.y, lo.x + b, hi.y, lo.x, hi.y - b, lo.x, lo.y + b};
    return extrude(xy, lo.z, hi.z, b);
}

GeneratedMesh ellipsoid(Vec3 c, Vec3 r, int segs, int rings)
{
    GeneratedMesh m;
    uint32_t bottom = addVert(&m, c + vec3(0, -r.y, 0), 0.5f, 1.0f);
    for (int i = 1; i < rings; i++) {
        float lat = -Pi / 2 + Pi * i / rings;
        for (int j = 0; j <= segs; j++) {
            float a = 2.0f * Pi * ((float)j / segs - 0.5f);
            Vec3 d = vec3(cosf(lat) * sinf(a), sinf(lat), cosf(lat) * cosf(a));
            addVert(&m, c + vec3(d.x * r.x, d.y * r.y, d.z * r.z), (float)j / segs, 1.0f - (float)i / rings);
        }
    }
    uint32_t top = addVert(&m, c + vec3(0, r.y, 0), 0.5f, 0.0f);
    int row = segs + 1;
    for (int j = 0; j < segs; j++) addTri(&m, bottom, 1 + j + 1, 1 + j);
    for (int i = 0; i + 2 < rings; i++)
        for (int j = 0; j < segs; j++) {
            uint32_t a = 1 + i * row + j, b = a + 1, cc = a + row + 1, d = a + row;
            addQuad(&m, a, b, cc, d);
        }
    uint32_t last = 1 + (rings - 2) * row;
    for (int j = 0; j < segs; j++) addTri(&m, top, last + j, last + j + 1);
    return m;
}

GeneratedMesh torus(float R, float r, int segs, int sides, float a0, float a1)
{
    GeneratedMesh m;
    for (int i = 0; i <= segs; i++) {
        float a = a0 + (a1 - a0) * i / segs;
        Vec3 cdir = vec3(sinf(a), 0, cosf(a));
        for (int j = 0; j <= sides; j++) {
            float b = 2.0f * Pi * j / sides;
            Vec3 p = cdir * (R + r * cosf(b)) + vec3(0, r * sinf(b), 0);
            addVert(&m, p, (float)i / segs, (float)j / sides);
        }
    }
    int row = sides + 1;
    for (int i = 0; i < segs; i++)
        for (int j = 0; j < sides; j++) {
            uint32_t a = i * row + j, b = a + 1, c = a + row + 1, d = a + row;
            addQuad(&m, a, b, c, d);
        }
    return m;
}

std::vector<Vec3> vertexNormals(const std::vector<GeneratedVertex>& verts, const std::vector<uint32_t>& tris)
{
    std::vector<Vec3> n(verts.size(), vec3(0, 0, 0));
    for (size_t i = 0; i + 2 < tris.size(); i += 3) {
        Vec3 p0 = verts[tris[i]].p, p1 = verts[tris[i + 1]].p, p2 = verts[tris[i + 2]].p;
        Vec3 f = cross(p1 - p0, p2 - p0);
        for (int k = 0; k < 3; k++) n[tris[i + k]] = n[tris[i + k]] + f;
    }
    for (Vec3& v : n) v = norm(v);
    return n;
}

GeneratedMesh refine(const GeneratedMesh& m, float maxEdge)
{
    GeneratedMesh cur = m;
    for (int pass = 0; pass < 8; pass++) {
        GeneratedMesh next;
        next.verts = cur.verts;
        std::map<std::pair<uint32_t, uint32_t>, uint32_t> mids;
        auto isLong = [&](uint32_t a, uint32_t b) { return len(cur.verts[a].p - cur.verts[b].p) > maxEdge; };
        auto mid = [&](uint32_t a, uint32_t b) {
            std::pair<uint32_t, uint32_t> key(a < b ? a : b, a < b ? b : a);
            auto it = mids.find(key);
            if (it != mids.end()) return it->second;
            const GeneratedVertex &p = cur.verts[a], &q = cur.verts[b];
            uint32_t v = addVert(&next, (p.p + q.p) * 0.5f, (p.u + q.u) * 0.5f, (p.v + q.v) * 0.5f);
            mids[key] = v;
            return v;
        };
        int split = 0;
        for (size_t t = 0; t + 2 < cur.tris.size(); t += 3) {
            uint32_t v[3] = {cur.tris[t], cur.tris[t + 1], cur.tris[t + 2]};
            int f[3] = {isLong(v[0], v[1]), isLong(v[1], v[2]), isLong(v[2], v[0])};
            int n = f[0] + f[1] + f[2];
            if (n == 0) {
                addTri(&next, v[0], v[1], v[2]);
                continue;
            }
            split = 1;
            // turn the corners so the pattern starts at edge 0
            int r = 0;
            if (n == 1) r = f[0] ? 0 : (f[1] ? 1 : 2);
            if (n == 2) r = !f[2] ? 0 : (!f[0] ? 1 : 2);   // the unsplit edge becomes edge 2
            uint32_t a = v[r], b = v[(r + 1) % 3], c = v[(r + 2) % 3];
            if (n == 1) {
                uint32_t ab = mid(a, b);
                addTri(&next, a, ab, c);
                addTri(&next, ab, b, c);
            } else if (n == 2) {
                uint32_t ab = mid(a, b), bc = mid(b, c);
                addTri(&next, a, ab, bc);
                addTri(&next, ab, b, bc);
                addTri(&next, a, bc, c);
            } else {
                uint32_t ab = mid(a, b), bc = mid(b, c), ca = mid(c, a);
                addTri(&next, a, ab, ca);
                addTri(&next, ab, b, bc);
                addTri(&next, ca, bc, c);
                addTri(&next, ab, bc, ca);
            }
        }
        cur = next;
        if (!split) break;
    }
    return cur;
}

GeneratedMesh shatter(const GeneratedMesh& m, int count, Rng* rng, std::vector<int>* pieceOf)
{
    size_t triCount = m.tris.size() / 3;
    std::vector<Vec3> seeds;
    for (int i = 0; i < count; i++) {
        size_t t = nextU32(rng) % triCount;
        seeds.push_back((m.verts[m.tris[3 * t]].p + m.verts[m.tris[3 * t + 1]].p + m.verts[m.tris[3 * t + 2]].p) *
                        (1.0f / 3));
    }
    GeneratedMesh out;
    std::map<uint64_t, uint32_t> remap;
    pieceOf->clear();
    for (size_t t = 0; t < triCount; t++) {
        Vec3 c = (m.verts[m.tris[3 * t]].p + m.verts[m.tris[3 * t + 1]].p + m.verts[m.tris[3 * t + 2]].p) * (1.0f / 3);
        // a little noise bends the straight Voronoi borders into cracks
        c = c + vec3(noise3(c.x * 0.05f, c.y * 0.05f, c.z * 0.05f, 7) - 0.5f,
                     noise3(c.y * 0.05f, c.z * 0.05f, c.x * 0.05f, 8) - 0.5f, 0) *
                    30.0f;
        int best = 0;
        float bd = 1e30f;
        for (int s = 0; s < count; s++) {
            float d = dot(c - seeds[s], c - seeds[s]);
            if (d < bd) {
                bd = d;
                best = s;
            }
        }
        for (int k = 0; k < 3; k++) {
            uint32_t vi = m.tris[3 * t + k];
            uint64_t key = ((uint64_t)best << 32) | vi;
            auto it = remap.find(key);
            uint32_t ni;
            if (it == remap.end()) {
                ni = addVert(&out, m.verts[vi].p, m.verts[vi].u, m.verts[vi].v);
                pieceOf->push_back(best);
                remap[key] = ni;
            } else {
                ni = it->second;
            }
            out.tris.push_back(ni);
        }
    }
    return out;
}

// Positions are grouped with a 0.01 grid (the files' precision), which also
// joins the duplicated seam column of a lathe.
void smoothBreaks(GeneratedMesh* m, const std::vector<int>& pieceOf, int iterations, float amount)
{
    if (pieceOf.size() != m->verts.size()) return;
    const std::vector<GeneratedVertex> original = m->verts;
    std::map<std::tuple<long, long, long>, int> groupOf;
    std::vector<int> group(m->verts.size());
    std::vector<Vec3> pos;
    for (size_t i = 0; i < m->verts.size(); i++) {
        Vec3 p = m->verts[i].p;
        auto key = std::make_tuple(lroundf(p.x * 100), lroundf(p.y * 100), lroundf(p.z * 100));
        auto it = groupOf.find(key);
        if (it == groupOf.end()) {
            it = groupOf.emplace(key, (int)pos.size()).first;
            pos.push_back(p);
        }
        group[i] = it->second;
    }
    size_t gc = pos.size();
    // edges between groups: how many triangles use each, and of which pieces
    std::map<std::pair<int, int>, std::vector<int>> edgePieces;
    for (size_t t = 0; t + 2 < m->tris.size(); t += 3)
        for (int k = 0; k < 3; k++) {
            int a = group[m->tris[t + k]], b = group[m->tris[t + (k + 1) % 3]];
            if (a == b) continue;
            edgePieces[{std::min(a, b), std::max(a, b)}].push_back(pieceOf[m->tris[t]]);
        }
    std::vector<std::vector<int>> piecesAt(gc), crackNext(gc);
    std::vector<char> fixed(gc, 0);
    for (size_t i = 0; i < m->verts.size(); i++) {
        std::vector<int>& ps = piecesAt[group[i]];
        if (std::find(ps.begin(), ps.end(), pieceOf[i]) == ps.end()) ps.push_back(pieceOf[i]);
    }
    for (const auto& e : edgePieces) {
        const std::vector<int>& ps = e.second;
        if (ps.size() < 2) fixed[e.first.first] = fixed[e.first.second] = 1;   // open border
        int mixed = 0;
        for (int p : ps) mixed |= p != ps[0];
        if (!mixed) continue;
        crackNext[e.first.first].push_back(e.first.second);
        crackNext[e.first.second].push_back(e.first.first);
    }
    std::vector<char> moves(gc, 0);
    for (size_t g = 0; g < gc; g++) moves[g] = !fixed[g] && piecesAt[g].size() == 2 && crackNext[g].size() == 2;
    // the copy of a group in a piece, for the texture coordinates
    std::map<std::pair<int, int>, uint32_t> copyIn;
    for (size_t i = 0; i < m->verts.size(); i++) copyIn.emplace(std::make_pair(group[i], pieceOf[i]), (uint32_t)i);
    for (int it = 0; it < iterations; it++) {
        std::vector<Vec3> next = pos;
        std::vector<GeneratedVertex> verts = m->verts;
        for (size_t i = 0; i < m->verts.size(); i++) {
            int g = group[i];
            if (!moves[g]) continue;
            int a = crackNext[g][0], b = crackNext[g][1];
            next[g] = pos[g] + ((pos[a] + pos[b]) * 0.5f - pos[g]) * amount;
            auto ca = copyIn.find({a, pieceOf[i]}), cb = copyIn.find({b, pieceOf[i]});
            if (ca == copyIn.end() || cb == copyIn.end()) continue;
            const GeneratedVertex &va = m->verts[ca->second], &vb = m->verts[cb->second], &v = m->verts[i];
            if (fabsf(va.u - v.u) > 0.5f || fabsf(vb.u - v.u) > 0.5f) continue;   // across the seam
            verts[i].u = v.u + ((va.u + vb.u) * 0.5f - v.u) * amount;
            verts[i].v = v.v + ((va.v + vb.v) * 0.5f - v.v) * amount;
        }
        pos = next;
        m->verts = verts;
    }
    // a small sideways wobble (within the surface, by position noise) so the
    // cracks read chipped rather than cut
    std::vector<Vec3> normal(gc, vec3(0, 0, 0));
    std::vector<Vec3> vn = vertexNormals(m->verts, m->tris);
    for (size_t i = 0; i < m->verts.size(); i++) normal[group[i]] = normal[group[i]] + vn[i];
    std::vector<Vec3> shifted = pos;
    for (size_t g = 0; g < gc; g++) {
        if (!moves[g]) continue;
        Vec3 along = pos[crackNext[g][1]] - pos[crackNext[g][0]];
        Vec3 side = norm(cross(norm(normal[g]), along));
        float wobble = noise3(pos[g].x * 0.08f, pos[g].y * 0.08f, pos[g].z * 0.08f, 41) - 0.5f;
        shifted[g] = pos[g] + side * (wobble * 0.35f * len(along));
    }
    // where a move turned a triangle over (a step corner pulled across the
    // opposite edge, thin fans near a pole), the corner that moved furthest
    // drops its wobble, then goes back, until no triangle is turned over
    std::vector<Vec3> start(gc);
    for (size_t i = 0; i < original.size(); i++) start[group[i]] = original[i].p;
    std::vector<int> level(gc, 2);
    auto at = [&](int g) { return level[g] == 2 ? shifted[g] : (level[g] == 1 ? pos[g] : start[g]); };
    for (int pass = 0; pass < 32; pass++) {
        int demoted = 0;
        for (size_t t = 0; t + 2 < m->tris.size(); t += 3) {
            const uint32_t* i = &m->tris[t];
            Vec3 n0 = cross(start[group[i[1]]] - start[group[i[0]]], start[group[i[2]]] - start[group[i[0]]]);
            Vec3 n1 = cross(at(group[i[1]]) - at(group[i[0]]), at(group[i[2]]) - at(group[i[0]]));
            if (dot(n0, n1) > 0.02f * dot(n0, n0)) continue;
            int worst = -1;
            float far = 0.0f;
            for (int k = 0; k < 3; k++) {
                int g = group[i[k]];
                float d = len(at(g) - start[g]);
                if (moves[g] && level[g] > 0 && d > far) {
                    far = d;
                    worst = g;
                }
            }
            if (worst < 0) continue;
            level[worst]--;
            demoted++;
        }
        if (!demoted) break;
    }
    for (size_t i = 0; i < m->verts.size(); i++) {
        int g = group[i];
        if (!moves[g] || level[g] == 0)
            m->verts[i] = original[i];
        else
            m->verts[i].p = at(g);
    }
}

// Normals of a shattered mesh with pieces welded back by position, so the inner
// shell follows the smooth outer surface across cracks.
static std::vector<Vec3> weldedNormals(const GeneratedMesh& m)
{
    std::map<std::tuple<int, int, int>, Vec3> acc;
    auto key = [](Vec3 p) {
        return std::make_tuple((int)lroundf(p.x * 20), (int)lroundf(p.y * 20), (int)lroundf(p.z * 20));
    };
    for (size_t i = 0; i + 2 < m.tris.size(); i += 3) {
        Vec3 p0 = m.verts[m.tris[i]].p, p1 = m.verts[m.tris[i + 1]].p, p2 = m.verts[m.tris[i + 2]].p;
        Vec3 f = cross(p1 - p0, p2 - p0);
        for (int k = 0; k < 3; k++) {
            auto& s = acc[key(m.verts[m.tris[i + k]].p)];
            s = s + f;
        }
    }
    std::vector<Vec3> n;
    for (const GeneratedVertex& v : m.verts) n.push_back(norm(acc[key(v.p)]));
    return n;
}

GeneratedMesh thicken(const GeneratedMesh& m, float depth, const std::vector<int>& pieceIn, std::vector<int>* pieceOut,
                      float wallU, float wallV)
{
    GeneratedMesh out = m;
    *pieceOut = pieceIn;
    std::vector<Vec3> n = weldedNormals(m);
    uint32_t vc = (uint32_t)m.verts.size();
    for (uint32_t i = 0; i < vc; i++) {
        GeneratedVertex g = m.verts[i];
        addVert(&out, g.p - n[i] * depth, wallU, wallV);
        pieceOut->push_back(pieceIn[i]);
    }
    for (size_t i = 0; i + 2 < m.tris.size(); i += 3)
        addTri(&out, vc + m.tris[i], vc + m.tris[i + 2], vc + m.tris[i + 1]);
    // boundary edges: no triangle of the same piece runs the reverse way over
    // the same two positions (so a lathe's seam is not a crack)
    auto posKey = [&](uint32_t v) {
        Vec3 p = m.verts[v].p;
        return std::make_tuple((long)lroundf(p.x * 100), (long)lroundf(p.y * 100), (long)lroundf(p.z * 100),
                               pieceIn[v]);
    };
    std::map<std::pair<std::tuple<long, long, long, int>, std::tuple<long, long, long, int>>, int> edges;
    for (size_t i = 0; i + 2 < m.tris.size(); i += 3)
        for (int k = 0; k < 3; k++) {
            uint32_t a = m.tris[i + k], b = m.tris[i + (k + 1) % 3];
            edges[{posKey(a), posKey(b)}]++;
        }
    // wall vertices are shared along each crack so the walls stay cheap
    std::map<uint32_t, uint32_t> wallOuter, wallInner;
    auto wallVert = [&](std::map<uint32_t, uint32_t>& cache, uint32_t src, Vec3 p, float dv) {
        auto it = cache.find(src);
        if (it != cache.end()) return it->second;
        uint32_t v = addVert(&out, p, wallU + 0.01f * (src & 1), wallV + dv);
        pieceOut->push_back(pieceIn[src]);
        cache[src] = v;
        return v;
    };
    for (size_t i = 0; i + 2 < m.tris.size(); i += 3)
        for (int k = 0; k < 3; k++) {
            uint32_t a = m.tris[i + k], b = m.tris[i + (k + 1) % 3];
            if (edges.count({posKey(b), posKey(a)})) continue;
            uint32_t wa = wallVert(wallOuter, a, m.verts[a].p, 0.0f), wb = wallVert(wallOuter, b, m.verts[b].p, 0.0f);
            uint32_t wai = wallVert(wallInner, a, out.verts[vc + a].p, 0.01f),
                     wbi = wallVert(wallInner, b, out.verts[vc + b].p, 0.01f);
            addQuad(&out, wb, wa, wai, wbi);
        }
    return out;
}

// ---- writer -----------------------------------------------------------------------
// Fixed-point text without trailing zeros: identical bytes on every build and
// about half the size of a plain "%f".
static char* putNumber(char* p, float value, int decimals)
{
    static const long scales[] = {1, 10, 100, 1000, 10000, 100000};
    long scale = scales[decimals];
    long q = lroundf(value * scale);
    if (q < 0) {
        *p++ = '-';
        q = -q;
    }
    long ip = q / scale, fp = q % scale;
    p += sprintf(p, "%ld", ip);
    if (fp) {
        char frac[24];
        snprintf(frac, sizeof frac, "%0*ld", decimals, fp);
        int l = decimals;
        while (l > 0 && frac[l - 1] == '0') l--;
        *p++ = '.';
        memcpy(p, frac, l);
        p += l;
    }
    return p;
}

int writeMesh(const std::string& path, const GeneratedMesh& m)
{
    size_t vc = m.verts.size(), tc = m.tris.size() / 3;
    size_t fc = m.frames.empty() ? 1 : m.frames.size();
    if (vc == 0 || vc > 65535 || tc == 0) {
        fprintf(stderr, "gen: %s has %zu vertices and %zu triangles, refused\n", path.c_str(), vc, tc);
        return 0;
    }
    for (uint32_t i : m.tris)
        if (i >= vc) {
            fprintf(stderr, "gen: %s has an index %u beyond %zu vertices\n", path.c_str(), i, vc);
            return 0;
        }
    for (const auto& f : m.frames)
        if (f.size() != vc) {
            fprintf(stderr, "gen: %s has a frame of %zu vertices, not %zu\n", path.c_str(), f.size(), vc);
            return 0;
        }
    for (size_t fr = 0; fr < fc; fr++) {
        const std::vector<GeneratedVertex>& vs = m.frames.empty() ? m.verts : m.frames[fr];
        for (const GeneratedVertex& v : vs)
            if (!std::isfinite(v.p.x) || !std::isfinite(v.p.y) || !std::isfinite(v.p.z) || !std::isfinite(v.u) ||
                !std::isfinite(v.v)) {
                fprintf(stderr, "gen: %s has a vertex that is not a finite number (frame %zu)\n", path.c_str(), fr);
                return 0;
            }
    }
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) {
        fprintf(stderr, "gen: cannot write %s\n", path.c_str());
        return 0;
    }
    if (m.frames.empty())
        fprintf(f, "BOF1\n%zu %zu\n0 0 0\n", vc, tc);
    else
        fprintf(f, "BAF1\n%zu %zu %zu\n0 0 0\n", vc, tc, fc);
    char line[160];
    for (size_t fr = 0; fr < fc; fr++) {
        const std::vector<GeneratedVertex>& vs = m.frames.empty() ? m.verts : m.frames[fr];
        for (size_t i = 0; i < vc; i++) {
            char* p = line + sprintf(line, "%zu ", i);
            p = putNumber(p, vs[i].p.x, 2);
            *p++ = ' ';
            p = putNumber(p, vs[i].p.y, 2);
            *p++ = ' ';
            p = putNumber(p, vs[i].p.z, 2);
            *p++ = ' ';
            p = putNumber(p, vs[i].u, 4);
            *p++ = ' ';
            p = putNumber(p, vs[i].v, 4);
            *p++ = '\n';
            fwrite(line, 1, p - line, f);
        }
    }
    for (size_t t = 0; t < tc; t++)
        fprintf(f, "%zu %u %u %u\n", t, m.tris[3 * t], m.tris[3 * t + 1], m.tris[3 * t + 2]);
    int ok = ferror(f) == 0;
    if (fclose(f) != 0) ok = 0;
    if (!ok) fprintf(stderr, "gen: error while writing %s\n", path.c_str());
    return ok;
}
