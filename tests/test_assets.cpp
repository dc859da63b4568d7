// Tests of the asset readers: mesh files, the TGA reader and its conversions,
// JPEG decoding, the texture uploads, and real TGA/JPEG files written by other
// programs (Debian's gdk-pixbuf-tests, extracted at test time).
#include "assets/assets.h"
#include "support/gl_context.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <malloc.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <string>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>
#pragma GCC diagnostic pop

typedef std::vector<uint8_t> Bytes;

// This program runs in a directory of its own, so the demo.log lines it checks
// are its own even while other test programs run beside it.
static const int inOwnDirectory = [] {
    mkdir("assets_work", 0755);
    return chdir("assets_work");
}();

static void writeBytes(const std::string& path, const Bytes& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    if (!bytes.empty())
        fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

static void writeText(const std::string& path, const std::string& text)
{
    writeBytes(path, Bytes(text.begin(), text.end()));
}

static size_t logSize() { return readFile("demo.log").size(); }
static std::string logSince(size_t from) { return readFile("demo.log").substr(from); }

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
                      "7 1.0 2.0 3.0 0.25 0.75\n9 0 1 2\n", &mesh));
    EXPECT_EQ(mesh.vertexCount, 4u);
    EXPECT_EQ(mesh.triangleCount, 1u);
    EXPECT_EQ(mesh.frameCount, 1u);
    EXPECT_GE(malloc_usable_size(mesh.vertices), 8 * sizeof(MeshVertex)); // two frame slots
    const MeshVertex& v = mesh.vertices[3];
    EXPECT_EQ(v.x, 1.0f); EXPECT_EQ(v.y, 2.0f); EXPECT_EQ(v.z, -3.0f);
    EXPECT_EQ(v.u, 0.25f); EXPECT_EQ(v.v, 0.25f);
    EXPECT_EQ(v.nx, 0.0f); EXPECT_EQ(v.ny, 0.0f); EXPECT_EQ(v.nz, 0.0f); // unused: zero normal
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(mesh.vertices[i].nz, -1.0f) << i; // e2 x e1 of a counter-clockwise triangle
        EXPECT_EQ(mesh.vertices[i].nx, 0.0f);
        EXPECT_EQ(mesh.indices[i], i);
    }
    EXPECT_EQ(mesh.x + mesh.y + mesh.z + mesh.yaw + mesh.pitch + mesh.roll, 0.0f);
    for (int t : mesh.textures)
        EXPECT_EQ(t, -1);
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
            text += std::to_string(i) + " " + std::to_string(f * 1000 + i) + " " +
                    std::to_string(f) + " " + std::to_string(i % 2) + " 0.5 0.5\n";
    return text + "0 0 1 2\n1 0 0 1\n"; // the second triangle is degenerate
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
    freeMesh(&mesh);
}

TEST(MeshParse, AcceptsScanfFloatFormsAndIgnoresTrailingText)
{
    Mesh mesh;
    memset(&mesh, 0, sizeof mesh);
    ASSERT_TRUE(parse("BOF1\t3\r\n1 +1 -2 3\n0 +1.5 .5 5. 1e-2 -0\n+1 0x1p3 1e-50 2E1 0 0\n"
                      "-2 0 0 0 0 0\n0 0 1 2\ntrailing words are not read", &mesh));
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
    texts.push_back("16777217");           // exactly halfway between two floats
    texts.push_back("0.5000000298023224"); // just above halfway, halfway as a double
    texts.push_back("-0.5000000298023224");
    texts.push_back("0.100000001490116119384765625");
    texts.push_back("3.4028234663852886e38");
    std::string mesh = "BOF1 " + std::to_string(texts.size()) + " 0 0 0 0\n";
    for (size_t i = 0; i < texts.size(); i++)
        mesh += "0 " + texts[i] + " 0 0 0 0\n";
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
    for (int i = 0; i < 65536; i++)
        text += std::to_string(i) + " 1 2 3 0 0\n";
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
    struct Case { const char* text; const char* logged; };
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
    if (!testGLContext(64, 64))
        GTEST_SKIP() << "no display for a GL context";
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

static Bytes tgaFile(int type, int width, int height, int depth, int descriptor, const Bytes& body,
                     int mapType = 0, int mapFirst = 0, int mapLength = 0, int mapBits = 0)
{
    Bytes b = {0, (uint8_t)mapType, (uint8_t)type, (uint8_t)mapFirst, (uint8_t)(mapFirst >> 8),
               (uint8_t)mapLength, (uint8_t)(mapLength >> 8), (uint8_t)mapBits, 0, 0, 0, 0,
               (uint8_t)width, (uint8_t)(width >> 8), (uint8_t)height, (uint8_t)(height >> 8),
               (uint8_t)depth, (uint8_t)descriptor};
    b.resize(18 + body.size());
    if (!body.empty())
        memcpy(&b[18], body.data(), body.size());
    return b;
}

// Reads with the texture loader's flags; returns the handle's status.
static int readTga(const Bytes& file, TgaFile** handle, TgaData* data, std::string* report = nullptr)
{
    *data = TgaData{nullptr, nullptr, nullptr, TgaImageData | TgaRedBlueSwap};
    testing::internal::CaptureStderr();
    *handle = openTgaMemory(file.data(), file.size());
    readTgaImage(*handle, data);
    std::string text = testing::internal::GetCapturedStderr();
    if (report)
        *report = text;
    return *handle ? (*handle)->status : -1;
}

static void release(TgaFile* handle, TgaData* data)
{
    closeTga(handle);
    free(data->imageId);
    free(data->colorMap);
    free(data->pixels);
}

TEST(TgaReader, TrueColourSwapRunsAndTypeAfterDecoding)
{
    TgaFile* tga;
    TgaData data;
    ASSERT_EQ(readTga(tgaFile(2, 2, 1, 24, 0, {10, 20, 30, 40, 50, 60}), &tga, &data), TgaSuccess);
    EXPECT_EQ(data.flags, (uint32_t)(TgaImageData | TgaRedBlueSwap));
    EXPECT_EQ(Bytes(data.pixels, data.pixels + 6), (Bytes{30, 20, 10, 60, 50, 40}));
    release(tga, &data);

    // 131 = a run of four copies of one pixel; the header then says type 2.
    ASSERT_EQ(readTga(tgaFile(10, 4, 1, 24, 0, {131, 1, 2, 3}), &tga, &data), TgaSuccess);
    EXPECT_EQ(tga->imageType, 2);
    EXPECT_EQ(Bytes(data.pixels, data.pixels + 12), (Bytes{3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1}));
    release(tga, &data);

    // 127 = a raw packet of 128 pixels.
    Bytes body = {127};
    for (int i = 0; i < 128; i++)
        body.push_back((uint8_t)i);
    ASSERT_EQ(readTga(tgaFile(11, 128, 1, 8, 0, body), &tga, &data), TgaSuccess);
    EXPECT_EQ(tga->imageType, 3);
    for (int i = 0; i < 128; i++)
        ASSERT_EQ(data.pixels[i], i);
    release(tga, &data);

    // A run across the scanline end continues on the next line; one running
    // past the last pixel is clipped.
    ASSERT_EQ(readTga(tgaFile(11, 2, 2, 8, 0, {130, 9, 0, 7}), &tga, &data), TgaSuccess);
    EXPECT_EQ(Bytes(data.pixels, data.pixels + 4), (Bytes{9, 9, 9, 7}));
    release(tga, &data);
    ASSERT_EQ(readTga(tgaFile(11, 2, 2, 8, 0, {255, 4}), &tga, &data), TgaSuccess);
    EXPECT_EQ(Bytes(data.pixels, data.pixels + 4), (Bytes{4, 4, 4, 4}));
    release(tga, &data);
    ASSERT_EQ(readTga(tgaFile(11, 2, 1, 8, 0, {127, 1, 2, 3}), &tga, &data), TgaSuccess);
    EXPECT_EQ(Bytes(data.pixels, data.pixels + 2), (Bytes{1, 2}));
    release(tga, &data);
}

TEST(TgaReader, RejectsBadHeadersAndShortFilesWithReports)
{
    struct Case { Bytes file; int status; const char* report; };
    const std::string unit = "Libtga:common/libtga-1.0.1/src/tgaread:";
    Bytes pixels16(2 * 2 * 2, 0);
    const Case cases[] = {
        {tgaFile(1, 2, 2, 16, 0, pixels16, 1, 0, 2, 24), TgaUnknownFormat, "129: Unknown sub-format\n"},
        {tgaFile(2, 2, 2, 12, 0, pixels16), TgaUnknownFormat, "141: Unknown sub-format\n"},
        {tgaFile(2, 2, 2, 8, 0, pixels16), TgaUnknownFormat, "141: Unknown sub-format\n"},
        {tgaFile(3, 2, 2, 24, 0, Bytes(12, 0)), TgaUnknownFormat, "141: Unknown sub-format\n"},
        {tgaFile(32, 2, 2, 24, 0, Bytes(12, 0)), TgaUnknownFormat, "117: Unknown sub-format\n"},
        {tgaFile(1, 2, 2, 8, 0, Bytes(4, 0)), TgaUnknownFormat, "129: Unknown sub-format\n"}, // no map
        {Bytes(10, 0), TgaReadFailed, "109: Read failed\n"},
        {Bytes(), TgaReadFailed, "109: Read failed\n"},
        {tgaFile(2, 2, 2, 24, 0, Bytes(11, 0)), TgaReadFailed, "70: Read failed\n"},
        {tgaFile(2, 65535, 65535, 32, 0, Bytes(64, 0)), TgaReadFailed, "70: Read failed\n"},
        {tgaFile(10, 65535, 65535, 32, 0, Bytes(64, 0)), TgaReadFailed, "70: Read failed\n"},
        {tgaFile(10, 4, 4, 24, 0, {131, 1, 2, 3, 0, 1}), TgaReadFailed, "304: Read failed\n"},
        {tgaFile(1, 2, 1, 8, 0, {1, 2, 3, 4, 5, 6}, 1, 0, 3, 24), TgaReadFailed, "205: Read failed\n"},
        {tgaFile(1, 2, 1, 8, 0, {1, 2, 3, 4, 5, 6}, 1, 0, 3, 12), TgaUnknownFormat, "63: Unknown sub-format\n"},
    };
    for (const Case& c : cases) {
        TgaFile* tga;
        TgaData data;
        std::string report;
        EXPECT_EQ(readTga(c.file, &tga, &data, &report), c.status) << report;
        EXPECT_FALSE(data.flags & TgaImageData) << report;
        EXPECT_NE(report.find(unit + c.report), std::string::npos) << report;
        release(tga, &data);
        Image image = {0, 0, nullptr};
        testing::internal::CaptureStderr();
        EXPECT_EQ(decodeTgaMemory(c.file.data(), c.file.size(), &image), 0);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(image.pixels, nullptr);
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(openTga("no/such/file.tga"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Libtga:common/libtga-1.0.1/src/tga:44: Failed to open file\n");
    const char* texts[] = {"Success", "Error", "Out of memory", "Failed to open file", "Seek failed",
                           "Read failed", "Write failed", "Unknown sub-format", "Error"};
    for (int code = 0; code < 9; code++)
        EXPECT_STREQ(tgaStatusText(code), texts[code]);
    EXPECT_STREQ(tgaStatusText(-1), "Error");
}

static Bytes decode(const Bytes& file, int* width = nullptr, int* height = nullptr)
{
    Image image = {0, 0, nullptr};
    testing::internal::CaptureStderr();
    int ok = decodeTgaMemory(file.data(), file.size(), &image);
    testing::internal::GetCapturedStderr();
    if (!ok)
        return Bytes();
    Bytes out(image.pixels, image.pixels + (size_t)image.width * image.height * 4);
    if (width) *width = image.width;
    if (height) *height = image.height;
    free(image.pixels);
    return out;
}

TEST(TgaDecode, ConvertsEveryCommonKindToBottomUpRgba)
{
    EXPECT_EQ(decode(tgaFile(3, 2, 1, 8, 0, {7, 200})), (Bytes{7, 7, 7, 255, 200, 200, 200, 255}));
    EXPECT_EQ(decode(tgaFile(3, 1, 1, 16, 8, {90, 33})), (Bytes{90, 90, 90, 33}));
    // 15/16-bit: 0x7c00 red, 0x03e0 green, 0x801f blue with the alpha bit.
    EXPECT_EQ(decode(tgaFile(2, 3, 1, 16, 1, {0x00, 0x7c, 0xe0, 0x03, 0x1f, 0x80})),
              (Bytes{255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 255}));
    EXPECT_EQ(decode(tgaFile(2, 1, 1, 15, 0, {0x10, 0x42})), (Bytes{132, 132, 132, 255}));
    EXPECT_EQ(decode(tgaFile(2, 1, 1, 16, 0, {0x00, 0x7c})), (Bytes{255, 0, 0, 255}));
    EXPECT_EQ(decode(tgaFile(2, 1, 1, 32, 8, {1, 2, 3, 4})), (Bytes{3, 2, 1, 4}));
    // Colour map starting at entry 5: index 5 and 6 in range, 4 and 7 black.
    EXPECT_EQ(decode(tgaFile(1, 4, 1, 8, 0, {10, 20, 30, 40, 50, 60, 5, 6, 4, 7}, 1, 5, 2, 24)),
              (Bytes{30, 20, 10, 255, 60, 50, 40, 255, 0, 0, 0, 255, 0, 0, 0, 255}));
    EXPECT_EQ(decode(tgaFile(9, 2, 1, 8, 0, {0x00, 0x7c, 129, 0}, 1, 0, 1, 16)),
              (Bytes{255, 0, 0, 255, 255, 0, 0, 255}));
    EXPECT_EQ(decode(tgaFile(1, 1, 1, 8, 0, {1, 2, 3, 4, 0}, 1, 0, 1, 32)), (Bytes{3, 2, 1, 4}));
    // Top row first (bit 5) and right to left (bit 4) are both undone.
    EXPECT_EQ(decode(tgaFile(3, 1, 2, 8, 0x20, {1, 2})), (Bytes{2, 2, 2, 255, 1, 1, 1, 255}));
    EXPECT_EQ(decode(tgaFile(3, 2, 1, 8, 0x10, {1, 2})), (Bytes{2, 2, 2, 255, 1, 1, 1, 255}));
    EXPECT_EQ(decode(tgaFile(3, 0, 1, 8, 0, {})), Bytes());
    // A short run-length file may not claim more than 16384 pixels a side.
    Bytes runs;
    for (int i = 0; i < 160; i++)
        runs.insert(runs.end(), {255, 9});
    EXPECT_EQ(decode(tgaFile(11, 16384, 1, 8, 0, runs)).size(), 16384u * 4);
    EXPECT_EQ(decode(tgaFile(11, 16385, 1, 8, 0, runs)), Bytes());
}

TEST(TgaDecode, GreyColourMapsGiveGreyPixels)
{
    // Map entries 1..3 hold greys 10, 200, 77; index 0 lies before the map: black.
    EXPECT_EQ(decode(tgaFile(1, 4, 1, 8, 0, {10, 200, 77, 3, 1, 2, 0}, 1, 1, 3, 8)),
              (Bytes{77, 77, 77, 255, 10, 10, 10, 255, 200, 200, 200, 255, 0, 0, 0, 255}));
    // Run-length: 129 = two copies of index 1, then a raw packet of index 0.
    EXPECT_EQ(decode(tgaFile(9, 3, 1, 8, 0, {5, 250, 129, 1, 0, 0}, 1, 0, 2, 8)),
              (Bytes{250, 250, 250, 255, 250, 250, 250, 255, 5, 5, 5, 255}));
    // The map is read as it stands, no red-blue swap on one-byte entries.
    TgaFile* tga;
    TgaData data;
    ASSERT_EQ(readTga(tgaFile(1, 1, 1, 8, 0, {10, 20, 30, 2}, 1, 0, 3, 8), &tga, &data), TgaSuccess);
    ASSERT_TRUE(data.flags & TgaColorMapRead);
    EXPECT_EQ(Bytes(data.colorMap, data.colorMap + 3), (Bytes{10, 20, 30}));
    EXPECT_EQ(data.pixels[0], 2);
    release(tga, &data);
}

TEST(TgaDecode, MapBytesAreSkippedEvenWithoutAMap)
{
    // Map type 0 but two 24-bit entries described: six bytes before the pixels.
    EXPECT_EQ(decode(tgaFile(2, 1, 1, 24, 0, {9, 9, 9, 9, 9, 9, 1, 2, 3}, 0, 0, 2, 24)),
              (Bytes{3, 2, 1, 255}));
    // Three 15-bit entries (two bytes each) before grey pixels.
    EXPECT_EQ(decode(tgaFile(3, 2, 1, 8, 0, {1, 1, 1, 1, 1, 1, 40, 80}, 0, 0, 3, 15)),
              (Bytes{40, 40, 40, 255, 80, 80, 80, 255}));
    // One 32-bit entry before a run-length packet; the first index does not matter.
    EXPECT_EQ(decode(tgaFile(10, 2, 1, 24, 0, {0xaa, 0xaa, 0xaa, 0xaa, 129, 1, 2, 3}, 0, 7, 1, 32)),
              (Bytes{3, 2, 1, 255, 3, 2, 1, 255}));
    // An image id comes first, then the skipped map.
    Bytes withId = tgaFile(3, 1, 1, 8, 0, {'i', 'd', 5, 5, 66}, 0, 0, 2, 8);
    withId[0] = 2;
    EXPECT_EQ(decode(withId), (Bytes{66, 66, 66, 255}));
    // A file shorter than the map it describes plus its pixels fails.
    std::string report;
    TgaFile* tga;
    TgaData data;
    EXPECT_EQ(readTga(tgaFile(2, 1, 1, 24, 0, {1, 2, 3}, 0, 0, 100, 24), &tga, &data, &report), TgaReadFailed);
    EXPECT_NE(report.find("Libtga:common/libtga-1.0.1/src/tgaread:70: Read failed\n"), std::string::npos) << report;
    release(tga, &data);
}

// ---- textures -----------------------------------------------------------------------

static Bytes encodeJpeg(int width, int height, int components, const Bytes& samples, int quality = 100)
{
    jpeg_compress_struct encoder;
    jpeg_error_mgr error;
    encoder.err = jpeg_std_error(&error);
    jpeg_create_compress(&encoder);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&encoder, &out, &size);
    encoder.image_width = width;
    encoder.image_height = height;
    encoder.input_components = components;
    encoder.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&encoder);
    jpeg_set_quality(&encoder, quality, TRUE);
    jpeg_start_compress(&encoder, TRUE);
    while (encoder.next_scanline < encoder.image_height) {
        JSAMPROW row = (JSAMPROW)&samples[(size_t)encoder.next_scanline * width * components];
        jpeg_write_scanlines(&encoder, &row, 1);
    }
    jpeg_finish_compress(&encoder);
    Bytes bytes(out, out + size);
    jpeg_destroy_compress(&encoder);
    free(out);
    return bytes;
}

static Bytes textureBytes(int name, int width, int height)
{
    Bytes out((size_t)width * height * 4);
    glBindTexture(GL_TEXTURE_2D, (GLuint)name);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    return out;
}

TEST(Texture, TgaUploadsRgbaBottomRowFirst)
{
    if (!testGLContext(64, 64))
        GTEST_SKIP() << "no display for a GL context";
    std::string dir = makeTempDir("tex_tga");
    writeBytes(dir + "/rgb.tga", tgaFile(2, 1, 2, 24, 0x20, {1, 2, 3, 4, 5, 6}));
    writeBytes(dir + "/rgba.tga", tgaFile(2, 1, 1, 32, 8, {10, 20, 30, 40}));
    writeBytes(dir + "/bad.tga", tgaFile(2, 1, 1, 12, 0, {0, 0}));
    int slot = 77;
    int name = loadTgaTexture((dir + "/rgb.tga").c_str(), &slot);
    ASSERT_GT(name, 0);
    EXPECT_EQ(slot, name);
    EXPECT_EQ(textureBytes(name, 1, 2), (Bytes{6, 5, 4, 255, 3, 2, 1, 255}));
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
    EXPECT_EQ(value, GL_LINEAR_MIPMAP_LINEAR);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
    EXPECT_EQ(value, GL_REPEAT);
    name = loadTgaTexture((dir + "/rgba.tga").c_str(), nullptr);
    EXPECT_EQ(textureBytes(name, 1, 1), (Bytes{30, 20, 10, 40}));
    freeTexture(&name);
    EXPECT_FALSE(glIsTexture((GLuint)name));

    slot = 77;
    size_t from = logSize();
    testing::internal::CaptureStderr();
    EXPECT_EQ(loadTgaTexture((dir + "/bad.tga").c_str(), &slot), -1);
    EXPECT_EQ(loadTgaTexture((dir + "/none.tga").c_str(), &slot), -1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(slot, 77);
    EXPECT_NE(logSince(from).find("Can't find file <" + dir + "/none.tga>\n"), std::string::npos);
    EXPECT_NE(logSince(from).find("bad.tga> cannot be decoded"), std::string::npos);
}

TEST(Texture, JpegDecodesWholeFilesAndSurvivesBadOnes)
{
    if (!testGLContext(64, 64))
        GTEST_SKIP() << "no display for a GL context";
    std::string dir = makeTempDir("tex_jpeg");
    // Grey 2 x 2: top row 10 60, bottom row 200 250; uploaded top row last.
    writeBytes(dir + "/grey.jpg", encodeJpeg(2, 2, 1, {10, 60, 200, 250}));
    int slot = -1;
    int name = loadJpegTexture((dir + "/grey.jpg").c_str(), &slot);
    ASSERT_GT(name, 0);
    EXPECT_EQ(slot, name);
    Bytes grey = textureBytes(name, 2, 2);
    const int expected[4] = {200, 250, 10, 60};
    for (int i = 0; i < 4; i++) {
        EXPECT_NEAR(grey[4 * i], expected[i], 3) << i;
        EXPECT_EQ(grey[4 * i + 1], grey[4 * i]);
        EXPECT_EQ(grey[4 * i + 2], grey[4 * i]);
        EXPECT_EQ(grey[4 * i + 3], 255);
    }

    // CMYK as Adobe writers store it (inverted: 255 is no ink) becomes RGB.
    Bytes cmyk;
    for (int i = 0; i < 64; i++)
        cmyk.insert(cmyk.end(), {200, 100, 255, 128});
    Bytes cmykFile = encodeJpeg(8, 8, 4, cmyk);
    Image image = {0, 0, nullptr};
    ASSERT_EQ(decodeJpegMemory(cmykFile.data(), cmykFile.size(), &image, "cmyk.jpg"), 1);
    EXPECT_NEAR(image.pixels[0], 100, 3);
    EXPECT_NEAR(image.pixels[1], 50, 3);
    EXPECT_NEAR(image.pixels[2], 128, 3);
    EXPECT_EQ(image.pixels[3], 255);
    free(image.pixels);

    // A file above 3 MiB whose last rows (the bottom of the picture) are red.
    const int width = 1600, height = 1600;
    Bytes noise((size_t)width * height * 3);
    srand(7);
    for (size_t i = 0; i < noise.size(); i++)
        noise[i] = (uint8_t)rand();
    for (int y = height - 16; y < height; y++)
        for (int x = 0; x < width; x++) {
            uint8_t* p = &noise[((size_t)y * width + x) * 3];
            p[0] = 220; p[1] = 30; p[2] = 30;
        }
    Bytes big = encodeJpeg(width, height, 3, noise);
    ASSERT_GT(big.size(), 3u << 20);
    ASSERT_EQ(decodeJpegMemory(big.data(), big.size(), &image, "big.jpg"), 1);
    EXPECT_NEAR(image.pixels[4 * (width / 2)], 220, 4);
    EXPECT_NEAR(image.pixels[4 * (width / 2) + 1], 30, 4);
    free(image.pixels);

    // Damaged data and a forged size: logged, -1, the slot untouched.
    Bytes forged = encodeJpeg(2, 2, 1, {1, 2, 3, 4});
    for (size_t i = 0; i + 8 < forged.size(); i++)
        if (forged[i] == 0xff && forged[i + 1] == 0xc0) {
            forged[i + 5] = 0x4e; forged[i + 6] = 0x20; // 20000 rows
            break;
        }
    writeBytes(dir + "/forged.jpg", forged);
    writeBytes(dir + "/junk.jpg", Bytes{0xff, 0xd8, 0xff, 0x00, 1, 2, 3});
    writeBytes(dir + "/empty.jpg", Bytes());
    slot = 55;
    size_t from = logSize();
    EXPECT_EQ(loadJpegTexture((dir + "/forged.jpg").c_str(), &slot), -1);
    EXPECT_EQ(loadJpegTexture((dir + "/junk.jpg").c_str(), &slot), -1);
    EXPECT_EQ(loadJpegTexture((dir + "/empty.jpg").c_str(), &slot), -1);
    EXPECT_EQ(loadJpegTexture((dir + "/none.jpg").c_str(), &slot), -1);
    EXPECT_EQ(slot, 55);
    std::string log = logSince(from);
    EXPECT_NE(log.find("forged.jpg> is too large"), std::string::npos) << log;
    EXPECT_NE(log.find("junk.jpg> cannot be decoded: "), std::string::npos) << log;
    EXPECT_NE(log.find("empty.jpg> cannot be decoded: "), std::string::npos) << log;
    EXPECT_NE(log.find("Can't find file <" + dir + "/none.jpg>\n"), std::string::npos) << log;
}

TEST(Texture, LoaderChosenByTheLetterAfterTheLastDot)
{
    if (!testGLContext(64, 64))
        GTEST_SKIP() << "no display for a GL context";
    std::string dir = makeTempDir("tex_pick");
    Bytes tga = tgaFile(3, 1, 1, 8, 0, {50});
    Bytes jpeg = encodeJpeg(1, 1, 1, {50});
    for (const char* n : {"a.TGA", "b.tga", "c.x.Targa", "e.png"})
        writeBytes(dir + "/" + n, tga);
    for (const char* n : {"f.jpeg", "g.JPG", "h.png", "i.tga.jpg"})
        writeBytes(dir + "/" + n, jpeg);
    testing::internal::CaptureStderr();
    for (const char* n : {"a.TGA", "b.tga", "c.x.Targa", "f.jpeg", "g.JPG", "h.png", "i.tga.jpg"})
        EXPECT_GT(loadTexture(nullptr, (dir + "/" + n).c_str()), 0) << n;
    EXPECT_EQ(loadTexture(nullptr, (dir + "/e.png").c_str()), -1); // TGA bytes read as JPEG
    testing::internal::GetCapturedStderr();
}

// ---- files written by other programs ----------------------------------------------

// Extracts Debian's gdk-pixbuf-tests once under the working directory; returns
// its installed-tests directory, or "" when the package cannot be fetched.
static std::string gdkPixbufTests()
{
    static std::string root;
    static int tried = 0;
    const std::string dir = "gdk-pixbuf-tests";
    const std::string tests = dir + "/x/usr/libexec/installed-tests/gdk-pixbuf";
    if (!tried) {
        tried = 1;
        if (runCommand("test -d " + tests + "/test-images/reftests/tga") != 0)
            runCommand("rm -rf " + dir + " && mkdir -p " + dir + " && cd " + dir +
                       " && apt-get download -q gdk-pixbuf-tests >/dev/null 2>&1"
                       " && dpkg-deb -x gdk-pixbuf-tests_*.deb x && rm -f gdk-pixbuf-tests_*.deb");
        if (runCommand("test -d " + tests + "/test-images/reftests/tga") == 0)
            root = tests;
    }
    return root;
}

#define REQUIRE_GDK_FILES(var)                                                                   \
    std::string var = gdkPixbufTests();                                                          \
    if (var.empty())                                                                             \
        GTEST_SKIP() << "gdk-pixbuf-tests could not be fetched (apt-get download + dpkg-deb -x)"

// Compares a bottom-up RGBA image with a top-down reference PNG; returns the
// largest channel difference (alpha 0 pixels compare their alpha only).
static int compareWithPng(const Image& image, const std::string& png)
{
    int w = 0, h = 0, n = 0;
    unsigned char* ref = stbi_load(png.c_str(), &w, &h, &n, 4);
    if (!ref || w != image.width || h != image.height) {
        stbi_image_free(ref);
        return 1000;
    }
    int worst = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const unsigned char* a = image.pixels + ((size_t)(h - 1 - y) * w + x) * 4;
            const unsigned char* b = ref + ((size_t)y * w + x) * 4;
            int channels = (a[3] == 0 && b[3] == 0) ? 0 : 3;
            for (int c = 0; c <= channels; c++)
                worst = std::max(worst, abs(a[c == channels ? 3 : c] - b[c == channels ? 3 : c]));
        }
    stbi_image_free(ref);
    return worst;
}

TEST(GdkPixbufFiles, EveryReferenceTgaDecodesToItsPng)
{
    REQUIRE_GDK_FILES(root);
    std::string refs = root + "/test-images/reftests";
    std::vector<std::string> names;
    FILE* list = popen(("ls " + refs + "/tga/*.tga " + refs + "/*.tga").c_str(), "r");
    char line[512];
    while (list && fgets(line, sizeof line, list)) {
        line[strcspn(line, "\n")] = 0;
        names.push_back(line);
    }
    if (list)
        pclose(list);
    ASSERT_EQ(names.size(), 47u); // 44 of every kind and orientation, 3 damaged ones
    for (const std::string& name : names) {
        Image image = {0, 0, nullptr};
        ASSERT_EQ(decodeTgaFile(name.c_str(), &image), 1) << name;
        int tolerance = name.find("-16bpp") != std::string::npos && name.find("gray") == std::string::npos;
        EXPECT_LE(compareWithPng(image, name + ".ref.png"), tolerance) << name;
        free(image.pixels);
    }
}

TEST(GdkPixbufFiles, HostileFilesFailCleanly)
{
    REQUIRE_GDK_FILES(root);
    std::string images = root + "/test-images";
    testing::internal::CaptureStderr();
    for (const char* name : {"fail/colormap-image-without-colormap.tga", "fail/empty-file.tga",
                             "fail/overflow.tga", "fail/androstanRezeptor.tga", "fail/DoS.tga"}) {
        Image image = {0, 0, nullptr};
        EXPECT_EQ(decodeTgaFile((images + "/" + name).c_str(), &image), 0) << name;
        EXPECT_EQ(image.pixels, nullptr);
    }
    // Randomly damaged files: any outcome but a crash or a bad access.
    for (const char* name : {"randomly-modified/valid.1.tga", "randomly-modified/valid.2.tga"}) {
        Image image = {0, 0, nullptr};
        if (decodeTgaFile((images + "/" + name).c_str(), &image))
            free(image.pixels);
    }
    for (const char* name : {"fail/CVE-2017-2862.jpg", "randomly-modified/valid.1.jpeg",
                             "randomly-modified/valid.2.jpeg", "randomly-modified/bug775697.jpg",
                             "../premature-end.jpg", "../issue70.jpg", "../bug775218.jpg"}) {
        unsigned char* data = nullptr;
        size_t size = 0;
        ASSERT_EQ(readWholeFile((images + "/" + name).c_str(), &data, &size), 1) << name;
        Image image = {0, 0, nullptr};
        if (decodeJpegMemory(data, size, &image, nullptr))
            free(image.pixels);
        free(data);
    }
    testing::internal::GetCapturedStderr();
}

TEST(GdkPixbufFiles, ReferenceJpegMatchesItsPng)
{
    REQUIRE_GDK_FILES(root);
    std::string name = root + "/test-images/reftests/cat.jpg";
    unsigned char* data = nullptr;
    size_t size = 0;
    ASSERT_EQ(readWholeFile(name.c_str(), &data, &size), 1);
    Image image = {0, 0, nullptr};
    ASSERT_EQ(decodeJpegMemory(data, size, &image, name.c_str()), 1);
    EXPECT_LE(compareWithPng(image, name + ".ref.png"), 2);
    free(image.pixels);
    free(data);
}
