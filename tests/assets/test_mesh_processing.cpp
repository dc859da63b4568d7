// Mesh processing for data hooks: scaling every frame, welding normals within
// a frame (against a pairwise walk), tangents and degenerate triangles.
#include "assets/assets.h"
#include "support/gl_context.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <random>
#include <string>
#include <vector>

// ---- mesh processing -----------------------------------------------------------------

struct MemoryMesh {
    Mesh mesh;
    std::vector<MeshVertex> vertices;
    std::vector<uint16_t> indices;
};

static void makeMemoryMesh(MemoryMesh* m, uint32_t vertexCount, uint32_t frameCount)
{
    memset(&m->mesh, 0, sizeof(Mesh));
    m->vertices.assign((size_t)(frameCount + 1) * vertexCount, MeshVertex{});
    m->mesh.vertexCount = vertexCount;
    m->mesh.frameCount = frameCount;
    m->mesh.vertices = m->vertices.data();
}

static void setTriangles(MemoryMesh* m, std::vector<uint16_t> indices)
{
    m->indices = std::move(indices);
    m->mesh.indices = m->indices.data();
    m->mesh.triangleCount = (uint32_t)m->indices.size() / 3;
}

TEST(MeshProcessing, ScaleEveryFrameAndReload)
{
    if (!testGLContext(200, 200)) GTEST_SKIP() << "no display";
    MemoryMesh m;
    makeMemoryMesh(&m, 2, 3);
    for (int i = 0; i < 6; i++) {
        m.vertices[i].x = 1;
        m.vertices[i].y = 2;
        m.vertices[i].z = -3;
        m.vertices[i].nx = 1;
    }
    glGenBuffers(1, &m.mesh.vertexBuffer);
    scaleMesh(&m.mesh, 10.0f);
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(m.vertices[i].x, 10.0f);
        EXPECT_EQ(m.vertices[i].y, 20.0f);
        EXPECT_EQ(m.vertices[i].z, -30.0f);
        EXPECT_EQ(m.vertices[i].nx, 1.0f);
    }
    EXPECT_EQ(m.vertices[6].x, 0.0f);   // the blend slot is not a frame
    // A known box follows the scale (its culling would otherwise hide the mesh).
    m.mesh.boxKnown = 1;
    scaleMesh(&m.mesh, -0.5f);
    EXPECT_EQ(m.mesh.boxLow[0], -5.0f);
    EXPECT_EQ(m.mesh.boxHigh[2], 15.0f);
    scaleMesh(&m.mesh, -2.0f);
    MeshVertex gpu[2];
    glBindBuffer(GL_ARRAY_BUFFER, m.mesh.vertexBuffer);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(gpu), gpu);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    EXPECT_EQ(0, memcmp(gpu, m.vertices.data(), sizeof(gpu)));
    glDeleteBuffers(1, &m.mesh.vertexBuffer);

    Mesh empty{};
    scaleMesh(&empty, 2.0f);
    weldNormals(&empty, 1.0f);
    computeMeshTangents(&empty);
    scaleMesh(nullptr, 2.0f);
}

TEST(MeshProcessing, WeldMergesWithinAFrameOnly)
{
    MemoryMesh m;
    makeMemoryMesh(&m, 3, 2);
    // Frame 0: two vertices at one place, one far away. Frame 1: a lone vertex
    // at the same place as frame 0's pair.
    MeshVertex* v = m.vertices.data();
    v[0].x = 1;
    v[0].nx = 1;
    v[1].x = 1;
    v[1].ny = 1;
    v[2].x = 5;
    v[2].nz = 1;
    v[3].x = 1;
    v[3].nz = 1;
    v[4].x = 9;
    v[4].nx = 1;
    v[5].x = 1.02f;
    v[5].ny = 1;
    weldNormals(&m.mesh, 0.01f);
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(v[i].nx, 0.70710677f);
        EXPECT_EQ(v[i].ny, 0.70710677f);
        EXPECT_EQ(v[i].nz, 0.0f);
    }
    EXPECT_EQ(v[2].nz, 1.0f);
    EXPECT_EQ(v[3].nz, 1.0f);
    EXPECT_EQ(v[3].nx, 0.0f);
    EXPECT_EQ(v[5].ny, 1.0f);   // 0.02 away: not merged
    weldNormals(&m.mesh, 0.0f);
    weldNormals(&m.mesh, NAN);
    EXPECT_EQ(v[5].ny, 1.0f);
}

// The plain pairwise walk that defines the result.
static void referenceWeld(Mesh* mesh, float distance)
{
    float limit = distance * distance;
    for (uint32_t f = 0; f < mesh->frameCount; f++) {
        MeshVertex* frame = mesh->vertices + (size_t)f * mesh->vertexCount;
        for (uint32_t a = 0; a < mesh->vertexCount; a++)
            for (uint32_t b = 0; b < mesh->vertexCount; b++) {
                if (a == b) continue;
                float dx = frame[a].x - frame[b].x, dy = frame[a].y - frame[b].y, dz = frame[a].z - frame[b].z;
                if (dx * dx + dy * dy + dz * dz < limit) {
                    MeshVertex& A = frame[a];
                    A.nx += frame[b].nx;
                    A.ny += frame[b].ny;
                    A.nz += frame[b].nz;
                    float sq = A.nx * A.nx + A.ny * A.ny + A.nz * A.nz;
                    if (sq != 0.0f) {
                        float inv = (float)(1.0 / sqrt((double)sq));
                        A.nx *= inv;
                        A.ny *= inv;
                        A.nz *= inv;
                    }
                    frame[b].nx = A.nx;
                    frame[b].ny = A.ny;
                    frame[b].nz = A.nz;
                }
            }
    }
}

// Clusters of vertices around lattice points, spread so that some pairs sit
// just inside and some just outside the distance, chains included.
static void makeWeldCase(MemoryMesh* m, uint32_t count, uint32_t frames, unsigned seed)
{
    makeMemoryMesh(m, count, frames);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> cell(0, (int)(count / 6));
    std::uniform_real_distribution<float> jitter(-0.008f, 0.008f), unit(-1.0f, 1.0f);
    for (size_t i = 0; i < m->vertices.size() - count; i++) {
        MeshVertex& v = m->vertices[i];
        int c = cell(rng);
        v.x = (float)(c % 7) * 0.013f + jitter(rng);
        v.y = (float)((c / 7) % 7) * 0.013f + jitter(rng);
        v.z = (float)(c / 49) * 0.5f + ((i % 3) ? 0.0f : jitter(rng));
        v.nx = unit(rng);
        v.ny = unit(rng);
        v.nz = unit(rng);
    }
}

TEST(MeshProcessing, WeldMatchesThePairwiseWalk)
{
    for (unsigned seed = 1; seed <= 3; seed++) {
        MemoryMesh fast, slow, original;
        makeWeldCase(&fast, 1500, 2, seed);
        makeWeldCase(&slow, 1500, 2, seed);
        makeWeldCase(&original, 1500, 2, seed);
        weldNormals(&fast.mesh, 0.01f);
        referenceWeld(&slow.mesh, 0.01f);
        ASSERT_EQ(0, memcmp(fast.vertices.data(), slow.vertices.data(), fast.vertices.size() * sizeof(MeshVertex)))
            << "seed " << seed;
        int changed = 0;
        for (size_t i = 0; i < original.vertices.size(); i++)
            if (original.vertices[i].nx != fast.vertices[i].nx) changed++;
        EXPECT_GT(changed, 1000) << "the case should weld many vertices";
    }
}

// A closed surface as a mesh file gives it: a UV sphere whose seam and poles
// repeat positions, so welding has real work, plus a copy moved by less than
// the distance. Prints what both walks cost (a measurement, not a check).
static void makeSeamSphere(MemoryMesh* m, int rings, int segments)
{
    uint32_t count = (uint32_t)((rings + 1) * (segments + 1));
    makeMemoryMesh(m, count, 1);
    for (int r = 0; r <= rings; r++)
        for (int s = 0; s <= segments; s++) {
            MeshVertex& v = m->vertices[(size_t)r * (segments + 1) + s];
            float theta = 3.14159265f * r / rings, phi = 6.2831853f * (s % segments) / segments;
            v.x = sinf(theta) * cosf(phi);
            v.y = cosf(theta);
            v.z = sinf(theta) * sinf(phi);
            v.nx = v.x + 0.1f * (s == segments);
            v.ny = v.y;
            v.nz = v.z;
        }
}

TEST(MeshProcessing, WeldOnASeamSphere)
{
    MemoryMesh fast, slow;
    makeSeamSphere(&fast, 60, 80);   // 4941 vertices
    makeSeamSphere(&slow, 60, 80);
    auto t0 = std::chrono::steady_clock::now();
    weldNormals(&fast.mesh, 0.01f);
    auto t1 = std::chrono::steady_clock::now();
    referenceWeld(&slow.mesh, 0.01f);
    auto t2 = std::chrono::steady_clock::now();
    EXPECT_EQ(0, memcmp(fast.vertices.data(), slow.vertices.data(), fast.vertices.size() * sizeof(MeshVertex)));
    // The seam's two copies now share one normal.
    const MeshVertex& first = fast.vertices[30 * 81];
    const MeshVertex& last = fast.vertices[30 * 81 + 80];
    EXPECT_EQ(first.nx, last.nx);
    EXPECT_EQ(first.nz, last.nz);
    printf("weldNormals on %u vertices: grid %.2f ms, pairwise %.2f ms\n", fast.mesh.vertexCount,
           std::chrono::duration<double, std::milli>(t1 - t0).count(),
           std::chrono::duration<double, std::milli>(t2 - t1).count());
}

TEST(MeshProcessing, TangentCases)
{
    InDirectory here("resources_tangents");
    // Right angle at P0: B = P0, weight 1; v grows toward P2 only.
    MemoryMesh m;
    makeMemoryMesh(&m, 3, 1);
    MeshVertex* v = m.vertices.data();
    v[1].x = 1;
    v[2].y = 1;
    v[2].v = 1;
    for (int i = 0; i < 3; i++) v[i].nz = 1;
    setTriangles(&m, {0, 1, 2});
    computeMeshTangents(&m.mesh);
    float len = sqrtf(1.0f + 0.01f * 0.01f);
    for (int i = 0; i < 3; i++) {
        EXPECT_NEAR(v[i].tx, 0.0f, 1e-7f);
        EXPECT_NEAR(v[i].ty, 1.0f / len, 1e-6f);
        EXPECT_NEAR(v[i].tz, 0.01f / len, 1e-6f);
    }

    // Equal v everywhere: only 0.01 × B's normal, which ends as B's normal.
    // The corner nearest a right angle here is P1 (an obtuse P0, acute P2).
    makeMemoryMesh(&m, 3, 1);
    v = m.vertices.data();
    v[0].x = 0;
    v[0].y = 0;
    v[1].x = 2;
    v[1].y = 0;
    v[2].x = 2;
    v[2].y = 2;
    v[0].nx = 1;
    v[1].ny = 1;
    v[2].nz = 1;
    for (int i = 0; i < 3; i++) v[i].v = 0.5f;
    setTriangles(&m, {0, 1, 2});
    computeMeshTangents(&m.mesh);
    for (int i = 0; i < 3; i++) {
        EXPECT_NEAR(v[i].tx, 0.0f, 1e-6f);
        EXPECT_NEAR(v[i].ty, 1.0f, 1e-6f);
        EXPECT_NEAR(v[i].tz, 0.0f, 1e-6f);
    }

    // A vertex no triangle uses keeps a zero tangent and is reported; an
    // index outside the frame is skipped.
    makeMemoryMesh(&m, 4, 1);
    v = m.vertices.data();
    v[1].x = 1;
    v[2].y = 1;
    v[2].v = 1;
    setTriangles(&m, {0, 1, 2, 0, 1, 40});
    computeMeshTangents(&m.mesh);
    EXPECT_EQ(v[3].tx, 0.0f);
    EXPECT_EQ(v[3].ty, 0.0f);
    EXPECT_NEAR(v[0].ty, 1.0f, 1e-6f);
    std::string log = readFile("demo.log");
    EXPECT_EQ(1, countOf(log, "Wrong binormal! length of 0.000000\n"));
}

// A flat corner weighs nothing: a triangle with a 180° corner adds nothing.
TEST(MeshProcessing, DegenerateTriangleWeighsNothing)
{
    InDirectory here("resources_degenerate");
    MemoryMesh m;
    makeMemoryMesh(&m, 3, 1);
    MeshVertex* v = m.vertices.data();
    v[1].x = 1;
    v[2].x = 2;
    v[1].v = 1;
    v[2].v = 2;
    setTriangles(&m, {0, 1, 2});
    computeMeshTangents(&m.mesh);
    for (int i = 0; i < 3; i++) EXPECT_EQ(v[i].tx, 0.0f);
    EXPECT_EQ(3, countOf(readFile("demo.log"), "Wrong binormal!"));
}
