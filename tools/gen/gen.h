// Content generator: shared types and helpers for building the show's meshes
// (vectors, mesh frames, lathes, tubes, boxes, shards) and textures (float RGBA
// images, noise, shapes, text), and the writers for BOF1/BAF1, JPEG and TGA.
// Everything is deterministic: fixed seeds, no clock, no uninitialised memory.
#pragma once
#include <math.h>
#include <stdint.h>
#include <string>
#include <vector>

// ---- vectors -------------------------------------------------------------------
struct Vec3 {
    float x, y, z;
};
inline Vec3 vec3(float x, float y, float z) { return Vec3{x, y, z}; }
inline Vec3 operator+(Vec3 a, Vec3 b) { return vec3(a.x + b.x, a.y + b.y, a.z + b.z); }
inline Vec3 operator-(Vec3 a, Vec3 b) { return vec3(a.x - b.x, a.y - b.y, a.z - b.z); }
inline Vec3 operator*(Vec3 a, float s) { return vec3(a.x * s, a.y * s, a.z * s); }
inline Vec3 operator*(float s, Vec3 a) { return vec3(a.x * s, a.y * s, a.z * s); }
inline float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(Vec3 a, Vec3 b) { return vec3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x); }
inline float len(Vec3 a) { return sqrtf(dot(a, a)); }
inline Vec3 norm(Vec3 a)
{
    float l = len(a);
    return l > 1e-12f ? a * (1.0f / l) : a;
}
inline Vec3 lerpVec3(Vec3 a, Vec3 b, float t) { return a + (b - a) * t; }
inline float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }
inline float mixf(float a, float b, float t) { return a + (b - a) * t; }
inline float smooth(float e0, float e1, float x)
{
    float t = clampf((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}
const float Pi = 3.14159265f;

// Rotations in the authored (file) frame, right-handed, angles in radians.
Vec3 rotX(Vec3 p, float a);
Vec3 rotY(Vec3 p, float a);
Vec3 rotZ(Vec3 p, float a);
// Rotation of p about the unit axis by angle a (Rodrigues).
Vec3 rotAxis(Vec3 p, Vec3 axis, float a);

// ---- deterministic randomness -------------------------------------------------
struct Rng {
    uint32_t state;
};
Rng makeRng(uint32_t seed);
uint32_t nextU32(Rng* r);
float nextFloat(Rng* r);   // [0, 1)
float nextRange(Rng* r, float lo, float hi);
Vec3 nextUnit(Rng* r);   // uniform on the unit sphere

// Lattice value noise and fractal sums; every result lies in [0, 1].
float hash3(int x, int y, int z, uint32_t seed);
float noise2(float x, float y, uint32_t seed);
float noise3(float x, float y, float z, uint32_t seed);
float fbm2(float x, float y, int octaves, uint32_t seed);
float fbm3(float x, float y, float z, int octaves, uint32_t seed);
// Tileable 2D noise with integer periods px, py (in lattice cells).
float noise2Tiled(float x, float y, int px, int py, uint32_t seed);
float fbm2Tiled(float x, float y, int px, int py, int octaves, uint32_t seed);

// ---- meshes --------------------------------------------------------------------
// One vertex as the file stores it: authored position and (u, v) with v = 0 at
// the top row of the picture. Normals are not stored: the engine derives them
// from the winding, so faces are counter-clockwise seen from outside here.
struct GeneratedVertex {
    Vec3 p;
    float u, v;
};
struct GeneratedMesh {
    std::vector<GeneratedVertex> verts;                 // frame 0, or the topology for animations
    std::vector<uint32_t> tris;                         // 3 per triangle, indices into one frame
    std::vector<std::vector<GeneratedVertex>> frames;   // empty for a static mesh
};

uint32_t addVert(GeneratedMesh* m, Vec3 p, float u, float v);
void addTri(GeneratedMesh* m, uint32_t a, uint32_t b, uint32_t c);
void addQuad(GeneratedMesh* m, uint32_t a, uint32_t b, uint32_t c, uint32_t d);   // a b c d counter-clockwise
void appendMesh(GeneratedMesh* dst, const GeneratedMesh& src);
void transformMesh(GeneratedMesh* m, Vec3 (*fn)(Vec3, const void*), const void* ctx);
void translateMesh(GeneratedMesh* m, Vec3 t);
void scaleMeshXYZ(GeneratedMesh* m, Vec3 s);
void rotateMeshY(GeneratedMesh* m, float a);
void rotateMeshX(GeneratedMesh* m, float a);
void rotateMeshZ(GeneratedMesh* m, float a);
void flipWinding(GeneratedMesh* m);
// Maps every texture coordinate into the atlas rectangle (u0, v0)-(u1, v1).
void mapUV(GeneratedMesh* m, float u0, float v0, float u1, float v1);

// Profile point of a lathe: radius r at height y, v texture coordinate.
struct ProfilePt {
    float r, y, v;
};
// Surface of revolution about the y axis: segs segments, a seam column of
// duplicated vertices at the back (-z). The middle column (u = 0.5 with the
// default range) faces +z; the default u runs from +x to -x so that pictures
// read left to right seen from outside. Profile runs from bottom to top for an
// outward-facing surface.
GeneratedMesh lathe(const std::vector<ProfilePt>& profile, int segs, float u0 = 1.0f, float u1 = 0.0f);
// Tube along a polyline with per-point radius; rings of segs vertices.
GeneratedMesh tube(const std::vector<Vec3>& path, const std::vector<float>& radius, int segs, int capEnds);
// Axis-aligned box from lo to hi; each face has its own vertices (hard edges).
GeneratedMesh box(Vec3 lo, Vec3 hi);
// Chamfered box: edges cut by bevel.
GeneratedMesh bevelBox(Vec3 lo, Vec3 hi, float bevel);
// Closed polygon (counter-clockwise in x-y) extruded along z from z0 to z1.
GeneratedMesh extrude(const std::vector<float>& xy, float z0, float z1, float bevel);
// UV sphere / ellipsoid (radii rx, ry, rz); poles avoided by a tiny opening.
GeneratedMesh ellipsoid(Vec3 c, Vec3 r, int segs, int rings);
// Torus about the y axis.
GeneratedMesh torus(float R, float r, int segs, int sides, float a0, float a1);

// Face normals the way the engine computes vertex normals (area-weighted sum of
// counter-clockwise face normals in the file frame).
std::vector<Vec3> vertexNormals(const std::vector<GeneratedVertex>& verts, const std::vector<uint32_t>& tris);

// Splits every edge longer than maxEdge at its middle (a neighbour sharing the
// edge splits it the same way, so no cracks open) until none is left.
GeneratedMesh refine(const GeneratedMesh& m, float maxEdge);
// Splits a mesh into pieces (shards): every triangle gets a piece id by the
// nearest of count seeds (scattered over the mesh's surface by rng); vertices are
// duplicated where pieces meet. pieceOf receives one id per vertex.
GeneratedMesh shatter(const GeneratedMesh& m, int count, Rng* rng, std::vector<int>* pieceOf);
// Straightens the cracks of a shattered mesh, which follow the triangle grid
// in steps: each position on a crack between two pieces (all its copies
// alike, so no gap opens) moves toward the middle of its two neighbours
// along the crack, iterations times by amount (0..1). Corners where three
// pieces meet and open borders stay put; texture coordinates move along.
void smoothBreaks(GeneratedMesh* m, const std::vector<int>& pieceOf, int iterations, float amount);
// Gives a one-sided shell thickness: an inner copy pushed along -normal by
// depth with reversed winding, and walls along open and piece boundaries.
GeneratedMesh thicken(const GeneratedMesh& m, float depth, const std::vector<int>& pieceIn, std::vector<int>* pieceOut,
                      float wallU, float wallV);

// Writers. Return 1 on success, 0 on failure (reported on stderr).
int writeMesh(const std::string& path, const GeneratedMesh& m);

// ---- images ----------------------------------------------------------------------
struct Colour4 {
    float r, g, b, a;
};
inline Colour4 colour4(float r, float g, float b, float a = 1.0f) { return Colour4{r, g, b, a}; }
inline Colour4 rgb8(int hex, float a = 1.0f)
{
    return Colour4{((hex >> 16) & 255) / 255.0f, ((hex >> 8) & 255) / 255.0f, (hex & 255) / 255.0f, a};
}
inline Colour4 mixColour(Colour4 a, Colour4 b, float t)
{
    return Colour4{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}
// scaleColour and addColour work on r, g, b and keep the alpha of a.
inline Colour4 scaleColour(Colour4 a, float s) { return Colour4{a.r * s, a.g * s, a.b * s, a.a}; }
inline Colour4 addColour(Colour4 a, Colour4 b) { return Colour4{a.r + b.r, a.g + b.g, a.b + b.b, a.a}; }

// A picture being drawn, float RGBA per pixel (the engine's Image holds decoded
// 8-bit pixels). Top row first, like the files' (u, v) with v = 0 at the top.
struct GenImage {
    int w, h;
    std::vector<Colour4> px;
};
GenImage makeGenImage(int w, int h, Colour4 fill);
inline Colour4& pixelAt(GenImage& im, int x, int y) { return im.px[(size_t)y * im.w + x]; }
Colour4 sampleWrap(const GenImage& im, float x, float y);     // bilinear, wrapping, pixel units
void blend(GenImage& im, int x, int y, Colour4 c, float a);   // alpha-over at one pixel
void fillRect(GenImage& im, float x0, float y0, float x1, float y1, Colour4 c);
void fillCircle(GenImage& im, float cx, float cy, float r, Colour4 c, float soft);
void ringCircle(GenImage& im, float cx, float cy, float r, float width, Colour4 c);
void fillRoundRect(GenImage& im, float x0, float y0, float x1, float y1, float rad, Colour4 c, float soft);
void strokeRect(GenImage& im, float x0, float y0, float x1, float y1, float width, Colour4 c);
void drawLine(GenImage& im, float x0, float y0, float x1, float y1, float width, Colour4 c);
void fillPolygon(GenImage& im, const std::vector<float>& xy, Colour4 c);
void blurGenImage(GenImage& im, int radius);
// Normal map (tangent space, +z out, y up in the picture) from the luminance
// (or alpha when useAlpha) of height, scaled by strength.
GenImage normalFromHeight(const GenImage& height, float strength);
float luminance(Colour4 c);

// Text with a TrueType font of the fonts-dejavu-core package. font: 0 serif
// bold, 1 sans bold, 2 sans condensed bold, 3 serif italic, 4 mono bold.
// Draws text with its baseline centred at (cx, baseline), glyph height size
// pixels, squeezed horizontally to fit maxWidth when maxWidth > 0. Returns the
// drawn width, or -1 when the font is missing.
float drawText(GenImage& im, const char* text, int font, float cx, float baseline, float size, Colour4 c,
               float maxWidth = 0.0f, float tracking = 0.0f);
int fontsAvailable(void);

int writeJpeg(const std::string& path, const GenImage& im, int quality);
int writeTga(const std::string& path, const GenImage& im, int withAlpha);
int writePng(const std::string& path, const GenImage& im);   // previews only

// ---- the generator's registry ---------------------------------------------------
// Each model family writes its files into dir; returns 1 on success.
struct GenContext {
    std::string dir;
    int failures;
    long trianglesWritten;
};
void saveMesh(GenContext* g, const char* name, const GeneratedMesh& m);
void saveJpeg(GenContext* g, const char* name, const GenImage& im, int quality = 88);
void saveTga(GenContext* g, const char* name, const GenImage& im, int withAlpha);

float jugVAtY(float y);                 // v of the jug picture at height y of the jug side
void genJug(GenContext* g);             // jug.baf, jug_intact.bof, jug_broked.baf, splash.baf
void genJugTextures(GenContext* g);     // label.jpg, label_nuke.jpg, greet.jpg
void genSky(GenContext* g);             // skybox.bof, speedLines.bof, skybox*.jpg, bgRed*.*
void genTrunk(GenContext* g);           // log.bof, log_col.jpg, log_nrm.jpg
void genStill(GenContext* g);           // still.bof, fire.bof, still.jpg, fire.jpg
void genBottles(GenContext* g);         // botlz.bof, botlz.tga
void genBills(GenContext* g);           // bill.bof, bill_*.jpg, bills0/1.jpg, roll.bof, roll.jpg
void genPress(GenContext* g);           // press.baf, press_bill.baf, kaleido.bof, press.jpg
void genGun(GenContext* g);             // gun.baf, m47.bof, shot.bof, blood.baf, wrap.jpg, shot.tga
void genRod(GenContext* g);             // bullet.bof, rod.baf, trail.bof, rod.jpg, chrome.jpg, rubber.tga, paint.jpg
void genShroom(GenContext* g);          // shroom.baf, shroom_top.baf, smoke.jpg, smoke_n.jpg
void genLightTextures(GenContext* g);   // environment and light maps
void genPostTextures(GenContext* g);    // grain.jpg, leak.tga, dirt.jpg, splash_nrm.jpg

// The program's icon: the jug, size x size RGBA PNG at path. 1 written, 0 (printed).
int writeIcon(const std::string& path, int size);

// Preview: renders the written data with a small software rasterizer.
int runPreview(const std::string& dataDir, const std::string& outDir);
