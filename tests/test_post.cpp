// Post-processing: buffer pool and nesting, start-up sizes, the blur shader
// generator's weights and text, blurTarget on real pictures, and the final
// grading pass (uniforms, textures, grain offset, the whole chain on screen).
#include "post/post.h"
#include "app/app.h"
#include "assets/assets.h"
#include "render/render.h"
#include "show/show.h"
#include "sync/sync.h"
#include "support/gl_context.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <locale.h>
#include <math.h>
#include <stdlib.h>
#include <string>
#include <vector>
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

// ---- blur shader generator (no GL) --------------------------------------------

TEST(BlurGenerator, RadiiOfTheFourLevels)
{
    const float k[4] = {0.55f, 0.3f, 0.2f, 0.17f};
    const int expected[4] = {5, 9, 14, 17};
    for (int i = 0; i < 4; i++) {
        int radius = -1;
        float* w = gaussianWeights(k[i], &radius);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(radius, expected[i]) << "k " << k[i];
        float sum = 0.0f;
        for (int j = 0; j < 2 * radius + 1; j++) {
            sum += w[j];
            EXPECT_FLOAT_EQ(w[j], w[2 * radius - j]);
        }
        EXPECT_NEAR(sum, 1.0f, 1e-6);
        free(w);
    }
    int radius = 7;
    EXPECT_EQ(gaussianWeights(0.0f, &radius), nullptr);
    EXPECT_EQ(radius, 0);
}

TEST(BlurGenerator, NormalisedWeightsOfLevelZero)
{
    int radius = 0;
    float* w = gaussianWeights(0.55f, &radius);
    ASSERT_EQ(radius, 5);
    const char* expected[6] = {"0.000161", "0.002454", "0.020390", "0.092533", "0.229308", "0.310308"};
    for (int i = 0; i < 11; i++) {
        char text[32];
        snprintf(text, sizeof text, "%f", (double)w[i]);
        EXPECT_STREQ(text, expected[i <= 5 ? i : 10 - i]) << "tap " << i;
    }
    free(w);
}

static std::string levelZeroText(int vertical)
{
    int radius = 0;
    float* w = gaussianWeights(0.55f, &radius);
    char* text = blurShaderText(w, radius, vertical, 320, 180);
    free(w);
    std::string out = text ? text : "";
    free(text);
    return out;
}

TEST(BlurGenerator, HorizontalTextOfLevelZeroAt1280x720)
{
    const char* x[6] = {"-0.012693", "-0.006814", "-0.001328", "0.004023", "0.009711", "0.015625"};
    const char* s[6] = {"0.002615", "0.112923", "0.539616", "0.321841", "0.022844", "0.000161"};
    std::string expected =
        "#version 100\nprecision highp float;\nuniform sampler2D tex0;\nvarying vec2 TexCoord0;\n"
        "void main()\n{\nvec3 sum = vec3(0.0,0.0,0.0);\nvec2 texcoord;\n";
    for (int j = 0; j < 6; j++) {
        expected += std::string("texcoord = TexCoord0 + vec2(") + x[j] + ", 0.000000);\n";
        expected += std::string("sum += texture2D(tex0, texcoord).rgb*") + s[j] + ";\n";
    }
    expected += "gl_FragColor = vec4(sum, 1.0);\n}\n";
    EXPECT_EQ(levelZeroText(0), expected);
}

TEST(BlurGenerator, VerticalTextPutsOffsetsOverTheHeight)
{
    std::string text = levelZeroText(1);
    const char* y[6] = {"-0.022565", "-0.012114", "-0.002361", "0.007153", "0.017263", "0.027778"};
    size_t at = 0;
    for (int j = 0; j < 6; j++) {
        std::string line = std::string("texcoord = TexCoord0 + vec2(0.000000, ") + y[j] + ");\n";
        size_t found = text.find(line, at);
        EXPECT_NE(found, std::string::npos) << line;
        if (found != std::string::npos) at = found;
    }
    EXPECT_NE(text.find("sum += texture2D(tex0, texcoord).rgb*0.539616;\n"), std::string::npos);
}

TEST(BlurGenerator, LastFetchOfEveryLevelIsTheOuterTap)
{
    const float k[4] = {0.55f, 0.3f, 0.2f, 0.17f};
    for (int level = 0; level < 4; level++) {
        int w, h, radius;
        pyramidLevelSize(1280, 720, level, &w, &h);
        float* weights = gaussianWeights(k[level], &radius);
        char* text = blurShaderText(weights, radius, 0, w, h);
        ASSERT_NE(text, nullptr);
        std::string t = text;
        int fetches = 0;
        for (size_t at = t.find("texture2D"); at != std::string::npos; at = t.find("texture2D", at + 1)) fetches++;
        EXPECT_EQ(fetches, radius + 1) << "level " << level;
        char last[128];
        snprintf(last, sizeof last, "vec2(%f, 0.000000);\nsum += texture2D(tex0, texcoord).rgb*%f;\ngl_FragColor",
                 (double)((float)radius / (float)w), (double)weights[2 * radius]);
        EXPECT_NE(t.find(last), std::string::npos) << "level " << level << ": " << last;
        free(text);
        free(weights);
    }
}

TEST(BlurGenerator, PyramidSizesNeverDropBelowOnePixel)
{
    const int expected[4][2] = {{320, 180}, {160, 90}, {80, 45}, {40, 22}};
    for (int level = 0; level < 4; level++) {
        int w, h;
        pyramidLevelSize(1280, 720, level, &w, &h);
        EXPECT_EQ(w, expected[level][0]);
        EXPECT_EQ(h, expected[level][1]);
    }
    int w, h;
    pyramidLevelSize(1366, 768, 0, &w, &h);
    EXPECT_EQ(w, 341);
    EXPECT_EQ(h, 192);
    pyramidLevelSize(20, 12, 3, &w, &h);   // 5 x 3 halved three times
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);

    int radius;
    float* weights = gaussianWeights(0.17f, &radius);
    char* text = blurShaderText(weights, radius, 1, w, h);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text).find("inf"), std::string::npos);
    EXPECT_EQ(std::string(text).find("nan"), std::string::npos);
    free(text);
    EXPECT_EQ(blurShaderText(weights, radius, 1, 0, 5), nullptr);
    free(weights);
}

TEST(BlurGenerator, DecimalPointWhateverTheLocale)
{
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8", "nl_NL.UTF-8"};
    const char* chosen = nullptr;
    for (const char* name : names)
        if (setlocale(LC_NUMERIC, name)) { chosen = name; break; }
    if (!chosen) {
        // Build a German locale of our own when none is installed.
        std::string dir = makeTempDir("locale");
        char absolute[4096];
        if (realpath(dir.c_str(), absolute) &&
            runCommand("localedef -i de_DE -f UTF-8 '" + std::string(absolute) + "/de_DE.UTF-8' >/dev/null 2>&1") == 0) {
            setenv("LOCPATH", absolute, 1);
            if (setlocale(LC_NUMERIC, "de_DE.UTF-8")) chosen = "de_DE.UTF-8 (built)";
        }
    }
    if (!chosen) GTEST_SKIP() << "no locale with a decimal comma (localedef and the locales package missing)";
    char probe[16];
    snprintf(probe, sizeof probe, "%f", 0.5);
    std::string text = levelZeroText(0);
    setlocale(LC_NUMERIC, "C");
    EXPECT_STREQ(probe, "0,500000") << chosen;
    EXPECT_NE(text.find("vec2(-0.012693, 0.000000);"), std::string::npos);
}

// ---- GL fixtures ---------------------------------------------------------------

// Every post global, so several start-up sets can live in one test process.
struct PostState {
    int scene, full, half, small, extra, a, b;
    int source[4], blurred[4], temp[4], horizontal[4], vertical[4];
    int combine, downsample;
};

static void savePost(PostState* s)
{
    *s = {sceneTarget, fullTarget, halfTarget, smallTarget, extraTarget, blurTargetA, blurTargetB,
          {}, {}, {}, {}, {}, combineProgram, downsampleProgram};
    for (int i = 0; i < 4; i++) {
        s->source[i] = levelSource[i]; s->blurred[i] = levelBlurred[i]; s->temp[i] = levelTemp[i];
        s->horizontal[i] = blurHorizontal[i]; s->vertical[i] = blurVertical[i];
    }
}

static void restorePost(const PostState* s)
{
    sceneTarget = s->scene; fullTarget = s->full; halfTarget = s->half; smallTarget = s->small;
    extraTarget = s->extra; blurTargetA = s->a; blurTargetB = s->b;
    combineProgram = s->combine; downsampleProgram = s->downsample;
    for (int i = 0; i < 4; i++) {
        levelSource[i] = s->source[i]; levelBlurred[i] = s->blurred[i]; levelTemp[i] = s->temp[i];
        blurHorizontal[i] = s->horizontal[i]; blurVertical[i] = s->vertical[i];
    }
}

// The engine's fixed GL state (as the window sets it up).
static void engineGLState(void)
{
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CW);
    glEnable(GL_BLEND);
    setBlendMode(Opaque);
    glBlendFunc(GL_ONE, GL_ZERO);
}

// Post-processing initialised for a window of width x height, once per size.
static int usePost(int width, int height)
{
    static struct { int w, h; PostState state; } made[3];
    static int count;
    if (!testGLContext(64, 64)) return 0;
    engineGLState();
    windowWidth = width;
    windowHeight = height;
    setCameraAspect(width, height);
    for (int i = 0; i < count; i++)
        if (made[i].w == width && made[i].h == height) {
            restorePost(&made[i].state);
            return 1;
        }
    if (count == 3) return 0;
    initPostProcessing();
    made[count].w = width;
    made[count].h = height;
    savePost(&made[count].state);
    count++;
    return 1;
}

static const RenderTarget* target(int index) { return renderTargets[index]; }


// Largest channel difference; colourOnly skips alpha.
static int maxDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b,
                         int colourOnly = 0)
{
    if (a.size() != b.size()) return 256;
    int worst = 0;
    for (size_t i = 0; i < a.size(); i++) {
        if (colourOnly && i % 4 == 3) continue;
        worst = std::max(worst, abs((int)a[i] - (int)b[i]));
    }
    return worst;
}

// Mean channel difference over all four channels, in 1/255 units.
static double meanDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b)
{
    if (a.size() != b.size() || a.empty()) return 256.0;
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); i++) sum += abs((int)a[i] - (int)b[i]);
    return sum / (double)a.size();
}

// A picture with edges and gradients: bright vertical bars on a dim ramp.
static int patternTexture(int width, int height)
{
    std::vector<unsigned char> p((size_t)width * height * 4);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            unsigned char* q = &p[((size_t)y * width + x) * 4];
            int bar = (x / 8) % 3 == 0;
            q[0] = bar ? 250 : (unsigned char)(x * 255 / width / 2);
            q[1] = bar ? 220 : (unsigned char)(y * 255 / height / 2);
            q[2] = (x + y) % 16 < 8 ? 40 : 120;
            q[3] = 255;
        }
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return (int)t;
}

static void fillTarget(int index, int texture)
{
    const int textures[1] = {texture};
    bindRenderTarget(index);
    drawOverlayQuad(textures, 0.5f, 0.5f, 1.0f, 1.0f, 1, 0xFFFFFFFFu, Opaque, -1);
    unbindRenderTarget(index);
}

// ---- post buffers --------------------------------------------------------------

TEST(PostBuffers, StartUpSizesAt1280x720And1366x768)
{
    ASSERT_TRUE(usePost(1280, 720));
    struct { int index, w, h, depth; } rows1280[] = {
        {sceneTarget, 1280, 720, 1}, {fullTarget, 1280, 720, 1}, {halfTarget, 640, 360, 1},
        {smallTarget, 80, 45, 1}, {extraTarget, 1280, 720, 1}, {blurTargetA, 1280, 720, 0},
        {blurTargetB, 1280, 720, 0}, {levelSource[0], 320, 180, 0}, {levelTemp[1], 160, 90, 0},
        {levelBlurred[2], 80, 45, 0}, {levelSource[3], 40, 22, 0}, {levelBlurred[3], 40, 22, 0},
    };
    for (auto& r : rows1280) {
        ASSERT_GE(r.index, 0);
        EXPECT_EQ(target(r.index)->width, r.w);
        EXPECT_EQ(target(r.index)->height, r.h);
        EXPECT_EQ(target(r.index)->depthBuffer != -1, r.depth == 1);
        EXPECT_EQ(target(r.index)->format, (unsigned)GL_RGBA);
    }
    // Start-up order: scene, full, half, small, extra, A, B, then per level source, temp, blurred.
    EXPECT_EQ(fullTarget, sceneTarget + 1);
    EXPECT_EQ(blurTargetB, sceneTarget + 6);
    EXPECT_EQ(levelTemp[0], sceneTarget + 8);
    EXPECT_EQ(levelBlurred[3], sceneTarget + 18);
    EXPECT_FLOAT_EQ(factorPix, 2.0f);
    EXPECT_FLOAT_EQ(smallDivisor, 16.0f);
    EXPECT_FLOAT_EQ(extraDivisor, 1.0f);
    for (int level = 0; level < 4; level++) {
        EXPECT_GT(blurHorizontal[level], 0);
        EXPECT_GT(blurVertical[level], 0);
        EXPECT_EQ(glGetAttribLocation((GLuint)blurHorizontal[level], "PosAttribute"), 0);
        EXPECT_EQ(glGetAttribLocation((GLuint)blurVertical[level], "TexAttribute"), 1);
    }
    EXPECT_EQ(glGetAttribLocation((GLuint)combineProgram, "TexAttribute"), 1);
    EXPECT_EQ(glGetAttribLocation((GLuint)downsampleProgram, "PosAttribute"), 0);

    ASSERT_TRUE(usePost(1366, 768));
    EXPECT_EQ(target(halfTarget)->width, 683);
    EXPECT_EQ(target(halfTarget)->height, 384);
    EXPECT_EQ(target(smallTarget)->width, 85);
    EXPECT_EQ(target(smallTarget)->height, 48);
    EXPECT_EQ(target(levelSource[0])->width, 341);
    EXPECT_EQ(target(levelSource[0])->height, 192);
}

TEST(PostBuffers, BindingsNestAndRestore)
{
    ASSERT_TRUE(usePost(128, 72));
    glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)target(extraTarget)->framebuffer);
    glViewport(3, 4, 50, 40);
    bindRenderTarget(halfTarget);
    bindRenderTarget(smallTarget);
    GLint fb = -1, vp[4];
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fb);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(fb, target(smallTarget)->framebuffer);
    EXPECT_EQ(vp[2], 8);
    EXPECT_EQ(vp[3], 4);
    unbindRenderTarget(smallTarget);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fb);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(fb, target(halfTarget)->framebuffer);
    EXPECT_EQ(vp[0], 0);
    EXPECT_EQ(vp[2], 64);
    EXPECT_EQ(vp[3], 36);
    unbindRenderTarget(halfTarget);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fb);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(fb, target(extraTarget)->framebuffer);
    EXPECT_EQ(vp[0], 3);
    EXPECT_EQ(vp[1], 4);
    EXPECT_EQ(vp[2], 50);
    EXPECT_EQ(vp[3], 40);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    bindRenderTarget(-1);   // no buffer: nothing happens
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fb);
    EXPECT_EQ(fb, 0);
}

TEST(PostBuffers, BeginSceneTargetKeepsColourAndClearsDepth)
{
    ASSERT_TRUE(usePost(128, 72));
    bindRenderTarget(sceneTarget);
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClearDepth(0.25);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearDepth(1.0);
    unbindRenderTarget(sceneTarget);
    beginSceneTarget();
    std::vector<unsigned char> colour = readPixels(60, 30, 1, 1);
    float depth = 0.0f;
    glReadPixels(60, 30, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    unbindRenderTarget(sceneTarget);
    EXPECT_EQ(colour[0], 0);
    EXPECT_EQ(colour[1], 255);
    EXPECT_FLOAT_EQ(depth, 1.0f);
}

TEST(PostBuffers, IncompleteBufferIsLoggedWithItsStatus)
{
    ASSERT_TRUE(testGLContext(64, 64));
    size_t mark = readFile("demo.log").size();
    RenderTarget broken = {};
    EXPECT_EQ(createRenderTarget(&broken, 0, 0, 1), 0);
    std::string log = readFile("demo.log").substr(mark);
    EXPECT_NE(log.find("incomplete (status 0x"), std::string::npos) << log;
    GLint fb = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fb);
    EXPECT_EQ(fb, 0);
}

TEST(PostBuffers, SixtyFifthBufferIsRefused)
{
    ASSERT_TRUE(usePost(128, 72));
    std::vector<int> taken;
    for (;;) {
        int index = allocRenderTarget(4, 4, 0);
        if (index < 0) break;
        taken.push_back(index);
        ASSERT_LT(taken.size(), 65u);
    }
    EXPECT_EQ(renderTargets[MaxRenderTargets - 1] != nullptr, true);
    size_t mark = readFile("demo.log").size();
    EXPECT_EQ(allocRenderTarget(4, 4, 0), -1);
    EXPECT_EQ(readFile("demo.log").substr(mark), "out of post buffer!");
    for (int index : taken) {
        free(renderTargets[index]);
        renderTargets[index] = nullptr;
    }
}

// ---- blurTarget on pictures ------------------------------------------------------

class BlurImages : public ::testing::Test {
protected:
    std::vector<unsigned char> source;
    void SetUp() override
    {
        ASSERT_TRUE(usePost(128, 72));
        static int pattern = 0;
        if (!pattern) pattern = patternTexture(128, 72);
        fillTarget(fullTarget, pattern);
        source = readTargetPixels(fullTarget);
    }
    std::vector<unsigned char> blurred(float strength, float amount)
    {
        blurTarget(fullTarget, extraTarget, strength, amount);
        return readTargetPixels(extraTarget);
    }
};

TEST_F(BlurImages, NoAmountCopiesTheSource)
{
    EXPECT_EQ(maxDifference(blurred(1.0f, 0.0f), source), 0);
    EXPECT_EQ(maxDifference(blurred(1.0f, -2.0f), source), 0);
    EXPECT_EQ(maxDifference(blurred(1.0f, NAN), source), 0);
    EXPECT_EQ(maxDifference(blurred(1.0f, 1.0f), source), 0) << "fraction 0 keeps the base";
}

// blurTarget sums each pass at the size it is read at; pyramidBlur still sums
// at the size of its target. A chain of pyramidBlur calls between the two
// full-size buffers is the reference the cheaper sums must stay close to.
// Returns the buffer with the last result (the one before is in the other).
static int chainedPasses(int passes, float strength)
{
    int from = fullTarget;
    for (int pass = 0; pass < passes; pass++) {
        int to = pass % 2 == 0 ? blurTargetA : blurTargetB;
        pyramidBlur(from, to, strength);
        from = to;
    }
    return from;
}

TEST_F(BlurImages, HalfAmountMixesSourceAndOnePass)
{
    std::vector<unsigned char> half = blurred(1.0f, 0.5f);
    std::vector<unsigned char> nearlyOne = blurred(1.0f, 0.999f);
    std::vector<unsigned char> onePass = readTargetPixels(chainedPasses(1, 1.0f));
    EXPECT_GT(maxDifference(onePass, source), 40) << "the blur changes the picture";
    std::vector<unsigned char> mix(source.size());
    for (size_t i = 0; i < mix.size(); i++) mix[i] = (unsigned char)((source[i] + onePass[i] + 1) / 2);
    // Colour only: the blend also fades the destination's alpha.
    EXPECT_LE(maxDifference(half, mix, 1), 2);
    EXPECT_LE(maxDifference(nearlyOne, onePass, 1), 2);
}

TEST_F(BlurImages, ThreeEqualsTheTwoPassResult)
{
    std::vector<unsigned char> three = blurred(1.0f, 3.0f);
    std::vector<unsigned char> twoPass = readTargetPixels(chainedPasses(2, 1.0f));
    EXPECT_LE(maxDifference(three, twoPass), 2);
    EXPECT_LE(meanDifference(three, twoPass), 0.5);
}

TEST_F(BlurImages, WholeAmountsShowOnePassFewer)
{
    std::vector<unsigned char> two = blurred(1.0f, 2.0f);
    std::vector<unsigned char> nearlyTwo = blurred(1.0f, 1.999f);
    std::vector<unsigned char> onePass = readTargetPixels(chainedPasses(1, 1.0f));
    EXPECT_LE(maxDifference(two, onePass), 2);
    EXPECT_GT(maxDifference(nearlyTwo, onePass), 2) << "just below 2 fades to two passes";
    // Four and five passes: 5.0 shows the four-pass base, as 4.999 nearly does.
    std::vector<unsigned char> five = blurred(1.0f, 5.0f);
    EXPECT_LE(maxDifference(five, blurred(1.0f, 4.0f + 1.0e-3f), 1), 2);
    EXPECT_EQ(maxDifference(five, blurred(1.0f, 6.0f)), 0);
    EXPECT_EQ(maxDifference(blurred(1.0f, INFINITY), five), 0) << "no fraction, no fade";
}

// Smaller targets get the sum at their own size: the grade's glow (a sixteenth
// of the window) and scene 9's half-size glow, whose alpha (the weights' sum,
// 0.3 at strength 0.25) scales it where it is added to the picture. The
// reference: the full-size results copied down, the next pass faded in.
TEST_F(BlurImages, SmallerTargetsMatchTheFullSizeResultScaledDown)
{
    struct Case { int dst; float strength, amount; };
    const Case cases[] = {{smallTarget, 1.0f, 3.0f}, {halfTarget, 0.25f, 2.0f}, {halfTarget, 0.8f, 1.5f}};
    for (const Case& c : cases) {
        blurTarget(fullTarget, c.dst, c.strength, c.amount);
        std::vector<unsigned char> direct = readTargetPixels(c.dst);
        float fraction = c.amount - floorf(c.amount);
        int basePasses = (int)ceilf(c.amount) - 1;
        int top = chainedPasses(basePasses + (fraction > 0.0f ? 1 : 0), c.strength);
        int base = fraction > 0.0f ? (top == blurTargetA ? blurTargetB : blurTargetA) : top;
        copyTarget(c.dst, base, 0);
        if (fraction > 0.0f) {
            const int texture[1] = {target(top)->colorTexture};
            bindRenderTarget(c.dst);
            overlayAlpha = fraction;
            drawOverlayQuad(texture, 0.5f, 0.5f, 1.0f, 1.0f, 1, 0xFFFFFFFFu, AlphaBlend, -1);
            overlayAlpha = -1.0f;
            unbindRenderTarget(c.dst);
        }
        std::vector<unsigned char> before = readTargetPixels(c.dst);
        EXPECT_GT(meanDifference(direct, std::vector<unsigned char>(direct.size(), 0)), 20.0) << "a picture came out";
        EXPECT_LE(maxDifference(direct, before), 3) << "amount " << c.amount;
        EXPECT_LE(meanDifference(direct, before), 0.5) << "amount " << c.amount;
    }
}

TEST_F(BlurImages, AboveFourEveryUnitFadesFourToFivePasses)
{
    std::vector<unsigned char> a = blurred(1.0f, 4.5f);
    std::vector<unsigned char> b = blurred(1.0f, 5.5f);
    EXPECT_LE(maxDifference(a, b), 1);
    EXPECT_GT(maxDifference(a, source), 20);
}

TEST_F(BlurImages, ZeroStrengthIsTransparentBlack)
{
    EXPECT_EQ(maxDifference(blurred(0.0f, 0.5f), source), 0);
    std::vector<unsigned char> dark = blurred(0.0f, 2.5f);
    EXPECT_EQ(maxDifference(dark, std::vector<unsigned char>(dark.size(), 0)), 0);
}

TEST_F(BlurImages, FramebufferViewportAndAlphaRestored)
{
    glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)target(halfTarget)->framebuffer);
    glViewport(1, 2, 30, 20);
    blurTarget(fullTarget, extraTarget, 0.7f, 2.25f);
    GLint fb = -1, vp[4];
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fb);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(fb, target(halfTarget)->framebuffer);
    EXPECT_EQ(vp[0], 1);
    EXPECT_EQ(vp[1], 2);
    EXPECT_EQ(vp[2], 30);
    EXPECT_EQ(vp[3], 20);
    EXPECT_EQ(overlayAlpha, -1.0f);
    EXPECT_EQ(currentBlendMode, Opaque);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

// ---- final grading -------------------------------------------------------------

// A grading program that uses every uniform and sampler, so their uploaded
// values can be read back from GL after the draw.
static int probeProgram(void)
{
    static int program = 0;
    if (program) return program;
    const char* vs = "attribute vec3 PosAttribute;attribute vec2 TexAttribute;varying vec2 uv;"
                     "void main(){gl_Position = vec4(PosAttribute, 1.0);uv = TexAttribute;}";
    const char* fs = "precision mediump float;uniform sampler2D tex0;uniform sampler2D tex1;"
                     "uniform sampler2D tex2;uniform sampler2D tex3;uniform sampler2D tex4;"
                     "uniform float offset;uniform float flareAmt;uniform vec4 luminosity;"
                     "uniform vec4 contrast;uniform vec4 gamma;uniform vec2 camView;varying vec2 uv;"
                     "void main(){vec4 t = texture2D(tex0,uv)+texture2D(tex1,uv)+texture2D(tex2,uv)"
                     "+texture2D(tex3,uv)+texture2D(tex4,uv);"
                     "gl_FragColor = vec4(offset, flareAmt, camView.x + camView.y,"
                     " dot(luminosity + contrast + gamma, vec4(1.0))) + t * 0.001;}";
    program = bindPostAttributes(createShaderProgram(vs, fs, 1));
    return program;
}

static std::vector<float> uniformValue(const char* name, int count)
{
    std::vector<float> v(4, -99.0f);
    glGetUniformfv((GLuint)progLomofi, glGetUniformLocation((GLuint)progLomofi, name), v.data());
    v.resize(count);
    return v;
}

static int textureOfSampler(const char* name)
{
    GLint unit = -1, bound = -1;
    glGetUniformiv((GLuint)progLomofi, glGetUniformLocation((GLuint)progLomofi, name), &unit);
    glActiveTexture(GL_TEXTURE0 + unit);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glActiveTexture(GL_TEXTURE0);
    return bound;
}

class Grading : public ::testing::Test {
protected:
    int savedProgram;
    void SetUp() override
    {
        ASSERT_TRUE(usePost(128, 72));
        savedProgram = progLomofi;
        progLomofi = probeProgram();
        ASSERT_GT(progLomofi, 0);
        camera = Camera();
        framePresented = 0;
        syncValues[TrackScene] = 1.0f;
    }
    void TearDown() override { progLomofi = savedProgram; }
    void frame(int preset)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)target(extraTarget)->framebuffer);
        glViewport(0, 0, 128, 72);
        beginSceneTarget();
        postProcessFrame(preset);
    }
};

TEST_F(Grading, FlareAmountFollowsSceneSeven)
{
    const float scenes[4] = {7.0f, 7.9f, 6.999f, 8.0f};
    const float flare[4] = {0.25f, 0.25f, 1.0f, 1.0f};
    for (int i = 0; i < 4; i++) {
        syncValues[TrackScene] = scenes[i];
        frame(1);
        EXPECT_EQ(uniformValue("flareAmt", 1)[0], flare[i]) << "scene " << scenes[i];
    }
}

TEST_F(Grading, CameraViewFromPositionAndAngles)
{
    frame(1);
    EXPECT_EQ(uniformValue("camView", 2), std::vector<float>({0.0f, 0.0f}));
    camera.x = 32.0f;
    camera.y = -64.0f;
    camera.yaw = 0.1f;
    camera.pitch = -0.2f;
    frame(1);
    std::vector<float> v = uniformValue("camView", 2);
    EXPECT_FLOAT_EQ(v[0], 1.05f);
    EXPECT_FLOAT_EQ(v[1], -2.175f);
}

TEST_F(Grading, PresetsAndTheNeutralFallback)
{
    frame(3);
    EXPECT_EQ(uniformValue("luminosity", 4), std::vector<float>({0.05f, -0.2f, 0.13f, 0.0f}));
    EXPECT_EQ(uniformValue("contrast", 4), std::vector<float>({0.95f, 1.2f, 1.0f, 1.0f}));
    EXPECT_EQ(uniformValue("gamma", 4), std::vector<float>({0.9f, 0.9f, 1.2f, 1.0f}));
    const int outside[3] = {5, -1, 1000};
    for (int preset : outside) {
        frame(preset);
        EXPECT_EQ(uniformValue("luminosity", 4), std::vector<float>({0.0f, 0.0f, 0.0f, 0.0f}));
        EXPECT_EQ(uniformValue("contrast", 4), std::vector<float>({1.0f, 1.0f, 1.0f, 1.0f}));
        EXPECT_EQ(uniformValue("gamma", 4), std::vector<float>({1.0f, 1.0f, 1.0f, 1.0f}));
    }
}

TEST_F(Grading, GrainOffsetChangesOnlyAfterAPresentedFrame)
{
    srand(1234);
    int first = rand(), second = rand();
    srand(1234);
    framePresented = 1;
    frame(1);
    float drawn = (float)(first & 255) * 0.00390625f;
    EXPECT_EQ(grainOffset, drawn);
    EXPECT_EQ(uniformValue("offset", 1)[0], drawn);
    framePresented = 0;
    frame(1);
    frame(2);
    EXPECT_EQ(uniformValue("offset", 1)[0], drawn);
    EXPECT_EQ(rand(), second) << "unpresented frames draw no random numbers";
}

TEST_F(Grading, FiveTexturesAndTheTargetBeforeTheScene)
{
    int saved[3] = {texGrain, texLeak, texDirt};
    int made[3];
    for (int i = 0; i < 3; i++) made[i] = patternTexture(8, 8);
    texGrain = made[0];
    texLeak = made[1];
    texDirt = made[2];
    frame(1);
    GLint fb = -1, vp[4];
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fb);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(fb, target(extraTarget)->framebuffer);
    EXPECT_EQ(vp[2], 128);
    EXPECT_EQ(textureOfSampler("tex0"), target(sceneTarget)->colorTexture);
    EXPECT_EQ(textureOfSampler("tex1"), made[0]);
    EXPECT_EQ(textureOfSampler("tex2"), made[1]);
    EXPECT_EQ(textureOfSampler("tex3"), made[2]);
    EXPECT_EQ(textureOfSampler("tex4"), target(smallTarget)->colorTexture);
    // The probe writes offset and flare into red and green: the draw replaced the target.
    std::vector<unsigned char> out = readTargetPixels(extraTarget);
    EXPECT_NEAR(out[1], 255, 1);
    texGrain = saved[0];
    texLeak = saved[1];
    texDirt = saved[2];
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

// ---- the whole chain with the show's own post shaders ------------------------------

static std::string dataFile(const char* name) { return std::string(KESTREL_SOURCE_DIR) + "/data/" + name; }

static int noiseTexture(int size, int seed, int warm)
{
    std::vector<unsigned char> p((size_t)size * size * 4);
    unsigned state = (unsigned)seed;
    for (size_t i = 0; i < p.size(); i += 4) {
        state = state * 1103515245u + 12345u;
        unsigned char v = (unsigned char)(state >> 24);
        p[i] = v;
        p[i + 1] = warm ? v / 2 : v;
        p[i + 2] = warm ? v / 4 : v;
        p[i + 3] = 255;
    }
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return (int)t;
}

// A test scene: a dark backdrop with a bright light (unless switched off) and
// a coloured block.
static int testSceneLight = 1;
static void testScene(float)
{
    beginSceneTarget();
    const int none[1] = {0};
    drawOverlayQuad(none, 0.5f, 0.5f, 1.0f, 1.0f, 1, 0x302820FFu, Opaque, -1);
    if (testSceneLight) drawOverlayQuad(none, 0.3f, 0.6f, 0.08f, 0.12f, 1, 0xFFF0D0FFu, Opaque, -1);
    drawOverlayQuad(none, 0.65f, 0.4f, 0.25f, 0.3f, 1, 0x4080C0FFu, Opaque, -1);
    postProcessFrame(1);
}

static void writePng(const char* path, const std::vector<unsigned char>& rgba, int width, int height)
{
    std::vector<unsigned char> flipped(rgba.size());
    size_t row = (size_t)width * 4;
    for (int y = 0; y < height; y++)
        memcpy(&flipped[row * y], &rgba[row * (height - 1 - y)], row);
    stbi_write_png(path, width, height, 4, flipped.data(), (int)row);
}

TEST(PostChain, ShowShadersCompileWithTheirAttributes)
{
    ASSERT_TRUE(testGLContext(64, 64));
    const char* pairs[4][2] = {{"post.vs", "fastbokeh.fs"}, {"post_uv.vs", "color_correct.fs"},
                               {"post_uv.vs", "lomofi.fs"}, {"post.vs", "drunk.fs"}};
    for (auto& pair : pairs) {
        int program = bindPostAttributes(loadShaderPair(dataFile(pair[0]).c_str(), dataFile(pair[1]).c_str()));
        ASSERT_GT(program, 0) << pair[1];
        GLint linked = 0;
        glGetProgramiv((GLuint)program, GL_LINK_STATUS, &linked);
        EXPECT_EQ(linked, 1) << pair[1];
        EXPECT_EQ(glGetAttribLocation((GLuint)program, "PosAttribute"), 0) << pair[1];
        EXPECT_EQ(glGetAttribLocation((GLuint)program, "TexAttribute"), 1) << pair[1];
    }
}

TEST(PostChain, TestSceneThroughTimelineGradingAndLetterbox)
{
    ASSERT_TRUE(usePost(128, 72));
    int saved[4] = {progLomofi, texGrain, texLeak, texDirt};
    progLomofi = bindPostAttributes(loadShaderPair(dataFile("post_uv.vs").c_str(), dataFile("lomofi.fs").c_str()));
    ASSERT_GT(progLomofi, 0);
    texGrain = noiseTexture(64, 7, 0);
    texLeak = noiseTexture(4, 11, 1);
    texDirt = noiseTexture(16, 13, 0);

    // A 4:3 "window" (an off-screen buffer of 128 × 96) shows bars of 12 rows.
    static RenderTarget window;
    ASSERT_TRUE(createRenderTarget(&window, 128, 96, 1));
    setCameraAspect(128, 96);
    SceneRoutines routines = sceneRoutines;
    sceneRoutines.scene1 = testScene;
    prevScene = -1;
    syncValues[TrackScene] = 1.0f;
    glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)window.framebuffer);
    glViewport(0, 0, 128, 96);
    EXPECT_EQ(dispatchScene(), 0);
    std::vector<unsigned char> out = readPixels(0, 0, 128, 96);
    // The same frame without the light (same grain offset: no frame was
    // presented), to tell its glow from the grade of the backdrop.
    testSceneLight = 0;
    EXPECT_EQ(dispatchScene(), 0);
    std::vector<unsigned char> dark = readPixels(0, 0, 128, 96);
    testSceneLight = 1;
    sceneRoutines = routines;
    writePng("post_chain.png", out, 128, 96);

    auto at = [&](int x, int y) { return &out[((size_t)y * 128 + x) * 4]; };
    for (int x = 0; x < 128; x += 9) {
        EXPECT_EQ(at(x, 0)[0] + at(x, 0)[1] + at(x, 0)[2], 0);
        EXPECT_EQ(at(x, 95)[0] + at(x, 95)[1] + at(x, 95)[2], 0);
    }
    // The light (at 0.3, 0.6 of the picture) glows beyond its edge, and the
    // graded picture is not the flat backdrop.
    int lightX = 38, lightY = 12 + (int)(0.6f * 72);
    EXPECT_GT(at(lightX, lightY)[0], 200);
    // Just beyond its edge the light glows: brighter than the same pixel of
    // the unlit frame, and more than farther out.
    auto lift = [&](int x) { return (int)at(x, lightY)[0] - (int)dark[((size_t)lightY * 128 + x) * 4]; };
    EXPECT_GE(lift(lightX + 7), 2) << "glow from the blurred copy";
    EXPECT_GE(lift(lightX + 7), lift(lightX + 25));
    // Grain: a flat area is not flat any more.
    int lo = 255, hi = 0;
    for (int x = 2; x < 30; x++) {
        lo = std::min(lo, (int)at(x, 20)[1]);
        hi = std::max(hi, (int)at(x, 20)[1]);
    }
    EXPECT_GT(hi - lo, 2);
    // Vignette: a corner of the picture is darker than the backdrop near the centre.
    EXPECT_LT(at(1, 13)[0], at(64, 30)[0]);
    progLomofi = saved[0];
    texGrain = saved[1];
    texLeak = saved[2];
    texDirt = saved[3];
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

// A texture of size x size whose alpha falls from 1 at the left edge to 0 at
// the right, white, repeating: a light leak that does not tile.
static int edgeLeakTexture(int size)
{
    std::vector<unsigned char> p((size_t)size * size * 4, 255);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) p[((size_t)y * size + x) * 4 + 3] = (unsigned char)(255 - x * 255 / (size - 1));
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return (int)t;
}

static int flatTexture(unsigned char value)
{
    std::vector<unsigned char> p(4 * 4 * 4, value);
    for (size_t i = 3; i < p.size(); i += 4) p[i] = 255;
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return (int)t;
}

// Largest step between neighbouring pixels of a row (dx 1) or column, colour only.
static int largestStep(const std::vector<unsigned char>& p, int width, int height, int vertical)
{
    int worst = 0;
    for (int y = 0; y + vertical < height; y++)
        for (int x = 0; x + 1 - vertical < width; x++)
            for (int c = 0; c < 3; c++) {
                int a = p[((size_t)y * width + x) * 4 + c];
                int b = p[((size_t)(y + vertical) * width + x + 1 - vertical) * 4 + c];
                worst = std::max(worst, abs(a - b));
            }
    return worst;
}

// A flat picture must come out of the blur and the grade without edges: no
// panel from the pyramid, and no seam where the light leak, moved by the
// camera, would wrap around its border (its bright edge against its dark one).
TEST(PostChain, FlatPictureStaysFreeOfSeamsThroughBlurAndGrade)
{
    ASSERT_TRUE(usePost(128, 72));
    int saved[4] = {progLomofi, texGrain, texLeak, texDirt};
    progLomofi = bindPostAttributes(loadShaderPair(dataFile("post_uv.vs").c_str(), dataFile("lomofi.fs").c_str()));
    ASSERT_GT(progLomofi, 0);
    texGrain = flatTexture(128);
    texLeak = edgeLeakTexture(64);
    texDirt = flatTexture(0);
    const int none[1] = {0};
    bindRenderTarget(fullTarget);
    drawOverlayQuad(none, 0.5f, 0.5f, 1.0f, 1.0f, 1, 0x604830FFu, Opaque, -1);
    unbindRenderTarget(fullTarget);
    blurTarget(fullTarget, extraTarget, 1.0f, 3.0f);
    std::vector<unsigned char> blurred = readTargetPixels(extraTarget);
    EXPECT_LE(largestStep(blurred, 128, 72, 0), 1);
    EXPECT_LE(largestStep(blurred, 128, 72, 1), 1);

    framePresented = 0;
    syncValues[TrackScene] = 8.0f;
    const float cameraX[3] = {0.0f, 320.0f, -1000.0f};   // leak moved by 0, 0.4 and -1.25 pictures before
    for (float x : cameraX) {
        camera = Camera();
        camera.x = x;
        camera.yaw = 0.7f;
        glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)target(extraTarget)->framebuffer);
        glViewport(0, 0, 128, 72);
        beginSceneTarget();
        drawOverlayQuad(none, 0.5f, 0.5f, 1.0f, 1.0f, 1, 0x604830FFu, Opaque, -1);
        postProcessFrame(1);
        std::vector<unsigned char> graded = readTargetPixels(extraTarget);
        EXPECT_LE(largestStep(graded, 128, 72, 0), 3) << "camera x " << x;
        EXPECT_LE(largestStep(graded, 128, 72, 1), 3) << "camera x " << x;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    camera = Camera();
    progLomofi = saved[0];
    texGrain = saved[1];
    texLeak = saved[2];
    texDirt = saved[3];
}

TEST(PostChain, BokehAtScaleZeroKeepsSinglePixelsOfAWidePicture)
{
    ASSERT_TRUE(usePost(128, 72));
    int program = bindPostAttributes(loadShaderPair(dataFile("post.vs").c_str(), dataFile("fastbokeh.fs").c_str()));
    ASSERT_GT(program, 0);
    // One-pixel stripes across 2048 pixels: coordinates computed in 16-bit
    // floats would land between pixels and smear them.
    static int src = -1, dst = -1;
    if (src < 0) src = allocRenderTarget(2048, 4, 0);
    if (dst < 0) dst = allocRenderTarget(2048, 4, 0);
    ASSERT_GE(src, 0);
    ASSERT_GE(dst, 0);
    bindRenderTarget(src);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glEnable(GL_SCISSOR_TEST);
    for (int x = 1; x < 2048; x += 2) {
        glScissor(x, 0, 1, 4);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glDisable(GL_SCISSOR_TEST);
    unbindRenderTarget(src);
    queueUniform("scale", 0.0f);
    queueUniform("intensity", 20.0f);
    queueUniform("highlight", 0.0f);
    queueUniform("factorPix", 1.0f);
    queueUniform("factorTex", 1.0f);
    copyTarget(dst, src, program);
    EXPECT_LE(maxDifference(readTargetPixels(dst), readTargetPixels(src)), 1);
}
