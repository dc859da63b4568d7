// Mesh files: the text parser (records, frames, float forms, limits, damaged
// files) and loading into GL buffers with its log lines.
#include "assets/assets_local.h"
#include "platform/platform.h"
#include "support/gl_context.h"
#include "assets/fixture.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <string>
#include <vector>
#include <math.h>

// ---- mesh files -----------------------------------------------------------------

static int parse(const std::string& text, Mesh* out, const char* name = "mesh.bof")
{
    return parseMeshText(text.data(), text.size(), out, name);
}

TEST(MeshParse, StaticFileRecordsAndNormals)
{
    // Three vertices in the z = 0 plane, and an unused fourth one.
    Mesh mesh;
    memset(&mesh, 0, sizeof mesh);
    mesh.dirty = 5;
    ASSERT_TRUE(parse("BOF1 4 1\n5.0 6.0 7.0\n0 0 0 0 0 0\n1 1 0 0 1 0\n2 0 1 0 0 1\n"
                      "7 1.0 2.0 3.0 0.25 0.75\n9 0 1 2\n",
                      &mesh));
    EXPECT_EQ(mesh.vertexCount, 4u);
    EXPECT_EQ(mesh.triangleCount, 1u);
    EXPECT_EQ(mesh.frameCount, 1u);
    EXPECT_GE(malloc_usable_size(mesh.vertices), 8 * sizeof(MeshVertex));   // two frame slots
    const MeshVertex& v = mesh.vertices[3];
    EXPECT_EQ(v.x, 1.0f);
    EXPECT_EQ(v.y, 2.0f);
    EXPECT_EQ(v.z, -3.0f);
    EXPECT_EQ(v.u, 0.25f);
    EXPECT_EQ(v.v, 0.25f);
    EXPECT_EQ(v.nx, 0.0f);
    EXPECT_EQ(v.ny, 0.0f);
    EXPECT_EQ(v.nz, 0.0f);   // unused: zero normal
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(mesh.vertices[i].nz, -1.0f) << i;   // e2 x e1 of a counter-clockwise triangle
        EXPECT_EQ(mesh.vertices[i].nx, 0.0f);
        EXPECT_EQ(mesh.indices[i], i);
    }
    EXPECT_EQ(mesh.x + mesh.y + mesh.z + mesh.yaw + mesh.pitch + mesh.roll, 0.0f);
    for (int t : mesh.textures) EXPECT_EQ(t, -1);
    EXPECT_EQ(mesh.uploadedFrame, 0);
    EXPECT_EQ(mesh.dirty, 5);
    const int locations[] = {0, 1, 2, 3, 4}, sizes[] = {3, 2, 3, 3, 4}, offsets[] = {0, 12, 20, 32, 44};
    ASSERT_EQ(mesh.attribCount, 5);
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(mesh.attribLocations[i], locations[i]);
        EXPECT_EQ(mesh.attribSizes[i], sizes[i]);
        EXPECT_EQ(mesh.attribOffsets[i], offsets[i]);
    }
    freeMesh(&mesh);
}

static std::string animatedMesh(int vertices, int frames)
{
    std::string text = "BAF1 " + std::to_string(vertices) + " 2 " + std::to_string(frames) + " 0 0 0\n";
    for (int f = 0; f < frames; f++)
        for (int i = 0; i < vertices; i++)
            text += std::to_string(i) + " " + std::to_string(f * 1000 + i) + " " + std::to_string(f) + " " +
                    std::to_string(i % 2) + " 0.5 0.5\n";
    return text + "0 0 1 2\n1 0 0 1\n";   // the second triangle is degenerate
}

TEST(MeshParse, AnimatedFramesKeepTheirOwnVertices)
{
    Mesh mesh;
    memset(&mesh, 0, sizeof mesh);
    ASSERT_TRUE(parse(animatedMesh(100, 4), &mesh));
    EXPECT_EQ(mesh.frameCount, 4u);
    EXPECT_GE(malloc_usable_size(mesh.vertices), 500 * sizeof(MeshVertex));
    for (int f = 0; f < 4; f++) {
        EXPECT_EQ(mesh.vertices[f * 100 + 7].x, f * 1000.0f + 7);
        EXPECT_EQ(mesh.vertices[f * 100 + 7].y, (float)f);
        // Each frame's normals come from its own positions; the degenerate
        // triangle adds nothing, and vertex 3 is not used at all.
        float length = mesh.vertices[f * 100].nx * mesh.vertices[f * 100].nx +
                       mesh.vertices[f * 100].ny * mesh.vertices[f * 100].ny +
                       mesh.vertices[f * 100].nz * mesh.vertices[f * 100].nz;
        EXPECT_NEAR(length, 1.0f, 1e-5f);
        EXPECT_EQ(mesh.vertices[f * 100 + 3].nx + mesh.vertices[f * 100 + 3].nz, 0.0f);
    }
    // The box spans every frame: x from vertex 0 of frame 0 to vertex 99 of
    // frame 3, y the frame number, file z 0 or 1 (turned to -1..0).
    ASSERT_TRUE(mesh.boxKnown);
    const float low[3] = {0, 0, -1}, high[3] = {3099, 3, 0};
    for (int a = 0; a < 3; a++) EXPECT_EQ(mesh.boxLow[a], low[a]) << a;
    for (int a = 0; a < 3; a++) EXPECT_EQ(mesh.boxHigh[a], high[a]) << a;
    freeMesh(&mesh);
}

TEST(MeshParse, AcceptsScanfFloatFormsAndIgnoresTrailingText)
{
    Mesh mesh;
    memset(&mesh, 0, sizeof mesh);
    ASSERT_TRUE(parse("BOF1\t3\r\n1 +1 -2 3\n0 +1.5 .5 5. 1e-2 -0\n+1 0x1p3 1e-50 2E1 0 0\n"
                      "-2 0 0 0 0 0\n0 0 1 2\ntrailing words are not read",
                      &mesh));
    EXPECT_EQ(mesh.vertices[0].x, 1.5f);
    EXPECT_EQ(mesh.vertices[0].y, 0.5f);
    EXPECT_EQ(mesh.vertices[0].z, -5.0f);
    EXPECT_EQ(mesh.vertices[1].x, 8.0f);
    EXPECT_EQ(mesh.vertices[1].y, 0.0f);
    EXPECT_EQ(mesh.vertices[1].z, -20.0f);
    freeMesh(&mesh);
}

TEST(MeshParse, FloatsRoundExactlyAsStrtof)
{
    // Decimal texts of every common shape, including values near float halfway
    // points (nine digits) and long mantissas, must give strtof's float.
    std::vector<std::string> texts;
    srand(11);
    const char* formats[] = {"%f", "%.9g", "%.3f", "%.12e", "%.17g", "%g"};
    for (int i = 0; i < 30000; i++) {
        double value = (rand() - RAND_MAX / 2) / pow(10.0, rand() % 12) * (rand() % 2 ? 1e-3 : 1e3);
        char text[64];
        snprintf(text, sizeof text, formats[i % 6], value);
        texts.push_back(text);
    }
    texts.push_back("16777217");             // exactly halfway between two floats
    texts.push_back("0.5000000298023224");   // just above halfway, halfway as a double
    texts.push_back("-0.5000000298023224");
    texts.push_back("0.100000001490116119384765625");
    texts.push_back("3.4028234663852886e38");
    std::string mesh = "BOF1 " + std::to_string(texts.size()) + " 0 0 0 0\n";
    for (size_t i = 0; i < texts.size(); i++) mesh += "0 " + texts[i] + " 0 0 0 0\n";
    Mesh parsed;
    memset(&parsed, 0, sizeof parsed);
    ASSERT_TRUE(parse(mesh, &parsed));
    for (size_t i = 0; i < texts.size(); i++) {
        float expected = strtof(texts[i].c_str(), nullptr);
        ASSERT_EQ(memcmp(&parsed.vertices[i].x, &expected, 4), 0) << texts[i];
    }
    freeMesh(&parsed);
}

TEST(MeshParse, LargestIndexableMeshIsAccepted)
{
    std::string text = "BOF1 65536 1 0 0 0\n";
    text.reserve(65536 * 14);
    for (int i = 0; i < 65536; i++) text += std::to_string(i) + " 1 2 3 0 0\n";
    text += "0 0 1 65535\n";
    Mesh mesh;
    memset(&mesh, 0, sizeof mesh);
    ASSERT_TRUE(parse(text, &mesh));
    EXPECT_EQ(mesh.indices[2], 65535);
    freeMesh(&mesh);
}

TEST(MeshParse, RejectsDamagedFilesAndLeavesTheRecordAlone)
{
    const char* good = "BOF1 3 1 0 0 0\n0 0 0 0 0 0\n1 1 0 0 0 0\n2 0 1 0 0 0\n0 0 1 2\n";
    ASSERT_EQ(parse(good, nullptr), 0);
    Mesh probe;
    memset(&probe, 0, sizeof probe);
    ASSERT_TRUE(parse(good, &probe));
    freeMesh(&probe);
    struct Case {
        const char* text;
        const char* logged;
    };
    const Case cases[] = {
        {"bof1 3 1 0 0 0", "invalid TYPE bof1"},
        {"BOF2 3 1 0 0 0", "invalid TYPE BOF2"},
        {"BOF1x 3 1", "invalid TYPE BOF1x"},
        {"ABCDEFGHIJKLMNOP 3 1", "invalid TYPE ABCDEFGHIJK"},
        {"", "invalid TYPE "},
        {"BOF1 65537 1 0 0 0", "65537 vertices"},
        {"BOF1 3 1 0 0 0\n0 0 0 0 0 0\n1 1 0 0 0 0\n2 0 1 0 0 0\n0 0 1 3\n", "vertex index 3"},
        {"BOF1 3 1 0 0 0\n0 0 0 0 0 0\n1 1 0 0 0 0\n2 0 1 0 0 0\n0 0 1", "do not fit"},
        {"BOF1 3 1 0 0 0\n0 0 0 0 0 0\n1 1 0 0 0 0\n2 0 1 0 0 0\n0 0 1      ", "the file ends"},
        {"BOF1 3 1 0 0 0\n0 0 0 0 0 0\n1 1 0 abc 0 0\n2 0 1 0 0 0\n0 0 1 2\n", "found <abc>"},
        {"BOF1 3 1 0 0 0\n0 0 0 0 0 0\n1 1 0 1.5x 0 0\n2 0 1 0 0 0\n0 0 1 2\n", "found <1.5x>"},
        {"BOF1 3 1 0 0 0\n0 0 nan 0 0 0\n1 1 0 0 0 0\n2 0 1 0 0 0\n0 0 1 2\n", "found <nan>"},
        {"BOF1 3 1 0 0 0\n0 0 1e40 0 0 0\n1 1 0 0 0 0\n2 0 1 0 0 0\n0 0 1 2\n", "found <1e40>"},
        {"BOF1 3 1 0 0 0\n0 0 0 0 0 0\n1 1 0 0 0 0\n2 0 1 0 0 0\n0 0 1.0 2\n", "found <1.0>"},
        {"BOF1 3 1 0 0 0\n0 0 0 0 0 0\n1 1 0 0 0 0\n2 0 1 0 0 0\n0 0 -1 2\n", "found <-1>"},
        {"BOF1 3 1 0 0 0\nx 0 0 0 0 0\n1 1 0 0 0 0\n2 0 1 0 0 0\n0 0 1 2\n", "found <x>"},
        {"BOF1 -1 1 0 0 0", "found <-1>"},
        {"BOF1 4294967296 1 0 0 0", "found <4294967296>"},
        {"BAF1 3 1 0 0 0 0", "no frames"},
        {"BAF1 0 0 1000000002 0 0 2", "no vertices"},
        {"BOF1 0 0 0 0 0", "no vertices"},
        {"BAF1 65536 4294967295 4294967295 0 0 0", "do not fit"},
        {"BOF1 3 1 0 0", "the file ends"},
    };
    for (const Case& c : cases) {
        Mesh mesh;
        memset(&mesh, 0xab, sizeof mesh);
        Mesh before = mesh;
        size_t from = logSize();
        EXPECT_EQ(parse(c.text, &mesh), 0) << c.text;
        EXPECT_EQ(memcmp(&mesh, &before, sizeof mesh), 0) << c.text;
        EXPECT_NE(logSince(from).find(c.logged), std::string::npos) << c.text << " logged: " << logSince(from);
    }
}

TEST(MeshLoad, UploadsFrameZeroAndReleases)
{
    if (!testGLContext(64, 64)) GTEST_SKIP() << "no display for a GL context";
    std::string dir = makeTempDir("mesh_load");
    writeText(dir + "/tri.bof", "BOF1 3 1 9 9 9\n0 0 0 0 0 0\n1 1 0 0 0 0\n2 0 1 0 0 0\n0 0 1 2\n");
    writeText(dir + "/anim.baf", animatedMesh(100, 4));
    Mesh mesh;
    memset(&mesh, 0, sizeof mesh);
    mesh.dirty = 3;
    mesh.model[5] = 2.0f;
    ASSERT_EQ(loadMesh(&mesh, (dir + "/tri.bof").c_str()), &mesh);
    GLint size = 0;
    glBindBuffer(GL_ARRAY_BUFFER, mesh.vertexBuffer);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, 180);
    glBindBuffer(GL_ARRAY_BUFFER, mesh.indexBuffer);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, 6);
    EXPECT_EQ(mesh.program, defaultProgram);
    EXPECT_EQ(mesh.dirty, 3);
    EXPECT_EQ(mesh.model[5], 2.0f);
    EXPECT_EQ(mesh.x + mesh.y + mesh.z, 0.0f);

    Mesh anim;
    memset(&anim, 0, sizeof anim);
    ASSERT_EQ(loadMesh(&anim, (dir + "/anim.baf").c_str()), &anim);
    std::vector<MeshVertex> uploaded(100);
    glBindBuffer(GL_ARRAY_BUFFER, anim.vertexBuffer);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, 6000);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, 6000, uploaded.data());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    EXPECT_EQ(memcmp(uploaded.data(), anim.vertices, 6000), 0);

    Mesh* fresh = loadMesh(nullptr, (dir + "/tri.bof").c_str());
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->vertexCount, 3u);
    EXPECT_EQ(fresh->dirty, 0);
    freeMesh(fresh);
    free(fresh);

    GLuint buffers[2] = {mesh.vertexBuffer, mesh.indexBuffer};
    mesh.textures[2] = 11;
    int program = mesh.program;
    freeMesh(&mesh);
    EXPECT_FALSE(glIsBuffer(buffers[0]));
    EXPECT_FALSE(glIsBuffer(buffers[1]));
    EXPECT_EQ(mesh.vertices, nullptr);
    EXPECT_EQ(mesh.indices, nullptr);
    EXPECT_EQ(mesh.vertexCount + mesh.triangleCount, 0u);
    EXPECT_EQ(mesh.textures[2], -1);
    EXPECT_EQ(mesh.program, program);
    freeMesh(&anim);
}

TEST(MeshLoad, MissingAndInvalidFilesLogTheirTextsAndReturnNull)
{
    std::string dir = makeTempDir("mesh_bad");
    std::string missing = dir + "/none.bof", wrong = dir + "/wrong.bof";
    writeText(wrong, "bof1 3 1 0 0 0\n");
    Mesh mesh;
    memset(&mesh, 0x5a, sizeof mesh);
    Mesh before = mesh;
    size_t from = logSize();
    EXPECT_EQ(loadMesh(&mesh, missing.c_str()), nullptr);
    EXPECT_EQ(logSince(from), "EEEEEEEEEEEK!!!     file <" + missing + "> not found!!");
    from = logSize();
    EXPECT_EQ(loadMesh(&mesh, wrong.c_str()), nullptr);
    EXPECT_EQ(logSince(from), "EEEEEK!!    file <" + wrong + "> is of invalid TYPE bof1");
    EXPECT_EQ(memcmp(&mesh, &before, sizeof mesh), 0);
    EXPECT_EQ(loadMesh(nullptr, wrong.c_str()), nullptr);
}

// ---- TGA reader -------------------------------------------------------------------
