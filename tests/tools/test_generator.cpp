// The content generator's mesh helpers and writer: the round trip through the
// engine's parser, refusals, outward winding, closed shard walls, refinement.
#include "tools/gen/mesh_util.cpp"
// render.h below declares the uniform kind Vec3, which hides the generator's
// struct Vec3 from there on: the tests name the struct as `struct Vec3`.
static const char* const generatedDataTag = "generated_data";
#include "tools/fixture.h"

// ---- the helpers and the writer ---------------------------------------------------------

TEST(GeneratorWriter, RoundTripThroughTheEngineParserFlipsZAndV)
{
    GeneratedMesh g;
    addVert(&g, vec3(1.25f, -2.5f, 3.0f), 0.25f, 0.75f);
    addVert(&g, vec3(-100.004f, 0.0f, 7.126f), 1.0f, 0.0f);
    addVert(&g, vec3(0.5f, 1.0f, -0.001f), 0.12345f, 0.5f);
    addTri(&g, 0, 1, 2);
    g.frames.push_back(g.verts);
    std::vector<GeneratedVertex> second = g.verts;
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
    EXPECT_NEAR(0.1235f, m.vertices[2].u, 1e-6);   // four decimals for texture coordinates
    EXPECT_FLOAT_EQ(0.0f, m.vertices[2].z);        // -0.001 rounds to 0, written without a sign
    EXPECT_FLOAT_EQ(9.0f, m.vertices[3].x);        // frame 1 follows frame 0
    EXPECT_FLOAT_EQ(-7.0f, m.vertices[3].z);
    release(&m);
}

TEST(GeneratorWriter, RefusesWhatTheEngineCouldNotLoad)
{
    std::string dir = makeTempDir("content_refuse");
    GeneratedMesh bad;
    addVert(&bad, vec3(0, 0, 0), 0, 0);
    addVert(&bad, vec3(1, 0, 0), 0, 0);
    addTri(&bad, 0, 1, 2);   // index beyond the vertices
    EXPECT_EQ(0, writeMesh(dir + "/a.bof", bad));
    GeneratedMesh uneven = bad;
    uneven.tris = {0, 1, 0};
    uneven.frames.push_back(uneven.verts);
    uneven.frames.push_back(std::vector<GeneratedVertex>(1));   // a frame with another vertex count
    EXPECT_EQ(0, writeMesh(dir + "/b.baf", uneven));
    GeneratedMesh huge;
    huge.verts.resize(65536);
    huge.tris = {0, 1, 2};
    EXPECT_EQ(0, writeMesh(dir + "/c.bof", huge));
    GeneratedMesh fine;
    addVert(&fine, vec3(0, 0, 0), 0, 0);
    addVert(&fine, vec3(1, 0, 0), 0, 0);
    addVert(&fine, vec3(0, 1, 0), 0, 0);
    addTri(&fine, 0, 1, 2);
    EXPECT_EQ(0, writeMesh(dir + "/missing/d.bof", fine));
    EXPECT_EQ(1, writeMesh(dir + "/e.bof", fine));
}

// Normals the engine derives must point out of closed shapes built by the helpers.
TEST(GeneratorShapes, LatheTubeBoxAndEllipsoidFaceOutward)
{
    std::vector<ProfilePt> prof = {{1, -10, 1}, {8, -9, 0.8f}, {10, 0, 0.5f}, {6, 9, 0.2f}, {1, 10, 0}};
    GeneratedMesh shapes[5] = {lathe(prof, 16), tube({vec3(0, 0, 0), vec3(5, 0, 0), vec3(10, 0, 0)}, {2, 3, 2}, 8, 1),
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
        if (s == 2) {   // the box's faces cover 2 (5 x 7 + 7 x 9 + 5 x 9) = 286
            float area = 0;
            for (uint32_t t = 0; t < m.triangleCount; t++) {
                const MeshVertex *p = &m.vertices[m.indices[3 * t]], *q = &m.vertices[m.indices[3 * t + 1]],
                                 *r = &m.vertices[m.indices[3 * t + 2]];
                area += 0.5f * len(cross(vec3(q->x - p->x, q->y - p->y, q->z - p->z),
                                         vec3(r->x - p->x, r->y - p->y, r->z - p->z)));
            }
            EXPECT_NEAR(area, 286.0f, 0.01f);
        }
        release(&m);
    }
}

// Every shard of a thickened, shattered shell is closed: each directed edge of
// a piece meets its reverse exactly once, so no crack shows a hole.
TEST(GeneratorShapes, ShatteredShardsAreClosedAndKeepEveryTriangle)
{
    std::vector<ProfilePt> prof = {{1, -20, 1}, {15, -20, 0.9f}, {20, 0, 0.5f}, {12, 20, 0.1f}, {1, 21, 0}};
    GeneratedMesh shell = lathe(prof, 18);
    Rng r = makeRng(5);
    std::vector<int> pieceOf, pieceThick;
    GeneratedMesh split = shatter(shell, 7, &r, &pieceOf);
    EXPECT_EQ(shell.tris.size(), split.tris.size());
    ASSERT_EQ(split.verts.size(), pieceOf.size());
    std::set<int> used(pieceOf.begin(), pieceOf.end());
    EXPECT_GT(used.size(), 3u);
    for (size_t t = 0; t < split.tris.size(); t += 3)   // a triangle lies in one piece
        EXPECT_TRUE(pieceOf[split.tris[t]] == pieceOf[split.tris[t + 1]] &&
                    pieceOf[split.tris[t]] == pieceOf[split.tris[t + 2]]);
    GeneratedMesh thick = thicken(split, 2.0f, pieceOf, &pieceThick, 0.5f, 0.5f);
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
TEST(GeneratorShapes, SmoothedBreaksStayClosedAndGetShorter)
{
    std::vector<ProfilePt> prof = {{1, -40, 1}, {30, -40, 0.9f}, {40, 0, 0.5f}, {25, 40, 0.1f}, {1, 42, 0}};
    std::vector<ProfilePt> fine;
    for (size_t i = 0; i + 1 < prof.size(); i++)
        for (int k = 0; k < 6; k++) {
            float t = k / 6.0f;
            fine.push_back(ProfilePt{mixf(prof[i].r, prof[i + 1].r, t), mixf(prof[i].y, prof[i + 1].y, t),
                                     mixf(prof[i].v, prof[i + 1].v, t)});
        }
    fine.push_back(prof.back());
    Rng r = makeRng(9);
    std::vector<int> pieceOf;
    GeneratedMesh before = shatter(lathe(fine, 24), 8, &r, &pieceOf);
    GeneratedMesh after = before;
    smoothBreaks(&after, pieceOf, 4, 0.6f);
    ASSERT_EQ(before.verts.size(), after.verts.size());
    ASSERT_TRUE(before.tris == after.tris);
    auto key = [](struct Vec3 p) {
        return std::make_tuple(lroundf(p.x * 100), lroundf(p.y * 100), lroundf(p.z * 100));
    };
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
    auto crackLength = [&](const GeneratedMesh& m) {
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
        struct Vec3 n0 =
            cross(before.verts[i[1]].p - before.verts[i[0]].p, before.verts[i[2]].p - before.verts[i[0]].p);
        struct Vec3 n1 = cross(after.verts[i[1]].p - after.verts[i[0]].p, after.verts[i[2]].p - after.verts[i[0]].p);
        EXPECT_GT(dot(n0, n1), 0.0f) << "triangle " << t / 3 << " turned over";
    }
}

// Refining a closed box leaves no edge longer than asked and opens no crack
// (every edge position pair is run as often one way as the other).
TEST(GeneratorShapes, RefineSplitsLongEdgesWithoutCracks)
{
    GeneratedMesh b = refine(box(vec3(0, 0, 0), vec3(100, 10, 37)), 12.0f);
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
        area += len(cross(b.verts[b.tris[t + 1]].p - b.verts[b.tris[t]].p,
                          b.verts[b.tris[t + 2]].p - b.verts[b.tris[t]].p)) *
                0.5f;
    }
    EXPECT_LE(longest, 12.0f);
    EXPECT_NEAR(2 * (100 * 10 + 100 * 37 + 10 * 37), area, 1.0f);   // the surface is still all there
    int open = 0;
    for (auto& e : edges) {
        auto rev = edges.find({e.first.second, e.first.first});
        if (rev == edges.end() || rev->second != e.second) open++;
    }
    EXPECT_EQ(0, open);
}

// ---- the generated data ---------------------------------------------------------------
