// The loading screen: the show's table from a small data directory (log lines,
// the bar, slots, release), and a table whose files are all missing.
#include "app/loading.h"
#include "app/phases.h"
#include "assets/assets.h"
#include "render/render.h"
#include "show/show_local.h"
#include "sync/sync.h"
#include "support/gl_context.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <fstream>
#include <string>
#include <vector>

// ---- helpers -------------------------------------------------------------------

static void writeText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// A 2 × 2 uncompressed 32-bit TGA.
static void writeTga(const std::string& path)
{
    unsigned char header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 8};
    unsigned char pixels[16];
    for (int i = 0; i < 16; i++) pixels[i] = (unsigned char)(40 * i);
    std::ofstream out(path, std::ios::binary);
    out.write((const char*)header, sizeof(header));
    out.write((const char*)pixels, sizeof(pixels));
}

static const char* triangleBof = "BOF1\n3 1\n0 0 0\n0 0 0 -1 0 0\n1 2 0 -1 1 0\n2 0 2 -1 0 1\n0 0 1 2\n";
static const char* goodVertex = "#version 100\nattribute vec3 vpos;uniform mat4 matM, matP;\n"
                                "void main(){ gl_Position = matP * matM * vec4(vpos, 1.0); }";
static const char* goodFragment = "#version 100\nprecision mediump float;\nvoid main(){ gl_FragColor = vec4(1.0); }";
static const char* brokenFragment =
    "#version 100\nprecision mediump float;\nvoid main(){ gl_FragColor = vec4(1.0) +; }";

static int barCovers(int width, int row, float fraction)
{
    std::vector<unsigned char> line = readPixels(0, row, width, 1);
    int last = -1;
    for (int x = 0; x < width; x++) {
        const unsigned char* p = &line[x * 4];
        if (p[0] == 255 && p[1] == 238 && p[2] == 170) last = x;
    }
    return last + 1 >= (int)(fraction * width) - 1 ? last + 1 : -(last + 1);
}

TEST(LoadResources, BuiltInTableFromSmallDataDirectory)
{
    if (!testGLContext(200, 200)) GTEST_SKIP() << "no display";
    InDirectory here("resources_builtin");
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, 200, 200);
    windowWidth = windowHeight = 200;
    setCameraAspect(200, 200);
    createDefaultShader();
    writeText("data/env.vs", goodVertex);
    writeText("data/env.fs", goodFragment);
    writeText("data/light.vs", goodVertex);
    writeText("data/light.fs", goodFragment);
    writeText("data/nrm_lite.vs", goodVertex);
    writeText("data/nrm_lite.fs", brokenFragment);
    writeText("data/bill.bof", triangleBof);
    writeText("data/log.bof", triangleBof);
    writeTga("data/jug_light.tga");

    activeResourceTable = resourceTable;
    demoConfig = &builtinConfig;
    loadResources();
    EXPECT_EQ(barCovers(200, 66, 1.0f), 200);   // the last bar spans the width

    std::string log = readFile("demo.log");
    EXPECT_EQ(91, countOf(log, "loading <"));
    size_t first = log.find("loading <");
    EXPECT_EQ(log.compare(first, 24, "loading <env.vs|env.fs>\n"), 0);
    EXPECT_NE(log.find("loading <post.vs|drunk.fs>\n"), std::string::npos);
    EXPECT_NE(log.find("loading <post_uv.vs|color_contrast.fs>\n"), std::string::npos);
    size_t last = log.rfind("loading <");
    size_t complete = log.find("loading complete!\n");
    size_t processed = log.find("data processing complete!\n");
    size_t separator = log.find(" --------------------------------------------------\n");
    ASSERT_NE(complete, std::string::npos);
    ASSERT_NE(processed, std::string::npos);
    ASSERT_NE(separator, std::string::npos);
    EXPECT_LT(last, complete);
    EXPECT_LT(complete, processed);
    EXPECT_LT(processed, separator);
    EXPECT_NE(log.find("file <./data/jug.baf> not found"), std::string::npos);
    // The first bar on screen is a phase of its own, logged once, after the
    // loading lines (which stay free of times) and before the resources.
    size_t bar = log.find("Start-up phase loading bar");
    ASSERT_NE(bar, std::string::npos);
    EXPECT_EQ(countOf(log, "Start-up phase loading bar"), 1);
    EXPECT_LT(complete, bar);
    EXPECT_LT(bar, log.find("Start-up phase resources", bar));
    EXPECT_NE(log.find("Start-up phase resources", bar), std::string::npos);

    // A mesh without a texture part: slot 0 stays empty, row 34 fills slot 1.
    EXPECT_EQ(res.billMesh.vertexCount, 3u);
    EXPECT_EQ(res.billMesh.textures[0], -1);
    EXPECT_GT(res.billMesh.textures[1], 0);
    EXPECT_TRUE(glIsTexture((GLuint)res.billMesh.textures[1]));
    EXPECT_GT(res.progLight, 0);
    EXPECT_EQ(res.billMesh.program, res.progLight);
    // A failed shader row hands its meshes program 0; the hook halved the log.
    EXPECT_EQ(res.progNrmLite, 0);
    EXPECT_EQ(res.logMesh.program, 0);
    EXPECT_EQ(res.logMesh.vertices[1].x, 1.0f);
    EXPECT_EQ(res.logMesh.vertices[2].z, 0.5f);   // stored −z of −1, halved
    // A missing mesh keeps its zero-filled record but gets its link; later
    // texture rows still land in its slots, missing ones leave them alone.
    EXPECT_EQ(res.jugMeshes[0].vertexCount, 0u);
    EXPECT_GT(res.progEnv, 0);
    EXPECT_EQ(res.jugMeshes[0].program, res.progEnv);
    EXPECT_EQ(res.jugMeshes[0].textures[1], 0);
    EXPECT_GT(res.jugMeshes[0].textures[2], 0);
    EXPECT_NE(res.jugMeshes[0].textures[2], res.billMesh.textures[1]);   // each row loads anew
    EXPECT_EQ(res.progCar, -1);                                          // missing shader files

    // Release: every row freed; slot textures of a mesh go too.
    int billLight = res.billMesh.textures[1], light = res.progLight;
    releaseResources();
    EXPECT_EQ(res.billMesh.vertexCount, 0u);
    EXPECT_EQ(res.billMesh.vertices, nullptr);
    EXPECT_EQ(res.billMesh.textures[1], -1);
    EXPECT_FALSE(glIsTexture((GLuint)billLight));
    EXPECT_FALSE(glIsProgram((GLuint)light));
    releaseResources();   // a second walk finds nothing to free
}

static int hookRuns;
static void countingHook(void) { hookRuns++; }

// Rows whose files are all missing (or whose names do not fit) only log; the
// bar still reaches the full width and the hook still runs.
TEST(LoadResources, MissingFilesOnlyLog)
{
    if (!testGLContext(200, 200)) GTEST_SKIP() << "no display";
    InDirectory here("resources_missing");
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, 200, 200);
    static int program = 5, texture = 7;
    static Mesh mesh;
    static ResourceEntry table[] = {
        {&program, "none.vs|none.fs", nullptr, ShaderRow, 0},
        {&mesh, "none.bof|none.jpg", &program, MeshRow, 0},
        {&texture, "none.tga", nullptr, TextureRow, 0},
        {&texture, nullptr, nullptr, TextureRow, 0},   // a name too long for any path buffer, below
        {nullptr, nullptr, nullptr, 0, 0},
    };
    static std::string tooLong = std::string(DataPathSize, 'x') + ".jpg";
    table[3].spec = tooLong.c_str();
    DemoConfig config = builtinConfig;
    config.dataHook = countingHook;
    demoConfig = &config;
    activeResourceTable = table;
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    hookRuns = 0;
    loadResources();
    activeResourceTable = resourceTable;
    demoConfig = &builtinConfig;
    EXPECT_EQ(barCovers(200, 66, 1.0f), 200);
    EXPECT_EQ(hookRuns, 1);
    EXPECT_EQ(program, -1);
    EXPECT_EQ(mesh.program, -1);
    EXPECT_EQ(mesh.vertexCount, 0u);
    EXPECT_EQ(texture, 7);
    std::string log = readFile("demo.log");
    EXPECT_EQ(4, countOf(log, "loading <"));
    EXPECT_NE(log.find("does not fit"), std::string::npos);
    EXPECT_NE(log.find("data processing complete!\n"), std::string::npos);
}

// Rows share one decoding only when they name the same file: "p.t" is not the
// start of "p.tga" (both read as TGA), so each row gets its own file's texel.
TEST(LoadResources, RowsShareOnlyTheSameFileName)
{
    if (!testGLContext(200, 200)) GTEST_SKIP() << "no display";
    InDirectory here("resources_names");
    const unsigned char red[21] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 24, 0, 0, 0, 255};
    unsigned char blue[21];
    memcpy(blue, red, sizeof blue);
    blue[18] = 255;   // BGR: blue first
    blue[20] = 0;
    std::ofstream("data/p.t", std::ios::binary).write((const char*)red, sizeof red);
    std::ofstream("data/p.tga", std::ios::binary).write((const char*)blue, sizeof blue);
    static int shorter = -1, longer = -1;
    static ResourceEntry table[] = {
        {&shorter, "p.t", nullptr, TextureRow, 0},
        {&longer, "p.tga", nullptr, TextureRow, 0},
        {nullptr, nullptr, nullptr, 0, 0},
    };
    DemoConfig noHook = builtinConfig;   // a show without a data hook loads too
    noHook.dataHook = nullptr;
    demoConfig = &noHook;
    activeResourceTable = table;
    loadResources();
    activeResourceTable = resourceTable;
    demoConfig = &builtinConfig;
    const int slots[2] = {shorter, longer};
    const unsigned char expected[2][4] = {{255, 0, 0, 255}, {0, 0, 255, 255}};
    for (int row = 0; row < 2; row++) {
        ASSERT_GT(slots[row], 0) << "row " << row;
        unsigned char texel[4] = {};
        glBindTexture(GL_TEXTURE_2D, (GLuint)slots[row]);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
        EXPECT_EQ(memcmp(texel, expected[row], 4), 0)
            << "row " << row << ": " << (int)texel[0] << " " << (int)texel[1] << " " << (int)texel[2];
        GLuint name = (GLuint)slots[row];
        glDeleteTextures(1, &name);
    }
}

// A phase noted without a line (the first bar, amid the loading lines) is
// logged by the next mark, first and with its own end: its time, the next
// phase's time from that end, both totals from the first phase's start.
TEST(StartUpPhases, ANotedPhaseIsLoggedAtItsOwnEnd)
{
    InDirectory here("phases_noted");
    size_t mark = readFile("demo.log").size();
    beginPhases();
    usleep(30000);
    notePhaseEnd("noted");
    usleep(300000);
    markPhase("next");
    markPhase("last");
    std::string log = readFile("demo.log").substr(mark);
    double ms[3] = {}, total[3] = {};
    const char* names[3] = {"noted", "next", "last"};
    size_t at = 0;
    for (int i = 0; i < 3; i++) {
        size_t line = log.find(std::string("Start-up phase ") + names[i] + " ", at);
        ASSERT_NE(line, std::string::npos) << names[i] << " after offset " << at << "\n" << log;
        ASSERT_EQ(sscanf(log.c_str() + line + 29, "%lf ms (total %lf", &ms[i], &total[i]), 2) << log;
        at = line;
    }
    EXPECT_EQ(countOf(log, "Start-up phase noted"), 1);
    EXPECT_GE(ms[0], 30.0);
    EXPECT_LT(ms[0], 330.0);   // not until the mark that logged it: 30 + 300 ms
    EXPECT_GE(ms[1], 300.0);
    EXPECT_NEAR(total[0], ms[0], 0.11);
    EXPECT_NEAR(total[1], total[0] + ms[1], 0.11);
    EXPECT_NEAR(total[2], total[1] + ms[2], 0.11);
}

// ---- mesh processing -----------------------------------------------------------------
