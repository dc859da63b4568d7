// Scenes 1 to 4 with the show's own data: shader pairs and their inputs, the
// uniforms the scenes queue, small renders, and the bokeh skipped when sharp.
#include "show/show_local.h"
#include "show/fixture.h"
#include "support/gl_context.h"
#include "support/show_data.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <string>
#include <vector>

static const int RecordWidth = 96, RecordHeight = 54;

// Every pair compiles and links under the engine's rules, and keeps active the
// samplers and uniforms its scenes fill (a uniform the compiler dropped would
// silently ignore what the scene queues).
TEST(SceneShaders, PairsLinkAndKeepTheirInputs)
{
    ASSERT_TRUE(useSceneBuffers(RecordWidth, RecordHeight));
    struct Pair {
        const char* vs;
        const char* fs;
        const char* inputs[8];
    } pairs[] = {
        {"env.vs", "env.fs", {"tex0", "tex1", "tex2", "matM", "matP", "matN"}},
        {"splash.vs", "splash.fs", {"tex0", "tex1", "matM", "matP", "matN"}},
        {"nrm_lite.vs", "nrm_lite.fs", {"tex0", "tex1", "tex2", "matM", "matP", "matN"}},
        {"light.vs", "light.fs", {"tex0", "tex1", "matM", "matP", "matN"}},
        {"light.vs", "bills.fs", {"tex0", "tex1", "tex2", "matM", "matP", "matN"}},
        {"still.vs", "still.fs", {"tex0", "tex1", "tex2", "matM", "matP", "matN"}},
        {"env_scale.vs",
         "firehighlight.fs",
         {"tex0", "iGlobalTime", "factorTex", "factorBlend", "scale", "alphafactor", "matP"}},
    };
    for (const Pair& pair : pairs) {
        std::string vs = std::string(KESTREL_SOURCE_DIR) + "/data/" + pair.vs;
        std::string fs = std::string(KESTREL_SOURCE_DIR) + "/data/" + pair.fs;
        int program = createShaderProgram(vs.c_str(), fs.c_str(), 0);
        ASSERT_GT(program, 0) << pair.vs << "|" << pair.fs;
        GLint linked = 0;
        glGetProgramiv((GLuint)program, GL_LINK_STATUS, &linked);
        EXPECT_EQ(linked, GL_TRUE) << pair.vs << "|" << pair.fs;
        for (const char* name : pair.inputs) {
            if (!name) break;
            EXPECT_GE(glGetUniformLocation((GLuint)program, name), 0) << pair.fs << ": " << name;
        }
        EXPECT_GE(glGetAttribLocation((GLuint)program, "vpos"), 0) << pair.vs;
        glDeleteProgram((GLuint)program);
    }
}

// ---- the show's own data: uniforms that reach the programs, small renders ----------

// The show's data, loaded once (support); false (and the test fails) when the
// data was not generated.
static bool showData(void)
{
    static int state = -1;
    if (state >= 0) return state == 1;
    state = loadShowData(RecordWidth, RecordHeight);
    return state == 1;
}

TEST(SceneUniforms, ProgramsReceiveWhatTheScenesQueue)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    ASSERT_GT(res.progFire, 0);
    ASSERT_GT(res.progBokeh, 0);
    tweakMode = -1;

    // A lift left in the shared program (as scene 5 leaves one) must not carry over.
    glUseProgram((GLuint)res.progContrast);
    glUniform3f(glGetUniformLocation((GLuint)res.progContrast, "lift"), 0.1f, 0.2f, 0.1f);
    glUseProgram(0);
    setTracks(0.0f, 1.0f, 0.5f, 0.1f, 0.3f);
    scenes2And3(1, 12.5f, 1.0f, 0.5f);
    EXPECT_FLOAT_EQ(uniformValue(res.progFire, "iGlobalTime"), 12.5f);
    EXPECT_FLOAT_EQ(uniformValue(res.progFire, "factorTex"), 1.0f);
    EXPECT_FLOAT_EQ(uniformValue(res.progFire, "factorBlend"), 0.0f);
    EXPECT_FLOAT_EQ(uniformValue(res.progFire, "scale"), 1.05f);   // the second shell last
    EXPECT_FLOAT_EQ(uniformValue(res.progFire, "alphafactor"), 0.4f);
    EXPECT_FLOAT_EQ(uniformValue(res.progDrunk, "time"), 0.3f);   // post2, not the clock
    EXPECT_FLOAT_EQ(uniformValue(res.progDrunk, "con"), 0.8f);    // it corrects as it reads
    EXPECT_FLOAT_EQ(uniformValue(res.progDrunk, "lum"), 0.0f);
    EXPECT_FLOAT_EQ(uniformValue(res.progBokeh, "highlight"), 0.3f);
    EXPECT_FLOAT_EQ(uniformValue(res.progBokeh, "intensity"), 20.0f);
    EXPECT_FLOAT_EQ(uniformValue(res.progBokeh, "scale"), 0.1f);   // narrow window
    // Without the distortion the correction program alone, its lift put back to none.
    setTracks(0.0f, 1.0f, 0.5f, 0.1f, 0.0f);
    scenes2And3(1, 12.5f, 1.0f, 0.5f);
    EXPECT_FLOAT_EQ(uniformValue(res.progContrast, "con"), 0.8f);   // gamma 1: no exponent
    float lift[3] = {-1, -1, -1};
    glGetUniformfv((GLuint)res.progContrast, glGetUniformLocation((GLuint)res.progContrast, "lift"), lift);
    EXPECT_EQ(lift[0] + lift[1] + lift[2], 0.0f);

    // The bokeh radius doubles on windows wider than 1024 pixels.
    int savedWidth = windowWidth;
    windowWidth = 1025;
    scene1(0.5f);
    EXPECT_FLOAT_EQ(uniformValue(res.progBokeh, "scale"), 0.2f);
    windowWidth = 1024;
    scene1(0.5f);
    EXPECT_FLOAT_EQ(uniformValue(res.progBokeh, "scale"), 0.1f);
    windowWidth = savedWidth;
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// Scenes 2 and 3's correction and distortion on a flat picture of (100, 200,
// 240), worked out by hand: contrast 0.8 about mid grey gives (105.5, 185.5,
// 217.5); on a flat picture the ghost is that times (1.04, 1, 0.92), (109.7,
// 185.5, 200.1), mixed over it by 0.85 x min(strength, 1).
TEST(SceneRenders, DistortionCorrectsAndMixesItsGhostOverTheSharpPicture)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    const struct {
        float strength, expected[3];
    } cases[] = {{0.0f, {105.5f, 185.5f, 217.5f}},
                 {0.5f, {107.3f, 185.5f, 210.1f}},
                 {1.0f, {109.1f, 185.5f, 202.7f}},
                 {2.0f, {109.1f, 185.5f, 202.7f}}};
    for (const auto& c : cases) {
        bindRenderTarget(fullTarget);
        glClearColor(100.0f / 255.0f, 200.0f / 255.0f, 240.0f / 255.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        unbindRenderTarget(fullTarget);
        gradeAndDistort(c.strength);
        std::vector<unsigned char> out = readTargetPixels(sceneTarget);
        ASSERT_GE(out.size(), (size_t)4);
        for (size_t i = 0; i < out.size(); i += 4 * 97)
            for (int ch = 0; ch < 3; ch++)
                EXPECT_NEAR(out[i + ch], c.expected[ch], 1.0f) << "strength " << c.strength << " channel " << ch;
    }
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

struct Shot {
    const char* name;
    int scene;   // 1 to 4
    float part, var0, var1, post1, post2;
};

static void drawShot(const Shot& s)
{
    setTracks(s.part, s.var0, s.var1, s.post1, s.post2);
    switch (s.scene) {
    case 1: scene1(s.var0); break;
    case 2: scenes2And3(0, 20.0f + s.var0, s.var0, s.var1); break;
    case 3: scenes2And3(1, 30.0f + s.var0, s.var0, s.var1); break;
    default: scene4(s.var0); break;
    }
}

// Frames along each scene's course, as the show's tracks drive it.
static const Shot shots[] = {
    {"jug in pieces, fading in", 1, 0, 0.0f, 0, 0.25f, 0.7f},
    {"jug reassembling", 1, 0, 0.5f, 0, 0.05f, 1.0f},
    {"jug whole, key 1", 1, 0, 1.0f, 0, 0.0f, 1.0f},
    {"low by the log", 1, 0, 2.0f, 0, 0.0f, 1.0f},
    {"the jug's top", 1, 0, 3.0f, 0, 0.0f, 1.0f},
    {"the jug's base", 1, 0, 3.99f, 0, 0.0f, 1.0f},
    {"still, key 0", 2, 0, 0.0f, 0, 0.06f, 0.0f},
    {"still, key 1", 2, 0, 1.0f, 0, 0.0f, 0.0f},
    {"still, key 2", 2, 0, 2.0f, 0, 0.0f, 0.0f},
    {"bottles rising", 3, 0, 2.5f, 0.4f, 0.0f, 0.5f},
    {"bottles up, key 3", 3, 0, 3.0f, 1.0f, 0.0f, 1.0f},
    {"wide, key 4", 3, 0, 3.99f, 1.0f, 0.08f, 2.0f},
    {"intact jug, key 0", 4, 0, 0.0f, 0.0f, 0, 0},
    {"jug bursting, key 2", 4, 0, 2.0f, 0.5f, 0, 0},
    {"bills out, key 3", 4, 0, 3.0f, 1.0f, 0, 0},
    {"part 4, spreading on", 4, 4.0f, 4.0f, 0.5f, 0, 0},
    {"part 5.99", 4, 5.99f, 4.0f, 1.0f, 0, 0},
};

TEST(SceneRenders, EveryScenePaintsADistinctPictureWithoutGLErrors)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    tweakMode = -1;
    while (glGetError() != GL_NO_ERROR) {}
    const int pixels = RecordWidth * RecordHeight;
    std::vector<unsigned char> previous;
    for (const Shot& s : shots) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, RecordWidth, RecordHeight);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        // Twice: scenes leave earlier colour in the scene buffer where they do
        // not draw, so the second frame shows only this frame's own content.
        drawShot(s);
        drawShot(s);
        glFinish();
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << s.name;
        std::vector<unsigned char> image = readPixels(0, 0, RecordWidth, RecordHeight);

        expectLivelyPicture(image, pixels, previous, 2.0, s.name);
        previous = image;
    }
}

static void paintTarget(int index, float r, float g, float b)
{
    bindRenderTarget(index);
    glClearColor(r, g, b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    unbindRenderTarget(index);
}

static bool allOneColour(const std::vector<unsigned char>& p, unsigned char r, unsigned char g, unsigned char b)
{
    for (size_t i = 0; i + 3 < p.size(); i += 4)
        if (p[i] != r || p[i + 1] != g || p[i + 2] != b) return false;
    return !p.empty();
}

// A sharp frame (post1 0: the blur would be mixed in at alpha 0) does not draw
// the bokeh, and what the half buffer holds never reaches the picture.
TEST(SceneRenders, SharpFramesSkipTheBokehWithoutChangingThePicture)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    tweakMode = -1;
    const Shot sharp = {"sharp", 1, 0, 2.0f, 0, 0.0f, 1.0f};
    const Shot soft = {"soft", 1, 0, 2.0f, 0, 0.03f, 1.0f};
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, RecordWidth, RecordHeight);
    drawShot(sharp);
    paintTarget(halfTarget, 1.0f, 0.0f, 0.0f);
    drawShot(sharp);
    glFinish();
    std::vector<unsigned char> overRed = readPixels(0, 0, RecordWidth, RecordHeight);
    EXPECT_TRUE(allOneColour(readTargetPixels(halfTarget), 255, 0, 0)) << "the bokeh was drawn";
    paintTarget(halfTarget, 0.0f, 1.0f, 0.0f);
    drawShot(sharp);
    glFinish();
    EXPECT_TRUE(readPixels(0, 0, RecordWidth, RecordHeight) == overRed) << "the half buffer showed through";

    drawShot(soft);
    EXPECT_FALSE(allOneColour(readTargetPixels(halfTarget), 0, 255, 0)) << "a soft frame blurs into the half buffer";
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}
