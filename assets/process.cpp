// Mesh post-processing run once after loading: rescaling, welding the normals
// of vertices that share a position, and per-vertex tangents.
#include "assets/assets.h"
#include "platform/platform.h"
#include <GL/glew.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <vector>

static size_t frameVertexTotal(const Mesh* mesh) { return (size_t)mesh->frameCount * mesh->vertexCount; }

static int hasVertices(const Mesh* mesh) { return mesh && mesh->vertices && mesh->vertexCount && mesh->frameCount; }

// Frame 0 back into the vertex buffer (static meshes draw from it as loaded).
static void reloadFrameZero(Mesh* mesh)
{
    if (!hasVertices(mesh) || !mesh->vertexBuffer) return;
    glBindBuffer(GL_ARRAY_BUFFER, mesh->vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(mesh->vertexCount * sizeof(MeshVertex)), mesh->vertices, GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

// Scales to length 1 unless the vector is zero. The squared length and the
// products are single precision; the reciprocal square root is taken with the
// standard library's double sqrt and rounded once to float, which is what the
// welded normals of the show (0.70710677 for two unit normals) rest on.
static void normalise(float* v)
{
    float sq = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    if (sq == 0.0f) return;
    float inv = (float)(1.0 / sqrt((double)sq));
    v[0] *= inv;
    v[1] *= inv;
    v[2] *= inv;
}

static float dot(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Positions of every frame times factor; normals unchanged.
void scaleMesh(Mesh* mesh, float factor)
{
    if (!hasVertices(mesh)) return;
    size_t total = frameVertexTotal(mesh);
    for (size_t i = 0; i < total; i++) {
        mesh->vertices[i].x *= factor;
        mesh->vertices[i].y *= factor;
        mesh->vertices[i].z *= factor;
    }
    if (mesh->boxKnown) mesh->boxKnown = meshFramesBox(mesh, mesh->boxLow, mesh->boxHigh);
    reloadFrameZero(mesh);
}

// ---- weldNormals ----------------------------------------------------------------
// The result is defined by a quadratic walk: for each vertex A in order, for
// each other vertex B in order closer than distance, A += B, A normalised,
// B = A. Only pairs closer than distance do anything, so the walk below finds
// them through a grid of cells twice that size (a pair is then never more
// than one cell apart, rounding included) and visits them in the same order.

struct CellEntry {
    int64_t x, y, z;
    uint32_t vertex;
};

static bool cellBefore(const CellEntry& a, const CellEntry& b)
{
    if (a.x != b.x) return a.x < b.x;
    if (a.y != b.y) return a.y < b.y;
    if (a.z != b.z) return a.z < b.z;
    return a.vertex < b.vertex;
}

static int64_t cellOf(float value, double cellSize)
{
    double c = floor((double)value / cellSize);
    if (c > 4.0e18) c = 4.0e18;
    if (c < -4.0e18) c = -4.0e18;
    return (int64_t)c;
}

static void weldPair(MeshVertex* a, MeshVertex* b)
{
    a->nx += b->nx;
    a->ny += b->ny;
    a->nz += b->nz;
    normalise(&a->nx);
    b->nx = a->nx;
    b->ny = a->ny;
    b->nz = a->nz;
}

static float squaredDistance(const MeshVertex* a, const MeshVertex* b)
{
    float dx = a->x - b->x, dy = a->y - b->y, dz = a->z - b->z;
    return dx * dx + dy * dy + dz * dz;
}

static int finitePosition(const MeshVertex& v) { return isfinite(v.x) && isfinite(v.y) && isfinite(v.z); }

// Cells sort by x, then y, then z: the three cells (x, y, z − 1 … z + 1) are
// one run of the sorted list, so nine searches cover the 27 neighbours.
static void weldFrame(MeshVertex* frame, uint32_t count, float limit, double cellSize)
{
    std::vector<CellEntry> cells;
    cells.reserve(count);
    for (uint32_t i = 0; i < count; i++) {
        const MeshVertex& v = frame[i];
        if (!finitePosition(v)) continue;   // never closer than anything
        cells.push_back({cellOf(v.x, cellSize), cellOf(v.y, cellSize), cellOf(v.z, cellSize), i});
    }
    std::vector<CellEntry> own(cells);
    std::sort(cells.begin(), cells.end(), cellBefore);
    std::vector<uint32_t> near;
    for (const CellEntry& self : own) {
        near.clear();
        for (int dx = -1; dx <= 1; dx++)
            for (int dy = -1; dy <= 1; dy++) {
                CellEntry key = {self.x + dx, self.y + dy, self.z - 1, 0};
                auto it = std::lower_bound(cells.begin(), cells.end(), key, cellBefore);
                for (; it != cells.end() && it->x == key.x && it->y == key.y && it->z <= self.z + 1; ++it)
                    near.push_back(it->vertex);
            }
        std::sort(near.begin(), near.end());
        uint32_t a = self.vertex;
        for (uint32_t b : near) {
            if (b == a) continue;
            if (squaredDistance(&frame[a], &frame[b]) < limit) weldPair(&frame[a], &frame[b]);
        }
    }
}

void weldNormals(Mesh* mesh, float distance)
{
    if (!hasVertices(mesh)) return;
    float limit = distance * distance;
    if (limit > 0.0f && isfinite(limit)) {
        double cellSize = 2.0 * fabs((double)distance);
        for (uint32_t f = 0; f < mesh->frameCount; f++)
            weldFrame(mesh->vertices + (size_t)f * mesh->vertexCount, mesh->vertexCount, limit, cellSize);
    }
    reloadFrameZero(mesh);
}

// ---- computeMeshTangents ----------------------------------------------------------

static void difference(float* out, const MeshVertex* to, const MeshVertex* from)
{
    out[0] = to->x - from->x;
    out[1] = to->y - from->y;
    out[2] = to->z - from->z;
}

// The tangent of one triangle, built at its corner nearest a right angle,
// weighted down as that corner flattens.
static void triangleTangent(const MeshVertex* p0, const MeshVertex* p1, const MeshVertex* p2, float* t)
{
    float e01[3], e02[3], e21[3];
    difference(e01, p1, p0);
    normalise(e01);
    difference(e02, p2, p0);
    normalise(e02);
    difference(e21, p1, p2);
    normalise(e21);
    float c0 = fabsf(dot(e02, e01)), c1 = fabsf(dot(e21, e01)), c2 = fabsf(dot(e21, e02));
    const MeshVertex *b, *a, *c;
    if (2.0f * c0 <= c1 + c2) {
        b = p0;
        a = p1;
        c = p2;
    } else if (2.0f * c1 <= c2 + c0) {
        b = p1;
        a = p2;
        c = p0;
    } else {
        b = p2;
        a = p0;
        c = p1;
    }
    float ea[3], ec[3];
    difference(ea, a, b);
    normalise(ea);
    difference(ec, c, b);
    normalise(ec);
    float w = 1.0f - fabsf(dot(ea, ec));
    w = w * w;
    float da = a->v - b->v, dc = c->v - b->v;
    for (int k = 0; k < 3; k++) t[k] = 0.01f * (&b->nx)[k] + da * ea[k] + dc * ec[k];
    normalise(t);
    for (int k = 0; k < 3; k++) t[k] *= w;
}

static void reportTangentLength(const float* t)
{
    float sq = t[0] * t[0] + t[1] * t[1] + t[2] * t[2];
    float length = sq == 0.0f ? 0.0f : (sq == 1.0f ? 1.0f : sqrtf(sq));
    if (fabsf(1.0f - length) > 0.00001f) logMessage("Wrong binormal! length of %f\n", length);
}

// Triangles naming a vertex outside the frame are skipped. Frame 0 is reloaded
// into the vertex buffer so that a static mesh draws with its tangents.
void computeMeshTangents(Mesh* mesh)
{
    if (!hasVertices(mesh)) return;
    size_t total = frameVertexTotal(mesh);
    float* sums = (float*)calloc(total, 3 * sizeof(float));
    if (!sums) {
        logMessage("computeMeshTangents: no memory for %zu vertices\n", total);
        return;
    }
    for (size_t i = 0; i < total; i++) mesh->vertices[i].tx = mesh->vertices[i].ty = mesh->vertices[i].tz = 0.0f;
    uint32_t n = mesh->vertexCount;
    for (uint32_t f = 0; f < mesh->frameCount; f++) {
        const MeshVertex* frame = mesh->vertices + (size_t)f * n;
        float* frameSums = sums + (size_t)f * n * 3;
        for (uint32_t tri = 0; mesh->indices && tri < mesh->triangleCount; tri++) {
            const uint16_t* idx = mesh->indices + (size_t)tri * 3;
            if (idx[0] >= n || idx[1] >= n || idx[2] >= n) continue;
            float t[3];
            triangleTangent(&frame[idx[0]], &frame[idx[1]], &frame[idx[2]], t);
            for (int corner = 0; corner < 3; corner++)
                for (int k = 0; k < 3; k++) frameSums[(size_t)idx[corner] * 3 + k] += t[k];
        }
    }
    for (size_t i = 0; i < total; i++) {
        float* t = &mesh->vertices[i].tx;
        memcpy(t, sums + i * 3, 3 * sizeof(float));
        normalise(t);
        reportTangentLength(t);
    }
    free(sums);
    reloadFrameZero(mesh);
}
