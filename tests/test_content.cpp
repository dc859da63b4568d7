// Tests of the content generator: its mesh helpers and writer (round trip
// through the engine's parser, refusals, outward winding, closed shard walls),
// and the data it generates: every mesh parses with the engine's own reader,
// stays within the budgets, faces outward, has usable normals and tangents
// where the show computes them, animations move and loops close; every
// texture decodes with power-of-two sizes; each mesh draws through the
// engine with its texture from three sides (pictures kept in the test's
// directory for looking at); the whole set is deterministic and under 20 MB.
#include "tools/gen/mesh_util.cpp"
// render.h below declares the uniform kind Vec3, which hides the generator's
// struct Vec3 from there on: the tests name the struct as `struct Vec3`.
#include "assets/assets.h"
#include "render/render.h"
#include "support/gl_context.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>
#include <set>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>

static const std::string binaryDir = KESTREL_BINARY_DIR;
static const std::string generator = binaryDir + "/tools/gen/kestrel_gen";

static const char* meshNames[] = {"jug.baf", "jug_intact.bof", "jug_broked.baf", "skybox.bof", "speedLines.bof", "splash.baf",
                                  "log.bof", "still.bof", "fire.bof", "botlz.bof", "bill.bof", "press.baf", "press_bill.baf",
                                  "roll.bof", "kaleido.bof", "gun.baf", "m47.bof", "blood.baf", "shot.bof", "bullet.bof",
                                  "rod.baf", "trail.bof", "shroom.baf", "shroom_top.baf"};
static const char* textureNames[] = {
    "skybox.jpg", "skybox2.jpg", "bgRed2.jpg", "bgRed.tga", "jug_env.jpg", "label.jpg", "label_nuke.jpg", "jug_light.tga",
    "jug_light2.tga", "splash_nrm.jpg", "log_col.jpg", "log_nrm.jpg", "still.jpg", "envNight.jpg", "lightnight.tga", "fire.jpg",
    "jugNight.jpg", "botlz.tga", "grain.jpg", "leak.tga", "dirt.jpg", "bill_po.jpg", "bill_bl.jpg", "bill_bo.jpg", "bill_da.jpg",
    "press.jpg", "press_lite.tga", "press_env.jpg", "bills0.jpg", "bills1.jpg", "roll.jpg", "wrap.jpg", "shot.tga", "chrome.jpg",
    "rod.jpg", "rubber.tga", "paint.jpg", "smoke.jpg", "smoke_n.jpg", "greet.jpg"};

// ---- helpers -------------------------------------------------------------------------

static int parseFile(const std::string& path, Mesh* m) {
    unsigned char* data = nullptr;
    size_t size = 0;
    if (readWholeFile(path.c_str(), &data, &size) != 1) return 0;
    memset(m, 0, sizeof *m);
    int ok = parseMeshText((const char*)data, size, m, path.c_str());
    free(data);
    return ok;
}
static void release(Mesh* m) {
    free(m->vertices);
    free(m->indices);
    memset(m, 0, sizeof *m);
}
static int parseWritten(const GMesh& g, Mesh* m) {
    std::string path = makeTempDir("content_writer") + "/m.baf";
    if (!writeMesh(path, g)) return 0;
    return parseFile(path, m);
}

// The generated data set, made once per test program in a fresh directory.
static std::string dataDir;
static const std::string& data() {
    if (dataDir.empty()) {
        dataDir = makeTempDir("content_data");
        EXPECT_EQ(0, runCommand(generator + " " + dataDir + " > " + dataDir + "/../content_gen.log"));
    }
    return dataDir;
}

static long fileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (long)st.st_size : -1;
}

// ---- the helpers and the writer ---------------------------------------------------------

TEST(GeneratorWriter, RoundTripThroughTheEngineParserFlipsZAndV) {
    GMesh g;
    addVert(&g, vec3(1.25f, -2.5f, 3.0f), 0.25f, 0.75f);
    addVert(&g, vec3(-100.004f, 0.0f, 7.126f), 1.0f, 0.0f);
    addVert(&g, vec3(0.5f, 1.0f, -0.001f), 0.12345f, 0.5f);
    addTri(&g, 0, 1, 2);
    g.frames.push_back(g.verts);
    std::vector<GVert> second = g.verts;
    second[0].p = vec3(9, 8, 7);
    g.frames.push_back(second);
    Mesh m;
    ASSERT_TRUE(parseWritten(g, &m));
    EXPECT_EQ(3u, m.vertexCount);
    EXPECT_EQ(1u, m.triangleCount);
    EXPECT_EQ(2u, m.frameCount);
    EXPECT_FLOAT_EQ(1.25f, m.vertices[0].x);
    EXPECT_FLOAT_EQ(-2.5f, m.vertices[0].y);
    EXPECT_FLOAT_EQ(-3.0f, m.vertices[0].z);
    EXPECT_FLOAT_EQ(0.25f, m.vertices[0].u);
    EXPECT_FLOAT_EQ(0.25f, m.vertices[0].v);
    EXPECT_NEAR(-100.0f, m.vertices[1].x, 1e-4);
    EXPECT_NEAR(-7.13f, m.vertices[1].z, 1e-4);
    EXPECT_NEAR(0.1235f, m.vertices[2].u, 1e-6);      // four decimals for texture coordinates
    EXPECT_FLOAT_EQ(0.0f, m.vertices[2].z);           // -0.001 rounds to 0, written without a sign
    EXPECT_FLOAT_EQ(9.0f, m.vertices[3].x);           // frame 1 follows frame 0
    EXPECT_FLOAT_EQ(-7.0f, m.vertices[3].z);
    release(&m);
}

TEST(GeneratorWriter, RefusesWhatTheEngineCouldNotLoad) {
    std::string dir = makeTempDir("content_refuse");
    GMesh bad;
    addVert(&bad, vec3(0, 0, 0), 0, 0);
    addVert(&bad, vec3(1, 0, 0), 0, 0);
    addTri(&bad, 0, 1, 2);                            // index beyond the vertices
    EXPECT_EQ(0, writeMesh(dir + "/a.bof", bad));
    GMesh uneven = bad;
    uneven.tris = {0, 1, 0};
    uneven.frames.push_back(uneven.verts);
    uneven.frames.push_back(std::vector<GVert>(1));   // a frame with another vertex count
    EXPECT_EQ(0, writeMesh(dir + "/b.baf", uneven));
    GMesh huge;
    huge.verts.resize(65536);
    huge.tris = {0, 1, 2};
    EXPECT_EQ(0, writeMesh(dir + "/c.bof", huge));
    GMesh fine;
    addVert(&fine, vec3(0, 0, 0), 0, 0);
    addVert(&fine, vec3(1, 0, 0), 0, 0);
    addVert(&fine, vec3(0, 1, 0), 0, 0);
    addTri(&fine, 0, 1, 2);
    EXPECT_EQ(0, writeMesh(dir + "/missing/d.bof", fine));
    EXPECT_EQ(1, writeMesh(dir + "/e.bof", fine));
}

// Normals the engine derives must point out of closed shapes built by the helpers.
TEST(GeneratorShapes, LatheTubeBoxAndEllipsoidFaceOutward) {
    std::vector<ProfilePt> prof = {{1, -10, 1}, {8, -9, 0.8f}, {10, 0, 0.5f}, {6, 9, 0.2f}, {1, 10, 0}};
    GMesh shapes[5] = {lathe(prof, 16), tube({vec3(0, 0, 0), vec3(5, 0, 0), vec3(10, 0, 0)}, {2, 3, 2}, 8, 1),
                       box(vec3(-1, -2, -3), vec3(4, 5, 6)), ellipsoid(vec3(0, 0, 0), vec3(3, 2, 5), 10, 6),
                       extrude({0, 0, 10, 0, 10, 10, 5, 4, 0, 10}, -2, 2, 0.5f)};
    // convex shapes (and one shallow notch): outward normals lean away from a centre
    struct Vec3 centres[5] = {vec3(0, 0, 0), vec3(5, 0, 0), vec3(1.5f, 1.5f, 1.5f), vec3(0, 0, 0), vec3(5, 2, 0)};
    for (int s = 0; s < 5; s++) {
        Mesh m;
        ASSERT_TRUE(parseWritten(shapes[s], &m)) << s;
        int out = 0, total = 0;
        for (uint32_t i = 0; i < m.vertexCount; i++) {
            const MeshVertex& v = m.vertices[i];
            struct Vec3 p = vec3(v.x, v.y, -v.z), n = vec3(v.nx, v.ny, -v.nz);   // back to the file's frame
            if (len(p - centres[s]) < 1.5f) continue;
            out += dot(n, p - centres[s]) > 0;
            total++;
        }
        EXPECT_GT(total, 0) << s;
        EXPECT_GE(out, total * 9 / 10) << "shape " << s << ": " << out << " of " << total << " normals point out";
        release(&m);
    }
}

// Every shard of a thickened, shattered shell is closed: each directed edge of
// a piece meets its reverse exactly once, so no crack shows a hole.
TEST(GeneratorShapes, ShatteredShardsAreClosedAndKeepEveryTriangle) {
    std::vector<ProfilePt> prof = {{1, -20, 1}, {15, -20, 0.9f}, {20, 0, 0.5f}, {12, 20, 0.1f}, {1, 21, 0}};
    GMesh shell = lathe(prof, 18);
    Rng r = makeRng(5);
    std::vector<int> pieceOf, pieceThick;
    GMesh split = shatter(shell, 7, &r, &pieceOf);
    EXPECT_EQ(shell.tris.size(), split.tris.size());
    ASSERT_EQ(split.verts.size(), pieceOf.size());
    std::set<int> used(pieceOf.begin(), pieceOf.end());
    EXPECT_GT(used.size(), 3u);
    for (size_t t = 0; t < split.tris.size(); t += 3)          // a triangle lies in one piece
        EXPECT_TRUE(pieceOf[split.tris[t]] == pieceOf[split.tris[t + 1]] && pieceOf[split.tris[t]] == pieceOf[split.tris[t + 2]]);
    GMesh thick = thicken(split, 2.0f, pieceOf, &pieceThick, 0.5f, 0.5f);
    ASSERT_EQ(thick.verts.size(), pieceThick.size());
    // closed by position: over every pair of positions as many triangle edges
    // run one way as the other, all within one piece
    auto key = [&](uint32_t v) {
        struct Vec3 p = thick.verts[v].p;
        return std::make_tuple((long)lroundf(p.x * 100), (long)lroundf(p.y * 100), (long)lroundf(p.z * 100));
    };
    std::map<std::pair<std::tuple<long, long, long>, std::tuple<long, long, long>>, int> edges;
    int open = 0;
    for (size_t t = 0; t < thick.tris.size(); t += 3)
        for (int k = 0; k < 3; k++) {
            uint32_t a = thick.tris[t + k], b = thick.tris[t + (k + 1) % 3];
            edges[{key(a), key(b)}]++;
            if (pieceThick[a] != pieceThick[b]) open++;
        }
    for (auto& e : edges) {
        auto rev = edges.find({e.first.second, e.first.first});
        if (rev == edges.end() || rev->second != e.second) open++;
    }
    EXPECT_EQ(0, open);
}

// Straightened cracks: copies of one position move together (no gap opens),
// corners of three pieces and the triangles' facing stay, and the cracks,
// which followed the lathe grid in steps, get shorter.
TEST(GeneratorShapes, SmoothedBreaksStayClosedAndGetShorter) {
    std::vector<ProfilePt> prof = {{1, -40, 1}, {30, -40, 0.9f}, {40, 0, 0.5f}, {25, 40, 0.1f}, {1, 42, 0}};
    std::vector<ProfilePt> fine;
    for (size_t i = 0; i + 1 < prof.size(); i++)
        for (int k = 0; k < 6; k++) {
            float t = k / 6.0f;
            fine.push_back(ProfilePt{mixf(prof[i].r, prof[i + 1].r, t), mixf(prof[i].y, prof[i + 1].y, t), mixf(prof[i].v, prof[i + 1].v, t)});
        }
    fine.push_back(prof.back());
    Rng r = makeRng(9);
    std::vector<int> pieceOf;
    GMesh before = shatter(lathe(fine, 24), 8, &r, &pieceOf);
    GMesh after = before;
    smoothBreaks(&after, pieceOf, 4, 0.6f);
    ASSERT_EQ(before.verts.size(), after.verts.size());
    ASSERT_TRUE(before.tris == after.tris);
    auto key = [](struct Vec3 p) { return std::make_tuple(lroundf(p.x * 100), lroundf(p.y * 100), lroundf(p.z * 100)); };
    std::map<std::tuple<long, long, long>, std::set<int>> pieces;
    std::map<std::tuple<long, long, long>, std::vector<size_t>> copies;
    for (size_t i = 0; i < before.verts.size(); i++) {
        pieces[key(before.verts[i].p)].insert(pieceOf[i]);
        copies[key(before.verts[i].p)].push_back(i);
    }
    int moved = 0;
    for (auto& c : copies) {
        for (size_t i : c.second) EXPECT_EQ(key(after.verts[i].p), key(after.verts[c.second[0]].p));
        struct Vec3 d = after.verts[c.second[0]].p - before.verts[c.second[0]].p;
        if (pieces[c.first].size() != 2) {
            EXPECT_LT(len(d), 0.001f);
        }
        moved += len(d) > 0.01f;
    }
    EXPECT_GT(moved, 10);
    auto crackLength = [&](const GMesh& m) {
        std::map<std::pair<std::tuple<long, long, long>, std::tuple<long, long, long>>, std::set<int>> edges;
        for (size_t t = 0; t < m.tris.size(); t += 3)
            for (int k = 0; k < 3; k++) {
                auto a = key(before.verts[m.tris[t + k]].p), b = key(before.verts[m.tris[t + (k + 1) % 3]].p);
                edges[{std::min(a, b), std::max(a, b)}].insert(pieceOf[m.tris[t]]);
            }
        float total = 0;
        for (size_t t = 0; t < m.tris.size(); t += 3)
            for (int k = 0; k < 3; k++) {
                uint32_t ia = m.tris[t + k], ib = m.tris[t + (k + 1) % 3];
                auto a = key(before.verts[ia].p), b = key(before.verts[ib].p);
                if (edges[{std::min(a, b), std::max(a, b)}].size() > 1) total += len(m.verts[ia].p - m.verts[ib].p);
            }
        return total;
    };
    EXPECT_LT(crackLength(after), crackLength(before) * 0.92f);
    for (size_t t = 0; t < before.tris.size(); t += 3) {
        const uint32_t* i = &before.tris[t];
        struct Vec3 n0 = cross(before.verts[i[1]].p - before.verts[i[0]].p, before.verts[i[2]].p - before.verts[i[0]].p);
        struct Vec3 n1 = cross(after.verts[i[1]].p - after.verts[i[0]].p, after.verts[i[2]].p - after.verts[i[0]].p);
        EXPECT_GT(dot(n0, n1), 0.0f) << "triangle " << t / 3 << " turned over";
    }
}

// Refining a closed box leaves no edge longer than asked and opens no crack
// (every edge position pair is run as often one way as the other).
TEST(GeneratorShapes, RefineSplitsLongEdgesWithoutCracks) {
    GMesh b = refine(box(vec3(0, 0, 0), vec3(100, 10, 37)), 12.0f);
    std::map<std::pair<std::tuple<long, long, long>, std::tuple<long, long, long>>, int> edges;
    auto key = [&](uint32_t v) {
        struct Vec3 p = b.verts[v].p;
        return std::make_tuple((long)lroundf(p.x * 100), (long)lroundf(p.y * 100), (long)lroundf(p.z * 100));
    };
    float longest = 0, area = 0;
    for (size_t t = 0; t < b.tris.size(); t += 3) {
        for (int k = 0; k < 3; k++) {
            uint32_t p = b.tris[t + k], q = b.tris[t + (k + 1) % 3];
            longest = fmaxf(longest, len(b.verts[p].p - b.verts[q].p));
            edges[{key(p), key(q)}]++;
        }
        area += len(cross(b.verts[b.tris[t + 1]].p - b.verts[b.tris[t]].p, b.verts[b.tris[t + 2]].p - b.verts[b.tris[t]].p)) * 0.5f;
    }
    EXPECT_LE(longest, 12.0f);
    EXPECT_NEAR(2 * (100 * 10 + 100 * 37 + 10 * 37), area, 1.0f);    // the surface is still all there
    int open = 0;
    for (auto& e : edges) {
        auto rev = edges.find({e.first.second, e.first.first});
        if (rev == edges.end() || rev->second != e.second) open++;
    }
    EXPECT_EQ(0, open);
}

// ---- the generated data ---------------------------------------------------------------

TEST(GeneratedMeshes, ParseWithTheEngineReaderWithinBudgets) {
    for (const char* name : meshNames) {
        Mesh m;
        ASSERT_TRUE(parseFile(data() + "/" + name, &m)) << name;
        EXPECT_LE(m.vertexCount, 65535u) << name;
        EXPECT_LE(m.triangleCount, 20000u) << name;
        for (uint32_t i = 0; i < 3 * m.triangleCount; i++) ASSERT_LT(m.indices[i], m.vertexCount) << name;
        // every vertex belongs to a triangle and every coordinate lies within
        // the show's world (a NaN written as a number comes out near -9e16)
        std::vector<char> used(m.vertexCount, 0);
        for (uint32_t i = 0; i < 3 * m.triangleCount; i++) used[m.indices[i]] = 1;
        for (uint32_t i = 0; i < m.vertexCount; i++) EXPECT_TRUE(used[i]) << name << " vertex " << i;
        for (size_t i = 0; i < (size_t)m.frameCount * m.vertexCount; i++) {
            const MeshVertex& v = m.vertices[i];
            ASSERT_TRUE(fabsf(v.x) < 10000.0f && fabsf(v.y) < 10000.0f && fabsf(v.z) < 10000.0f)
                << name << " vertex " << i << " at " << v.x << " " << v.y << " " << v.z;
        }
        release(&m);
    }
}

// The meshes whose tangents the show computes: no vertex may end with a zero
// normal or a tangent that is not of unit length ("Wrong binormal!").
TEST(GeneratedMeshes, NormalsAndTangentsWhereTheShowComputesThem) {
    const char* names[] = {"splash.baf", "blood.baf", "log.bof", "shroom.baf", "shroom_top.baf"};
    for (const char* name : names) {
        Mesh m;
        ASSERT_TRUE(parseFile(data() + "/" + name, &m)) << name;
        if (strcmp(name, "log.bof") == 0) scaleMesh(&m, 0.5f);
        if (strncmp(name, "shroom.", 7) == 0) weldNormals(&m, 0.01f);
        computeMeshTangents(&m);
        int zeroNormals = 0, badTangents = 0;
        for (size_t i = 0; i < (size_t)m.frameCount * m.vertexCount; i++) {
            const MeshVertex& v = m.vertices[i];
            float n2 = v.nx * v.nx + v.ny * v.ny + v.nz * v.nz, t2 = v.tx * v.tx + v.ty * v.ty + v.tz * v.tz;
            zeroNormals += n2 < 0.5f;
            badTangents += fabsf(sqrtf(t2) - 1.0f) > 0.00001f;
        }
        EXPECT_EQ(0, zeroNormals) << name;
        EXPECT_EQ(0, badTangents) << name;
        release(&m);
    }
}

static float frameDistance(const Mesh& m, uint32_t a, uint32_t b) {
    float worst = 0;
    for (uint32_t i = 0; i < m.vertexCount; i++) {
        const MeshVertex &p = m.vertices[(size_t)a * m.vertexCount + i], &q = m.vertices[(size_t)b * m.vertexCount + i];
        worst = fmaxf(worst, sqrtf((p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) + (p.z - q.z) * (p.z - q.z)));
    }
    return worst;
}

TEST(GeneratedMeshes, AnimationsMoveAndTheLoopsClose) {
    const char* animated[] = {"jug.baf", "jug_broked.baf", "splash.baf", "press.baf", "press_bill.baf", "gun.baf", "blood.baf",
                              "rod.baf", "shroom.baf", "shroom_top.baf"};
    for (const char* name : animated) {
        Mesh m;
        ASSERT_TRUE(parseFile(data() + "/" + name, &m)) << name;
        EXPECT_GE(m.frameCount, 4u) << name;
        for (uint32_t f = 1; f < m.frameCount; f++) EXPECT_GT(frameDistance(m, f - 1, f), 0.5f) << name << " frame " << f;
        if (strncmp(name, "press", 5) == 0) {
            // the scene wraps from the last frame to the first: every visible
            // point of the last frame has a point of the first frame on it
            // (turned or moved on by one symmetry step). Hidden: inside the
            // press below the nip and under the money in the crate.
            auto hidden = [&](const MeshVertex& v) {
                return strcmp(name, "press_bill.baf") == 0 && ((fabsf(v.x) < 1 && v.y < 48) || v.y < 24);
            };
            std::multiset<std::tuple<int, int, int>> first;
            for (uint32_t i = 0; i < m.vertexCount; i++) {
                const MeshVertex& v = m.vertices[i];
                for (int dx = -1; dx <= 1; dx++)
                    for (int dy = -1; dy <= 1; dy++)
                        for (int dz = -1; dz <= 1; dz++)
                            first.insert(std::make_tuple((int)floorf(v.x * 20) + dx, (int)floorf(v.y * 20) + dy, (int)floorf(v.z * 20) + dz));
            }
            int unmatched = 0, visible = 0;
            for (uint32_t i = 0; i < m.vertexCount; i++) {
                const MeshVertex& v = m.vertices[(size_t)(m.frameCount - 1) * m.vertexCount + i];
                if (hidden(v)) continue;
                visible++;
                unmatched += first.count(std::make_tuple((int)floorf(v.x * 20), (int)floorf(v.y * 20), (int)floorf(v.z * 20))) == 0;
            }
            EXPECT_GT(visible, (int)m.vertexCount / 3) << name;
            EXPECT_EQ(0, unmatched) << name << ": " << unmatched << " of " << visible << " visible points jump at the wrap";
        }
        release(&m);
    }
    // the jug bursts from the intact shape: frame 0 of the burst lies within the intact jug's bounds
    Mesh burst, whole;
    ASSERT_TRUE(parseFile(data() + "/jug.baf", &burst));
    ASSERT_TRUE(parseFile(data() + "/jug_intact.bof", &whole));
    float top = -1e9f, burstTop = -1e9f;
    for (uint32_t i = 0; i < whole.vertexCount; i++) top = fmaxf(top, whole.vertices[i].y);
    for (uint32_t i = 0; i < burst.vertexCount; i++) burstTop = fmaxf(burstTop, burst.vertices[i].y);
    EXPECT_NEAR(top, burstTop, 1.0f);
    EXPECT_GT(frameDistance(burst, 0, burst.frameCount - 1), 150.0f);
    release(&burst);
    release(&whole);
}

static struct Vec3 boundsSize(const Mesh& m, struct Vec3* lo) {
    struct Vec3 a = vec3(1e30f, 1e30f, 1e30f), b = vec3(-1e30f, -1e30f, -1e30f);
    for (uint32_t i = 0; i < m.vertexCount; i++) {
        const MeshVertex& v = m.vertices[i];
        a = vec3(fminf(a.x, v.x), fminf(a.y, v.y), fminf(a.z, -v.z));
        b = vec3(fmaxf(b.x, v.x), fmaxf(b.y, v.y), fmaxf(b.z, -v.z));
    }
    *lo = a;
    return b - a;
}

// Share of vertices (away from the axis) whose engine normal leans away from
// an axis through point o along unit direction d, in the file's frame.
static float outwardShare(const Mesh& m, struct Vec3 o, struct Vec3 d) {
    int out = 0, total = 0;
    for (uint32_t i = 0; i < m.vertexCount; i++) {
        const MeshVertex& v = m.vertices[i];
        struct Vec3 p = vec3(v.x, v.y, -v.z), n = vec3(v.nx, v.ny, -v.nz);
        struct Vec3 rel = p - o;
        struct Vec3 radial = rel - d * dot(rel, d);
        if (len(radial) < 2.0f) continue;
        out += dot(n, radial) > 0;
        total++;
    }
    return total ? (float)out / total : 0.0f;
}

// Round models face outward (counter-clockwise seen from outside in the file,
// clockwise on screen once the loader flips z).
TEST(GeneratedMeshes, RoundModelsFaceOutward) {
    struct Axis { const char* name; struct Vec3 o, d; float share; };
    const Axis axes[] = {{"jug_intact.bof", vec3(0, 0, 0), vec3(0, 1, 0), 0.85f}, {"bullet.bof", vec3(0, 0, 0), vec3(0, 0, 1), 0.9f},
                         {"log.bof", vec3(0, 0, 0), vec3(1, 0, 0), 0.8f}, {"botlz.bof", vec3(0, 14, 0), vec3(1, 0, 0), 0.75f},
                         {"roll.bof", vec3(0, 0, 0), vec3(1, 0, 0), 0.75f}, {"shroom.baf", vec3(0, 0, 0), vec3(0, 1, 0), 0.75f}};
    for (const Axis& a : axes) {
        Mesh m;
        ASSERT_TRUE(parseFile(data() + "/" + a.name, &m)) << a.name;
        EXPECT_GE(outwardShare(m, a.o, a.d), a.share) << a.name;
        release(&m);
    }
}

// Sizes and places that the scenes' cameras and placements rely on.
TEST(GeneratedMeshes, ScaleAndPlacementForTheCameras) {
    struct Want { const char* name; float sx, sy, sz, tolerance; };
    const Want wants[] = {{"jug_intact.bof", 0, 287, 0, 15}, {"skybox.bof", 100, 100, 100, 2}, {"bill.bof", 40, 17, 0, 1.5f},
                          {"bullet.bof", 44, 44, 150, 3}, {"botlz.bof", 80, 28, 28, 3}, {"log.bof", 640, 0, 0, 10}};
    for (const Want& w : wants) {
        Mesh m;
        ASSERT_TRUE(parseFile(data() + "/" + w.name, &m)) << w.name;
        struct Vec3 lo, s = boundsSize(m, &lo);
        if (w.sx > 0) { EXPECT_NEAR(w.sx, s.x, w.tolerance) << w.name; }
        if (w.sy > 0) { EXPECT_NEAR(w.sy, s.y, w.tolerance) << w.name; }
        if (w.sz > 0) { EXPECT_NEAR(w.sz, s.z, w.tolerance) << w.name; }
        release(&m);
    }
    // the jug's base meets the log's top once the log is halved and set at y = -180
    Mesh jug, log;
    ASSERT_TRUE(parseFile(data() + "/jug_intact.bof", &jug));
    ASSERT_TRUE(parseFile(data() + "/log.bof", &log));
    struct Vec3 jlo, llo;
    boundsSize(jug, &jlo);
    struct Vec3 ls = boundsSize(log, &llo);
    EXPECT_NEAR(jlo.y, -180.0f + (llo.y + ls.y) * 0.5f, 6.0f);
    // the muzzle of the pistol points to +z, where the flash starts
    Mesh gun, shot;
    ASSERT_TRUE(parseFile(data() + "/m47.bof", &gun));
    ASSERT_TRUE(parseFile(data() + "/shot.bof", &shot));
    struct Vec3 glo, slo;
    struct Vec3 gs = boundsSize(gun, &glo);
    boundsSize(shot, &slo);
    EXPECT_NEAR(200.0f, gs.z, 15.0f);
    EXPECT_NEAR(glo.z + gs.z, slo.z, 10.0f);
    // the kaleidoscope lies in front of the eye, beyond the near plane of 5, facing it
    Mesh k;
    ASSERT_TRUE(parseFile(data() + "/kaleido.bof", &k));
    float facing = 0;
    for (uint32_t i = 0; i < k.vertexCount; i++) {
        EXPECT_GT(-k.vertices[i].z, 5.0f);
        facing += k.vertices[i].nz;      // toward the eye at the origin: +z in GL terms
    }
    EXPECT_GT(facing, 0.5f * k.vertexCount);
    for (Mesh* m : {&jug, &log, &gun, &shot, &k}) release(m);
}

// Triangles drawn in the heaviest frame of each scene, from the draw lists of
// the scenes (instances × mesh triangles), against the 60000 budget.
TEST(GeneratedMeshes, TrianglesDrawnPerFrameStayWithinBudget) {
    std::map<std::string, int> tris;
    for (const char* name : meshNames) {
        Mesh m;
        ASSERT_TRUE(parseFile(data() + "/" + name, &m)) << name;
        tris[name] = (int)m.triangleCount;
        release(&m);
    }
    int scene1 = tris["skybox.bof"] + tris["log.bof"] + tris["jug.baf"] + tris["splash.baf"];
    int scene2 = tris["skybox.bof"] + tris["still.bof"] + 100 * tris["botlz.bof"] + 2 * tris["fire.bof"];
    int scene4 = tris["skybox.bof"] + tris["log.bof"] + tris["jug.baf"] + 100 * tris["bill.bof"];
    int scene5 = tris["skybox.bof"] + tris["press.baf"] + tris["press_bill.baf"] + 8 * tris["kaleido.bof"] + 3 * tris["roll.bof"];
    int scene6 = tris["skybox.bof"] + tris["gun.baf"] + tris["m47.bof"] + tris["shot.bof"] + tris["blood.baf"] + tris["bullet.bof"];
    int scene7 = tris["speedLines.bof"] + tris["rod.baf"] + tris["trail.bof"];
    int scene8 = tris["skybox.bof"] + 16 * tris["log.bof"] + 15 * tris["jug_broked.baf"] + tris["jug.baf"] + tris["splash.baf"];
    // scene 9 draws the nuke jug while part < 0 and a mushroom after
    int scene9 = tris["skybox.bof"] + 17 * tris["log.bof"] + 16 * tris["jug_broked.baf"] +
                 std::max(tris["jug.baf"], std::max(tris["shroom.baf"], tris["shroom_top.baf"]));
    for (int t : {scene1, scene2, scene4, scene5, scene6, scene7, scene8, scene9}) EXPECT_LE(t, 60000);
}

static int powerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

TEST(GeneratedTextures, DecodeWithPowerOfTwoSizesAndTheRightAlpha) {
    for (const char* name : textureNames) {
        std::string path = data() + "/" + name;
        Image im = {0, 0, nullptr};
        int isTga = strstr(name, ".tga") != nullptr;
        if (isTga) {
            ASSERT_TRUE(decodeTgaFile(path.c_str(), &im)) << name;
        } else {
            unsigned char* bytes = nullptr;
            size_t size = 0;
            ASSERT_EQ(1, readWholeFile(path.c_str(), &bytes, &size)) << name;
            EXPECT_LT(size, 3u << 20) << name;            // the loader reads at most 3 MiB
            ASSERT_TRUE(decodeJpegMemory(bytes, size, &im, name)) << name;
            free(bytes);
        }
        EXPECT_TRUE(powerOfTwo(im.width) && powerOfTwo(im.height)) << name << " " << im.width << "x" << im.height;
        EXPECT_LE(im.width, 1024) << name;
        EXPECT_LE(im.height, 1024) << name;
        // pictures with some life in them: not one flat colour
        int lo = 255, hi = 0;
        for (int i = 0; i < im.width * im.height; i++) {
            lo = std::min(lo, (int)im.pixels[4 * i + 1]);
            hi = std::max(hi, (int)im.pixels[4 * i + 1]);
        }
        EXPECT_GT(hi - lo, 20) << name;
        // the flash draws with the default program: opaque everywhere, black around it
        if (strcmp(name, "shot.tga") == 0) {
            for (int i = 0; i < im.width * im.height; i++) ASSERT_EQ(255, im.pixels[4 * i + 3]);
            EXPECT_LT(im.pixels[0] + im.pixels[1] + im.pixels[2], 10);
        }
        // glass lets light through, the label and cork do not
        if (strcmp(name, "botlz.tga") == 0) {
            int clear = 0, solid = 0;
            for (int i = 0; i < im.width * im.height; i++) {
                clear += im.pixels[4 * i + 3] < 160;
                solid += im.pixels[4 * i + 3] == 255;
            }
            EXPECT_GT(clear, im.width * im.height / 4);
            EXPECT_GT(solid, im.width * im.height / 5);
        }
        free(im.pixels);
    }
}

// greet.jpg: the wrap in the top half, sixteen different labels of 256 × 128 below.
TEST(GeneratedTextures, SixteenDistinctGreetingLabels) {
    unsigned char* bytes = nullptr;
    size_t size = 0;
    ASSERT_EQ(1, readWholeFile((data() + "/greet.jpg").c_str(), &bytes, &size));
    Image im = {0, 0, nullptr};
    ASSERT_TRUE(decodeJpegMemory(bytes, size, &im, "greet.jpg"));
    free(bytes);
    ASSERT_EQ(1024, im.width);
    ASSERT_EQ(1024, im.height);
    // rows are stored bottom first: picture row y is stored row 1023 - y
    auto cell = [&](int g) {
        std::vector<int> sum(32, 0);
        int x0 = (g % 4) * 256, y0 = 512 + (g / 4) * 128;
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 256; x++) {
                const unsigned char* p = im.pixels + 4 * ((size_t)(1023 - (y0 + y)) * 1024 + x0 + x);
                sum[(y / 32) * 8 + x / 32] += p[0] + p[1] + p[2];
            }
        return sum;
    };
    std::vector<std::vector<int>> cells;
    for (int g = 0; g < 16; g++) cells.push_back(cell(g));
    for (int a = 0; a < 16; a++)
        for (int b = a + 1; b < 16; b++) {
            long diff = 0;
            for (int k = 0; k < 32; k++) diff += labs((long)cells[a][k] - cells[b][k]);
            EXPECT_GT(diff, 20000) << "greetings " << a << " and " << b << " look alike";
        }
    free(im.pixels);
}

TEST(GeneratedData, DeterministicAndSmall) {
    std::string again = makeTempDir("content_again");
    ASSERT_EQ(0, runCommand(generator + " " + again + " > /dev/null"));
    long total = 0;
    std::vector<std::string> all(std::begin(meshNames), std::end(meshNames));
    all.insert(all.end(), std::begin(textureNames), std::end(textureNames));
    EXPECT_EQ(64u, all.size());
    for (const std::string& name : all) {
        std::string a = readFile(data() + "/" + name), b = readFile(again + "/" + name);
        EXPECT_FALSE(a.empty()) << name;
        EXPECT_TRUE(a == b) << name << " differs between two runs";
        total += fileSize(data() + "/" + name);
    }
    EXPECT_LT(total, 16L << 20);      // leaves room in the 20 MB for the shaders, tracks and music
}

// ---- through the engine ---------------------------------------------------------------

// Off-screen target of the given size with the start-up GL state (depth test,
// clockwise front faces culled at the back, blending on).
static int offscreen(int width, int height) {
    static GLuint framebuffer, colour, depth;
    if (!testGLContext(64, 64)) return 0;
    if (!framebuffer) {
        glGenFramebuffers(1, &framebuffer);
        glGenRenderbuffers(1, &colour);
        glGenRenderbuffers(1, &depth);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return 0;
    windowWidth = width;
    windowHeight = height;
    glViewport(0, 0, width, height);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CW);
    glEnable(GL_BLEND);
    currentBlendMode = -100;
    setBlendMode(Opaque);
    uniformCount = 0;
    setCameraAspect(width, height);
    return 1;
}

static void writePpm(const std::string& path, const std::vector<unsigned char>& rgba, int w, int h) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return;
    fprintf(f, "P6\n%d %d\n255\n", w, h);
    for (int y = h - 1; y >= 0; y--)
        for (int x = 0; x < w; x++) fwrite(&rgba[4 * ((size_t)y * w + x)], 1, 3, f);
    fclose(f);
}

// Every mesh loads with loadMesh and its texture with loadTexture, and draws
// with the default program into a good part of the picture from the front, the
// side and above. A sheet of the views per mesh lands in content_views/.
TEST(EngineRender, EveryMeshDrawsFromThreeSides) {
    const int size = 128;
    if (!offscreen(size, size)) GTEST_SKIP() << "no GL context";
    if (defaultProgram <= 0) createDefaultShader();
    ASSERT_GT(defaultProgram, 0);
    std::string views = makeTempDir("content_views");
    struct Item { const char* mesh; const char* texture; };
    const Item items[] = {{"jug_intact.bof", "label.jpg"}, {"jug.baf", "label.jpg"}, {"jug_broked.baf", "greet.jpg"},
                          {"splash.baf", "splash_nrm.jpg"}, {"log.bof", "log_col.jpg"}, {"still.bof", "still.jpg"},
                          {"fire.bof", "fire.jpg"}, {"botlz.bof", "botlz.tga"}, {"bill.bof", "bill_bo.jpg"},
                          {"press.baf", "press.jpg"}, {"press_bill.baf", "bills0.jpg"}, {"roll.bof", "roll.jpg"},
                          {"gun.baf", "roll.jpg"}, {"m47.bof", "wrap.jpg"}, {"blood.baf", "splash_nrm.jpg"},
                          {"shot.bof", "shot.tga"}, {"bullet.bof", "chrome.jpg"}, {"rod.baf", "rod.jpg"},
                          {"trail.bof", "chrome.jpg"}, {"shroom.baf", "smoke.jpg"}, {"shroom_top.baf", "smoke.jpg"},
                          {"skybox.bof", "skybox.jpg"}, {"speedLines.bof", "bgRed2.jpg"}, {"kaleido.bof", "press.jpg"}};
    for (const Item& item : items) {
        Mesh m;
        memset(&m, 0, sizeof m);
        ASSERT_TRUE(loadMesh(&m, (data() + "/" + item.mesh).c_str())) << item.mesh;
        int tex = loadTexture(nullptr, (data() + "/" + item.texture).c_str());
        ASSERT_GT(tex, 0) << item.texture;
        m.textures[0] = tex;
        if (m.frameCount > 1) blendMeshFrames(&m, (m.frameCount - 1) * 0.5f);
        // bounds in the authored frame (z back to the file's sign)
        struct Vec3 lo = vec3(1e30f, 1e30f, 1e30f), hi = vec3(-1e30f, -1e30f, -1e30f);
        for (uint32_t i = 0; i < m.vertexCount; i++) {
            const MeshVertex& v = m.vertices[(size_t)(m.frameCount > 1 ? m.frameCount : 0) * m.vertexCount + i];
            lo = vec3(fminf(lo.x, v.x), fminf(lo.y, v.y), fminf(lo.z, -v.z));
            hi = vec3(fmaxf(hi.x, v.x), fmaxf(hi.y, v.y), fmaxf(hi.z, -v.z));
        }
        struct Vec3 c = (lo + hi) * 0.5f;
        float r = len(hi - lo) * 0.5f;
        int inside = strcmp(item.mesh, "skybox.bof") == 0 || strcmp(item.mesh, "speedLines.bof") == 0 ||
                     strcmp(item.mesh, "kaleido.bof") == 0;
        std::vector<unsigned char> sheet((size_t)size * 3 * size * 4, 0);
        const float yaws[3] = {180, 120, 180}, pitches[3] = {-20, -15, -60};
        for (int view = 0; view < 3; view++) {
            float yaw = yaws[view], pitch = pitches[view];
            float dist = inside ? 0.0f : r / tanf(25.0f * 3.14159f / 180.0f);
            struct Vec3 fwd = vec3(-sinf(yaw * 3.14159f / 180) * cosf(pitch * 3.14159f / 180), sinf(pitch * 3.14159f / 180),
                        cosf(yaw * 3.14159f / 180) * cosf(pitch * 3.14159f / 180));
            struct Vec3 eye = inside ? vec3(0, 0, 0) : c - fwd * dist;
            if (strcmp(item.mesh, "kaleido.bof") == 0) { yaw = 0; pitch = 0; }
            setCamera(eye.x, eye.y, eye.z, yaw, pitch, 0, inside ? 1.0f : dist * 0.05f, inside ? 2000.0f : dist * 3, 60);
            if (inside) glDisable(GL_CULL_FACE);
            glClearColor(0.1f, 0.1f, 0.3f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            m.x = m.y = m.z = 0;
            m.yaw = m.pitch = m.roll = 0;
            m.dirty = 1;
            drawMesh(&m);
            glEnable(GL_CULL_FACE);
            std::vector<unsigned char> px = readPixels(0, 0, size, size);
            int covered = 0;
            for (int i = 0; i < size * size; i++)
                covered += abs(px[4 * i] - 26) + abs(px[4 * i + 1] - 26) + abs(px[4 * i + 2] - 77) > 12;
            // thin things seen edge-on (a bill, the flash planes) cover little
            EXPECT_GT(covered, size * size / 100) << item.mesh << " view " << view;
            for (int y = 0; y < size; y++)
                memcpy(&sheet[4 * ((size_t)y * size * 3 + view * size)], &px[4 * (size_t)y * size], (size_t)size * 4);
        }
        EXPECT_EQ((GLenum)GL_NO_ERROR, glGetError()) << item.mesh;
        writePpm(views + "/" + item.mesh + ".ppm", sheet, size * 3, size);
        glDeleteTextures(1, (GLuint*)&tex);
        m.textures[0] = -1;
        freeMesh(&m);
    }
}
