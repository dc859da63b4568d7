// Content generator: preview renderer. Reads the written mesh and texture files
// back the way the engine does (z flipped, v flipped, normals from the winding
// with clockwise front faces) and rasterises small stills in software: each mesh
// alone from three sides, and the scenes' camera keys, as PNG files to look at.
#include "gen.h"

#include <stdio.h>
#include <string.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#define STBI_ONLY_TGA
#include <stb_image.h>

// A mesh file read back as the engine reads it, every frame in the GL frame.
struct PreviewMesh {
    int vc, tc, fc;
    std::vector<float> pos, uv, nrm;   // per vertex of all frames (GL frame)
    std::vector<uint32_t> idx;
};

static int readMeshFile(const std::string& path, PreviewMesh* m)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return 0;
    char type[12] = {0};
    unsigned vc = 0, tc = 0, fc = 1;
    float x, y, z;
    int ok = fscanf(f, "%11s %u %u", type, &vc, &tc) == 3;
    if (ok && strcmp(type, "BAF1") == 0) ok = fscanf(f, "%u", &fc) == 1;
    ok = ok && fscanf(f, "%f %f %f", &x, &y, &z) == 3 && vc > 0 && vc <= 65535 && fc > 0 && fc < 1000;
    if (!ok) {
        fclose(f);
        return 0;
    }
    m->vc = vc;
    m->tc = tc;
    m->fc = fc;
    m->pos.resize((size_t)vc * fc * 3);
    m->uv.resize((size_t)vc * fc * 2);
    for (size_t i = 0; i < (size_t)vc * fc && ok; i++) {
        unsigned n;
        float a, b, c, u, v;
        ok = fscanf(f, "%u %f %f %f %f %f", &n, &a, &b, &c, &u, &v) == 6;
        m->pos[3 * i] = a;
        m->pos[3 * i + 1] = b;
        m->pos[3 * i + 2] = -c;
        m->uv[2 * i] = u;
        m->uv[2 * i + 1] = 1.0f - v;
    }
    m->idx.resize((size_t)tc * 3);
    for (size_t t = 0; t < tc && ok; t++) {
        int n;
        unsigned a, b, c;
        ok = fscanf(f, "%d %u %u %u", &n, &a, &b, &c) == 4 && a < vc && b < vc && c < vc;
        m->idx[3 * t] = a;
        m->idx[3 * t + 1] = b;
        m->idx[3 * t + 2] = c;
    }
    fclose(f);
    if (!ok) return 0;
    m->nrm.assign(m->pos.size(), 0.0f);
    for (int fr = 0; fr < (int)fc; fr++)
        for (size_t t = 0; t < tc; t++) {
            size_t i0 = (size_t)fr * vc + m->idx[3 * t], i1 = (size_t)fr * vc + m->idx[3 * t + 1],
                   i2 = (size_t)fr * vc + m->idx[3 * t + 2];
            Vec3 p0 = vec3(m->pos[3 * i0], m->pos[3 * i0 + 1], m->pos[3 * i0 + 2]);
            Vec3 e1 = vec3(m->pos[3 * i1], m->pos[3 * i1 + 1], m->pos[3 * i1 + 2]) - p0;
            Vec3 e2 = vec3(m->pos[3 * i2], m->pos[3 * i2 + 1], m->pos[3 * i2 + 2]) - p0;
            Vec3 nn = cross(e2, e1);
            for (size_t k : {i0, i1, i2}) {
                m->nrm[3 * k] += nn.x;
                m->nrm[3 * k + 1] += nn.y;
                m->nrm[3 * k + 2] += nn.z;
            }
        }
    for (size_t i = 0; i < m->nrm.size(); i += 3) {
        Vec3 nn = norm(vec3(m->nrm[i], m->nrm[i + 1], m->nrm[i + 2]));
        m->nrm[i] = nn.x;
        m->nrm[i + 1] = nn.y;
        m->nrm[i + 2] = nn.z;
    }
    return 1;
}

static int readTexture(const std::string& path, GenImage* im)
{
    int w, h, n;
    unsigned char* d = stbi_load(path.c_str(), &w, &h, &n, 4);
    if (!d) return 0;
    *im = makeGenImage(w, h, colour4(0, 0, 0, 1));
    for (int i = 0; i < w * h; i++)
        im->px[i] = colour4(d[4 * i] / 255.0f, d[4 * i + 1] / 255.0f, d[4 * i + 2] / 255.0f, d[4 * i + 3] / 255.0f);
    stbi_image_free(d);
    return 1;
}

// ---- matrices, the engine's conventions ---------------------------------------------
typedef float Mat4[16];
static void mat4Identity(float* m)
{
    memset(m, 0, 64);
    m[0] = m[5] = m[10] = m[15] = 1;
}
// o = a b, column-major like the engine's matrices.
static void mat4Multiply(float* o, const float* a, const float* b)
{
    for (int c = 0; c < 4; c++)
        for (int r = 0; r < 4; r++) {
            float s = 0;
            for (int k = 0; k < 4; k++) s += a[4 * k + r] * b[4 * c + k];
            o[4 * c + r] = s;
        }
}
static void mat4RotX(float* m, float a)
{
    mat4Identity(m);
    m[5] = cosf(a);
    m[6] = sinf(a);
    m[9] = -sinf(a);
    m[10] = cosf(a);
}
static void mat4RotY(float* m, float a)
{
    mat4Identity(m);
    m[0] = cosf(a);
    m[2] = -sinf(a);
    m[8] = sinf(a);
    m[10] = cosf(a);
}
static void mat4RotZ(float* m, float a)
{
    mat4Identity(m);
    m[0] = cosf(a);
    m[1] = sinf(a);
    m[4] = -sinf(a);
    m[5] = cosf(a);
}
static const float RadPerDegree = 3.1416f / 180.0f;

struct Cam {
    float x, y, z, yaw, pitch, roll, nearp, farp, fov;
};
struct Target {
    int w, h;
    GenImage color;
    std::vector<float> depth;
    Mat4 view, proj;
    Cam cam;
};

static void setCam(Target* t, Cam c)
{
    t->cam = c;
    Mat4 T, Rx, Ry, Rz, a, rot;
    mat4Identity(T);
    T[12] = -c.x;
    T[13] = -c.y;
    T[14] = c.z;
    mat4RotX(Rx, -c.pitch * RadPerDegree);
    mat4RotY(Ry, -c.yaw * RadPerDegree);
    mat4RotZ(Rz, c.roll * RadPerDegree);
    mat4Multiply(a, Rx, Ry);
    mat4Multiply(rot, Rz, a);
    mat4Multiply(t->view, rot, T);
    float aspect = (float)t->h / t->w, tn = tanf(c.fov * 3.1416f / 360.0f);
    mat4Identity(t->proj);
    t->proj[0] = 1 / tn;
    t->proj[5] = 1 / (aspect * tn);
    t->proj[10] = (c.farp + c.nearp) / (c.nearp - c.farp);
    t->proj[14] = 2 * c.farp * c.nearp / (c.nearp - c.farp);
    t->proj[11] = -1;
    t->proj[15] = 0;
}

enum Shade { Lit, Flat, Add };
struct Draw {
    const PreviewMesh* mesh;
    float frame;   // blended like blendMeshFrames
    Vec3 pos;
    float yaw, pitch, roll;   // authored placement, degrees
    float scale;
    const GenImage* tex;
    int shade, cull;
    Colour4 tint;
};

// A vertex after projection: clip-space position, texture coordinate, light.
struct ClipVert {
    float x, y, z, w, u, v, light;
};

static void rasterTri(Target* t, const ClipVert* v, const Draw& d)
{
    float sx[3], sy[3], sz[3], iw[3];
    for (int k = 0; k < 3; k++) {
        iw[k] = 1.0f / v[k].w;
        sx[k] = (v[k].x * iw[k] * 0.5f + 0.5f) * t->w;
        sy[k] = (1.0f - (v[k].y * iw[k] * 0.5f + 0.5f)) * t->h;
        sz[k] = v[k].z * iw[k];
    }
    float area = (sx[1] - sx[0]) * (sy[2] - sy[0]) - (sx[2] - sx[0]) * (sy[1] - sy[0]);
    if (fabsf(area) < 1e-9f) return;
    // screen y grows downward: a clockwise front face has positive area here
    if (d.cull && area < 0) return;
    int x0 = (int)fmaxf(0, floorf(fminf(sx[0], fminf(sx[1], sx[2])))),
        x1 = (int)fminf(t->w - 1, ceilf(fmaxf(sx[0], fmaxf(sx[1], sx[2]))));
    int y0 = (int)fmaxf(0, floorf(fminf(sy[0], fminf(sy[1], sy[2])))),
        y1 = (int)fminf(t->h - 1, ceilf(fmaxf(sy[0], fmaxf(sy[1], sy[2]))));
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) {
            float px = x + 0.5f, py = y + 0.5f;
            float b0 = ((sx[1] - px) * (sy[2] - py) - (sx[2] - px) * (sy[1] - py)) / area;
            float b1 = ((sx[2] - px) * (sy[0] - py) - (sx[0] - px) * (sy[2] - py)) / area;
            float b2 = 1 - b0 - b1;
            if (b0 < 0 || b1 < 0 || b2 < 0) continue;
            float z = b0 * sz[0] + b1 * sz[1] + b2 * sz[2];
            if (z < -1 || z > 1) continue;
            float& dz = t->depth[(size_t)y * t->w + x];
            if (d.shade != Add && z >= dz) continue;
            if (d.shade == Add && z >= dz) continue;
            float q = b0 * iw[0] + b1 * iw[1] + b2 * iw[2];
            float u = (b0 * v[0].u * iw[0] + b1 * v[1].u * iw[1] + b2 * v[2].u * iw[2]) / q;
            float vv = (b0 * v[0].v * iw[0] + b1 * v[1].v * iw[1] + b2 * v[2].v * iw[2]) / q;
            float light = (b0 * v[0].light * iw[0] + b1 * v[1].light * iw[1] + b2 * v[2].light * iw[2]) / q;
            Colour4 c = d.tint;
            if (d.tex) {
                Colour4 s = sampleWrap(*d.tex, u * d.tex->w - 0.5f, (1.0f - vv) * d.tex->h - 0.5f);
                c = colour4(c.r * s.r, c.g * s.g, c.b * s.b, s.a);
            }
            Colour4& o = pixelAt(t->color, x, y);
            if (d.shade == Add) {
                o = colour4(o.r + c.r * c.a, o.g + c.g * c.a, o.b + c.b * c.a);
                continue;
            }
            if (d.shade == Lit) c = scaleColour(c, light);
            o = colour4(c.r, c.g, c.b);
            dz = z;
        }
}

static void drawMesh(Target* t, const Draw& d)
{
    const PreviewMesh& m = *d.mesh;
    Mat4 T, Rx, Ry, Rz, a, rot, model, mv, S;
    mat4Identity(T);
    T[12] = d.pos.x;
    T[13] = d.pos.y;
    T[14] = -d.pos.z;
    mat4RotX(Rx, d.pitch * RadPerDegree);
    mat4RotY(Ry, d.yaw * RadPerDegree);
    mat4RotZ(Rz, -d.roll * RadPerDegree);
    mat4Multiply(a, Ry, Rx);
    mat4Multiply(rot, a, Rz);
    mat4Identity(S);
    S[0] = S[5] = S[10] = d.scale;
    Mat4 rs;
    mat4Multiply(rs, rot, S);
    mat4Multiply(model, T, rs);
    mat4Multiply(mv, t->view, model);
    // A frame past either end of the animation shows that end: positions are
    // only read for frames the mesh has.
    float frame = d.frame >= 0.0f ? (d.frame <= (float)(m.fc - 1) ? d.frame : (float)(m.fc - 1)) : 0.0f;
    int f0 = (int)frame, f1 = f0 + 1 < m.fc ? f0 + 1 : 0;
    float fr = frame - f0;
    std::vector<ClipVert> cv(m.vc);
    Vec3 lightDir = norm(vec3(-0.5f, 0.8f, 0.4f));
    for (int i = 0; i < m.vc; i++) {
        size_t a0 = (size_t)f0 * m.vc + i, a1 = (size_t)f1 * m.vc + i;
        float p[3], n[3];
        for (int k = 0; k < 3; k++) {
            p[k] = m.pos[3 * a0 + k] + (m.pos[3 * a1 + k] - m.pos[3 * a0 + k]) * fr;
            n[k] = m.nrm[3 * a0 + k] + (m.nrm[3 * a1 + k] - m.nrm[3 * a0 + k]) * fr;
        }
        float e[4], c[4];
        for (int r = 0; r < 4; r++) e[r] = mv[r] * p[0] + mv[4 + r] * p[1] + mv[8 + r] * p[2] + mv[12 + r];
        for (int r = 0; r < 4; r++)
            c[r] = t->proj[r] * e[0] + t->proj[4 + r] * e[1] + t->proj[8 + r] * e[2] + t->proj[12 + r] * e[3];
        Vec3 wn =
            norm(vec3(rot[0] * n[0] + rot[4] * n[1] + rot[8] * n[2], rot[1] * n[0] + rot[5] * n[1] + rot[9] * n[2],
                      rot[2] * n[0] + rot[6] * n[1] + rot[10] * n[2]));
        float l = 0.3f + 0.8f * fmaxf(0.0f, dot(wn, lightDir));
        cv[i] = ClipVert{c[0],
                         c[1],
                         c[2],
                         c[3],
                         m.uv[2 * a0] + (m.uv[2 * a1] - m.uv[2 * a0]) * fr,
                         m.uv[2 * a0 + 1] + (m.uv[2 * a1 + 1] - m.uv[2 * a0 + 1]) * fr,
                         l};
    }
    for (int tri = 0; tri < m.tc; tri++) {
        ClipVert in[3] = {cv[m.idx[3 * tri]], cv[m.idx[3 * tri + 1]], cv[m.idx[3 * tri + 2]]};
        // clip against the near plane (z > -w), then fan the polygon
        ClipVert poly[4];
        int n = 0;
        for (int k = 0; k < 3; k++) {
            const ClipVert& A = in[k];
            const ClipVert& B = in[(k + 1) % 3];
            float da = A.z + A.w, db = B.z + B.w;
            if (da >= 0) poly[n++] = A;
            if ((da >= 0) != (db >= 0) && n < 4) {
                float s = da / (da - db);
                poly[n++] = ClipVert{A.x + (B.x - A.x) * s,
                                     A.y + (B.y - A.y) * s,
                                     A.z + (B.z - A.z) * s,
                                     A.w + (B.w - A.w) * s,
                                     A.u + (B.u - A.u) * s,
                                     A.v + (B.v - A.v) * s,
                                     A.light + (B.light - A.light) * s};
            }
        }
        for (int k = 1; k + 1 < n; k++) {
            ClipVert tv[3] = {poly[0], poly[k], poly[k + 1]};
            if (tv[0].w <= 1e-6f || tv[1].w <= 1e-6f || tv[2].w <= 1e-6f) continue;
            rasterTri(t, tv, d);
        }
    }
}

static Target makeTarget(int w, int h)
{
    Target t;
    t.w = w;
    t.h = h;
    t.color = makeGenImage(w, h, colour4(0.1f, 0.1f, 0.12f));
    t.depth.assign((size_t)w * h, 1.0f);
    return t;
}
static void clearDepth(Target* t) { t->depth.assign((size_t)t->w * t->h, 1.0f); }

// ---- preview sets -----------------------------------------------------------------
struct Library {
    std::string dir;
    std::vector<std::pair<std::string, PreviewMesh>> meshes;
    std::vector<std::pair<std::string, GenImage>> textures;
};
static const PreviewMesh* mesh(Library* l, const char* name)
{
    for (auto& m : l->meshes)
        if (m.first == name) return &m.second;
    PreviewMesh pm;
    if (!readMeshFile(l->dir + "/" + name, &pm)) {
        fprintf(stderr, "preview: cannot read %s\n", name);
        return nullptr;
    }
    l->meshes.push_back({name, pm});
    return &l->meshes.back().second;
}
static const GenImage* tex(Library* l, const char* name)
{
    for (auto& m : l->textures)
        if (m.first == name) return &m.second;
    GenImage im;
    if (!readTexture(l->dir + "/" + name, &im)) {
        fprintf(stderr, "preview: cannot read %s\n", name);
        return nullptr;
    }
    l->textures.push_back({name, im});
    return &l->textures.back().second;
}

// A draw of mesh m with picture t at pos, unturned, full size, tinted white.
static Draw makeDraw(const PreviewMesh* m, const GenImage* t, Vec3 pos, float frame = 0, int shade = Lit)
{
    return Draw{m, frame, pos, 0, 0, 0, 1.0f, t, shade, 1, colour4(1, 1, 1)};
}
static void sky(Target* t, Library* l, const char* meshName, const char* texName, float scale)
{
    const PreviewMesh* m = mesh(l, meshName);
    if (!m) return;
    Draw d = makeDraw(m, tex(l, texName), vec3(t->cam.x, t->cam.y, t->cam.z), 0, Flat);
    d.scale = scale;
    d.cull = 0;
    drawMesh(t, d);
    clearDepth(t);
}

static int randomTable(int i)
{
    static const int tail[] = {81,    16376, 24096, 20348, 11872, 30076, 16059, 26999, 28493, 16223, 3930,  28673,
                               26804, 18775, 14123, 11940, 29899, 3669,  26796, 25588, 5537,  3767,  20240, 18792,
                               11688, 14015, 10980, 19816, 8562,  2372,  8690,  13223, 18104, 25255, 18022, 4019,
                               17568, 26633, 6447,  19915, 18751, 30395, 2984,  15856, 14429, 10230, 17528, 21822};
    if (i >= 300) return tail[(i - 300) % 48];
    uint32_t s = 0, out = 0;
    for (int k = 0; k <= i; k++) {
        s = s * 214013u + 2531011u;
        out = (s >> 16) & 0x7fff;
    }
    return (int)out;
}

static int save(Target* t, const std::string& dir, const char* name)
{
    return writePng(dir + "/" + name + ".png", t->color);
}

// One mesh alone from three sides, framed by its bounds.
static void turntable(Library* l, const std::string& out, const char* meshName, const char* texName, float frame)
{
    const PreviewMesh* m = mesh(l, meshName);
    if (!m) return;
    Vec3 lo = vec3(1e30f, 1e30f, 1e30f), hi = vec3(-1e30f, -1e30f, -1e30f);
    int f = (int)frame;
    for (int i = 0; i < m->vc; i++) {
        size_t k = (size_t)f * m->vc + i;
        Vec3 p = vec3(m->pos[3 * k], m->pos[3 * k + 1], -m->pos[3 * k + 2]);
        lo = vec3(fminf(lo.x, p.x), fminf(lo.y, p.y), fminf(lo.z, p.z));
        hi = vec3(fmaxf(hi.x, p.x), fmaxf(hi.y, p.y), fmaxf(hi.z, p.z));
    }
    Vec3 c = (lo + hi) * 0.5f;
    float r = len(hi - lo) * 0.5f + 1e-3f;
    const GenImage* tx = texName ? tex(l, texName) : nullptr;
    Target t = makeTarget(720, 240);
    GenImage sheet = makeGenImage(720, 240, colour4(0.1f, 0.1f, 0.12f));
    for (int view = 0; view < 3; view++) {
        Target s = makeTarget(240, 240);
        float yaw = view == 0 ? 180 : (view == 1 ? 120 : 0), pitch = view == 2 ? -35 : -12;
        float dist = r / tanf(20 * RadPerDegree) * 1.05f;
        Vec3 fwd = vec3(-sinf(yaw * RadPerDegree) * cosf(pitch * RadPerDegree), sinf(pitch * RadPerDegree),
                        cosf(yaw * RadPerDegree) * cosf(pitch * RadPerDegree));
        Vec3 eye = c - fwd * dist;
        setCam(&s, Cam{eye.x, eye.y, eye.z, yaw, pitch, 0, dist * 0.05f, dist * 3, 42});
        drawMesh(&s, makeDraw(m, tx, vec3(0, 0, 0), frame));
        for (int y = 0; y < 240; y++)
            for (int x = 0; x < 240; x++) pixelAt(sheet, view * 240 + x, y) = pixelAt(s.color, x, y);
    }
    (void)t;
    writePng(out + "/mesh_" + meshName + "_" + std::to_string((int)frame) + ".png", sheet);
}

static void scene1(Library* l, const std::string& out)
{
    Cam keys[5] = {{-33, 70, 773, 174, -3, 0, 100, 1000, 40},
                   {-160, 45, 473, 194, -3, 0, 100, 1000, 40},
                   {-8, -29, 322, 188, 4, 0, 100, 1000, 40},
                   {-12.7085f, 144.4179f, 368.805f, 176.811f, 2.72956f, 0, 100, 1000, 30},
                   {-12.7085f, -135.378f, 377.377f, 176.811f, 2.72956f, 0, 100, 1000, 30}};
    for (int k = 0; k < 5; k++) {
        for (int burst = 0; burst < 2; burst++) {
            if (burst && k > 1) continue;
            Target t = makeTarget(480, 270);
            setCam(&t, keys[k]);
            sky(&t, l, "skybox.bof", "skybox.jpg", 10);
            Draw trunk = makeDraw(mesh(l, "log.bof"), tex(l, "log_col.jpg"), vec3(0, -180, 0));
            trunk.scale = 0.5f;
            if (trunk.mesh) drawMesh(&t, trunk);
            const PreviewMesh* jug = mesh(l, burst ? "jug.baf" : "jug_intact.bof");
            if (jug) drawMesh(&t, makeDraw(jug, tex(l, "label.jpg"), vec3(0, 0, 0), burst ? (jug->fc - 1) * 0.5f : 0));
            const PreviewMesh* sp = mesh(l, "splash.baf");
            if (sp && burst) {
                Draw d = makeDraw(sp, nullptr, vec3(0, 0, 0), (sp->fc - 1) * 0.5f, Add);
                d.tint = colour4(0.5f, 0.45f, 0.3f, 1);
                d.cull = 0;
                drawMesh(&t, d);
            }
            save(&t, out, ("scene1_key" + std::to_string(k) + (burst ? "_burst" : "")).c_str());
        }
    }
}

static void scene2(Library* l, const std::string& out)
{
    Cam keys[3] = {{-742, 156, -520, -74, -6, 0, 10, 15000, 53},
                   {-353, 109, -671, -60, -18, 0, 10, 15000, 53},
                   {-1468.07f, 250.568f, -401.837f, -79.983f, 21.9915f, 0, 10, 15000, 75}};
    for (int k = 0; k < 3; k++)
        for (int rise = 0; rise < 2; rise++) {
            if (rise && k == 0) continue;
            Target t = makeTarget(480, 270);
            setCam(&t, keys[k]);
            sky(&t, l, "skybox.bof", "skybox2.jpg", 10);
            const PreviewMesh* still = mesh(l, "still.bof");
            if (still) drawMesh(&t, makeDraw(still, tex(l, "still.jpg"), vec3(0, 0, 0)));
            const PreviewMesh* b = mesh(l, "botlz.bof");
            float B = rise ? 0.6f : 0.0f;
            for (int i = 0; b && i < 100; i++) {
                int X = (randomTable(3 * i) % 1024) * 2 - 1024, Y = randomTable(3 * i + 1) % 1024 + 238,
                    Z = (randomTable(3 * i + 2) % 1024) * 2 - 1024;
                Draw d = makeDraw(b, tex(l, "botlz.tga"), vec3((float)X, Y * B - 100, (float)Z));
                d.yaw = Z + 100 * B;
                d.pitch = (X + 200) * B;
                d.roll = (Y + 400) * B;
                drawMesh(&t, d);
            }
            const PreviewMesh* fire = mesh(l, "fire.bof");
            if (fire) {
                Draw d = makeDraw(fire, tex(l, "fire.jpg"), vec3(0, 0, 0), 0, Add);
                d.tint = colour4(1, 1, 1, 0.6f);
                drawMesh(&t, d);
            }
            save(&t, out, ("scene2_key" + std::to_string(k) + (rise ? "_rise" : "")).c_str());
        }
}

static void scene4(Library* l, const std::string& out)
{
    Cam key = {-323.351f, 19.4898f, 494.815f, 174, -3, 0, 100, 1000, 40};
    Target t = makeTarget(480, 270);
    setCam(&t, key);
    sky(&t, l, "skybox.bof", "skybox.jpg", 10);
    const PreviewMesh* jug = mesh(l, "jug.baf");
    if (jug) drawMesh(&t, makeDraw(jug, tex(l, "label.jpg"), vec3(0, 0, 0), (jug->fc - 1) * 0.7f));
    const PreviewMesh* bill = mesh(l, "bill.bof");
    const char* names[4] = {"bill_po.jpg", "bill_bl.jpg", "bill_bo.jpg", "bill_da.jpg"};
    double m = pow(0.8 - 0.1, 0.7);
    for (int i = 0; bill && i < 100; i++) {
        int A = randomTable(3 * i) % 1024 - 512, Bv = randomTable(3 * i + 1) % 1024 - 512,
            Cv = randomTable(3 * i + 2) % 1024 - 512;
        float a = A / 512.0f, P = Bv * fabsf(a) * 0.5f, Q = Cv * fabsf(a);
        Draw d = makeDraw(bill, tex(l, names[(99 - i) % 4]), vec3((float)(A * m), (float)(P * m), (float)(Q * m)));
        d.yaw = P;
        d.pitch = (float)(A + 200 * m);
        d.roll = (float)(Q - 400 * m);
        d.cull = 1;
        drawMesh(&t, d);
    }
    save(&t, out, "scene4");
}

static void scene5(Library* l, const std::string& out)
{
    Cam keys[3] = {{440, 188, -341, 44, -17, 0, 5, 1000, 60},
                   {423, 83, -325, 44, -4, 0, 5, 1000, 65},
                   {267, 119, -80, 76, -18, 0, 5, 1000, 65}};
    for (int k = 0; k < 3; k++) {
        Target t = makeTarget(480, 270);
        setCam(&t, keys[k]);
        sky(&t, l, "skybox.bof", "skybox.jpg", 10);
        const PreviewMesh* p = mesh(l, "press.baf");
        if (p) drawMesh(&t, makeDraw(p, tex(l, "press.jpg"), vec3(0, 0, 0), (p->fc - 1) * 0.3f));
        const PreviewMesh* b = mesh(l, "press_bill.baf");
        if (b) drawMesh(&t, makeDraw(b, tex(l, "bills0.jpg"), vec3(0, 0, 0), (b->fc - 1) * 0.3f));
        save(&t, out, ("scene5_key" + std::to_string(k)).c_str());
    }
    // the kaleidoscope: six copies of the wedge carrying the picture just made
    Target t = makeTarget(480, 270);
    Cam c = keys[1];
    setCam(&t, c);
    const PreviewMesh* kal = mesh(l, "kaleido.bof");
    GenImage pic = makeGenImage(1, 1, colour4(1, 1, 1));
    if (kal) {
        Target src = makeTarget(480, 270);
        setCam(&src, c);
        sky(&src, l, "skybox.bof", "skybox.jpg", 10);
        const PreviewMesh* p = mesh(l, "press.baf");
        if (p) drawMesh(&src, makeDraw(p, tex(l, "press.jpg"), vec3(0, 0, 0)));
        pic = src.color;
        for (int j = 5; j >= 0; j--) {
            Draw d = makeDraw(kal, &pic, vec3(c.x, c.y, c.z), 0, Flat);
            d.yaw = c.yaw;
            d.pitch = c.pitch;
            d.roll = c.roll + j * 360.0f / 6;
            drawMesh(&t, d);
        }
        // the roll mesh in front of the roll camera
        setCam(&t, Cam{0, 0, -100, -4, 0, 30, 5, 500, 50});
        clearDepth(&t);
        const PreviewMesh* roll = mesh(l, "roll.bof");
        for (int j = 0; roll && j < 3; j++) {
            Draw d = makeDraw(roll, tex(l, "roll.jpg"), vec3(-40.0f + 40 * j, 10.0f * j - 10, 0));
            d.yaw = 30.0f + 50 * j;
            d.pitch = 20.0f * j;
            d.roll = 10;
            drawMesh(&t, d);
        }
        save(&t, out, "scene5_kaleido");
    }
}

static void scene6(Library* l, const std::string& out)
{
    Cam keys[5] = {{300, 30, -200, 45, -4, 0, 0.9f, 1000, 52},
                   {200, 30, 155, 90, -8, 10, 0.9f, 1000, 52},
                   {180, 15, 350, 135, -4, 5, 0.9f, 1000, 52},
                   {120, 15, 300, 115, -4, 5, 0.9f, 1000, 52},
                   {89.6574f, 9.00249f, 347.623f, 143.648f, -4, 5, 0.9f, 1000, 52}};
    for (int k = 0; k < 5; k++) {
        Target t = makeTarget(480, 270);
        setCam(&t, keys[k]);
        sky(&t, l, "skybox.bof", "skybox.jpg", 10);
        const PreviewMesh* gun = mesh(l, k < 2 ? "gun.baf" : "m47.bof");
        if (gun) {
            Draw d = makeDraw(gun, tex(l, k < 2 ? "roll.jpg" : "wrap.jpg"), vec3(0, 0, k < 2 ? 0 : -9),
                              k == 1 ? (gun->fc - 1) * 0.5f : 0);
            d.pitch = k < 2 ? 0 : 1;
            drawMesh(&t, d);
        }
        if (k >= 2) {
            const PreviewMesh* shot = mesh(l, "shot.bof");
            if (shot && k == 2) drawMesh(&t, makeDraw(shot, tex(l, "shot.tga"), vec3(0, 0, 0), 0, Add));
            const PreviewMesh* bullet = mesh(l, "bullet.bof");
            if (bullet) {
                Draw d = makeDraw(bullet, tex(l, "chrome.jpg"), vec3(0, -1, 150.0f * 0.25f + 225 + (k - 2) * 50));
                d.scale = 0.075f;
                drawMesh(&t, d);
            }
            const PreviewMesh* blood = mesh(l, "blood.baf");
            if (blood && k >= 3) {
                Draw d = makeDraw(blood, nullptr, vec3(0, 0, 0), (blood->fc - 1) * (k == 3 ? 0.3f : 0.9f), Add);
                d.tint = colour4(0.6f, 0.05f, 0.03f, 1);
                d.cull = 0;
                drawMesh(&t, d);
            }
        }
        save(&t, out, ("scene6_key" + std::to_string(k)).c_str());
    }
}

static void scene7(Library* l, const std::string& out)
{
    Cam keys[6] = {{108.853f, 28.1834f, -80.8538f, 61.3522f, -4, 0, 0.9f, 1000, 52},
                   {250, 25, 64, 90, -4, 0, 0.9f, 1000, 52},
                   {150, 25, -200, 45, -4, 0, 0.9f, 1000, 52},
                   {0, 25, -1000, 15, -4, 0, 0.9f, 1000, 52},
                   {79.2703f, 9.09932f, 333.298f, 149.377f, -4, 5, 0.9f, 1000, 52},
                   {301.191f, 36.2153f, 8.56508f, 103.541f, -4, 0, 0.9f, 1000, 52}};
    for (int k = 0; k < 6; k++) {
        Target t = makeTarget(480, 270);
        setCam(&t, keys[k]);
        sky(&t, l, "speedLines.bof", "bgRed2.jpg", 1);
        const PreviewMesh* rod = mesh(l, "rod.baf");
        float frame = rod ? (rod->fc - 1) * (k % 3) / 2.0f : 0;
        if (rod) drawMesh(&t, makeDraw(rod, tex(l, "rod.jpg"), vec3(0, 0, 0), frame));
        const PreviewMesh* trail = mesh(l, "trail.bof");
        if (trail) {
            Draw d = makeDraw(trail, nullptr, vec3(0, 0, -7), 0, Add);
            d.tint = colour4(0.08f, 0.08f, 0.1f, 1);
            drawMesh(&t, d);
        }
        save(&t, out, ("scene7_key" + std::to_string(k)).c_str());
    }
}

static void scene8(Library* l, const std::string& out, int nine)
{
    Cam keys8[4] = {{492.895f, -91.7066f, 226.231f, 200.929f, 14.1887f, 0, 100, 15000, 70},
                    {100.873f, -98.0349f, 181.647f, 149.363f, 12.4698f, 0, 100, 15000, 70},
                    {329.54f, -1.01997f, 1159.02f, 197.272f, 2.72956f, 0, 100, 15000, 40},
                    {-57.4997f, 36.6894f, 765.475f, 1231.68f, 1.5836f, 0, 100, 15000, 70}};
    Cam keys9[4] = {{115, 299, 641, 167, -16, 0, 20, 10000, 53},
                    {-24, 1115, 172, 188, -77, 0, 20, 10000, 53},
                    {1261, 25.871f, 1077.61f, 139.498f, 13.7937f, 0, 20, 10000, 75},
                    {-48.5887f, 86.8813f, 549.302f, 184.188f, 1.76165f, 0, 20, 10000, 30}};
    for (int k = 0; k < 4; k++) {
        Target t = makeTarget(480, 270);
        setCam(&t, nine ? keys9[k] : keys8[k]);
        sky(&t, l, "skybox.bof", "skybox.jpg", 10);
        const PreviewMesh* trunk = mesh(l, "log.bof");
        const PreviewMesh* whole = mesh(l, "jug_intact.bof");
        const PreviewMesh* broken = mesh(l, "jug_broked.baf");
        const GenImage* greet = tex(l, "greet.jpg");
        // greet.jpg holds 4 × 4 cells; the preview shows cell 0 for every jug
        GenImage cell = makeGenImage(256, 256, colour4(1, 1, 1));
        if (greet)
            for (int y = 0; y < 256; y++)
                for (int x = 0; x < 256; x++) pixelAt(cell, x, y) = greet->px[(size_t)y * greet->w + x];
        float lift = nine ? 100.0f : 0.0f;
        for (int j = 0; j < 16; j++) {
            int A = randomTable(300 + 3 * j), B = randomTable(301 + 3 * j), C = randomTable(302 + 3 * j);
            float X = 2.0f * (A % 1024) - 1024, Z = 2.0f * (B % 1024) - 1024;
            if (trunk) {
                Draw d = makeDraw(trunk, tex(l, "log_col.jpg"), vec3(X, -187 + lift, Z));
                d.scale = 0.5f;
                drawMesh(&t, d);
            }
            int isBroken = nine || j < 8;
            const PreviewMesh* jm = isBroken ? broken : whole;
            if (jm) drawMesh(&t, makeDraw(jm, &cell, vec3(X, lift, Z), isBroken ? (float)(C % (broken->fc - 1)) : 0));
        }
        if (nine) {
            if (trunk) {
                Draw d = makeDraw(trunk, tex(l, "log_col.jpg"), vec3(0, -87, 0));
                d.scale = 0.5f;
                drawMesh(&t, d);
            }
            const PreviewMesh* sh = mesh(l, k < 2 ? "shroom.baf" : "shroom_top.baf");
            if (sh) drawMesh(&t, makeDraw(sh, tex(l, "smoke.jpg"), vec3(0, 0, 0), (sh->fc - 1) * 0.7f));
        }
        save(&t, out, ((nine ? "scene9_key" : "scene8_key") + std::to_string(k)).c_str());
    }
}

int runPreview(const std::string& dataDir, const std::string& outDir)
{
    Library l;
    l.dir = dataDir;
    struct One {
        const char* mesh;
        const char* tex;
    };
    const One ones[] = {
        {"jug_intact.bof", "label.jpg"},  {"jug.baf", "label.jpg"},         {"jug_broked.baf", "label.jpg"},
        {"splash.baf", "splash_nrm.jpg"}, {"log.bof", "log_col.jpg"},       {"still.bof", "still.jpg"},
        {"fire.bof", "fire.jpg"},         {"botlz.bof", "botlz.tga"},       {"bill.bof", "bill_po.jpg"},
        {"press.baf", "press.jpg"},       {"press_bill.baf", "bills0.jpg"}, {"roll.bof", "roll.jpg"},
        {"kaleido.bof", nullptr},         {"gun.baf", "roll.jpg"},          {"m47.bof", "wrap.jpg"},
        {"blood.baf", "splash_nrm.jpg"},  {"shot.bof", "shot.tga"},         {"bullet.bof", "chrome.jpg"},
        {"rod.baf", "rod.jpg"},           {"trail.bof", "chrome.jpg"},      {"shroom.baf", "smoke.jpg"},
        {"shroom_top.baf", "smoke.jpg"},  {"speedLines.bof", "bgRed2.jpg"}, {"skybox.bof", "skybox.jpg"}};
    for (const One& o : ones) {
        const PreviewMesh* m = mesh(&l, o.mesh);
        if (!m) continue;
        turntable(&l, outDir, o.mesh, o.tex, 0);
        if (m->fc > 1) {
            turntable(&l, outDir, o.mesh, o.tex, (float)(m->fc - 1) / 2);
            turntable(&l, outDir, o.mesh, o.tex, (float)(m->fc - 1));
        }
    }
    scene1(&l, outDir);
    scene2(&l, outDir);
    scene4(&l, outDir);
    scene5(&l, outDir);
    scene6(&l, outDir);
    scene7(&l, outDir);
    scene8(&l, outDir, 0);
    scene8(&l, outDir, 1);
    return 1;
}
