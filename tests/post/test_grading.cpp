// The final grading pass: what gradingSources hands it (program, textures,
// flare, grain), the camera view, the presets and the neutral fallback.
#include "post/fixture.h"
#include "assets/assets.h"
#include <math.h>

// A grading program that uses every uniform and sampler, so their uploaded
// values can be read back from GL after the draw.
static int probeProgram(int copy = 0)
{
    static int programs[3];
    int& program = programs[copy];
    if (program) return program;
    const char* vs = "attribute vec3 PosAttribute;attribute vec2 TexAttribute;varying vec2 uv;"
                     "void main(){gl_Position = vec4(PosAttribute, 1.0);uv = TexAttribute;}";
    const char* fs = "precision mediump float;uniform sampler2D tex0;uniform sampler2D tex1;"
                     "uniform sampler2D tex2;uniform sampler2D tex3;uniform sampler2D tex4;"
                     "uniform float offset;uniform float flareAmt;uniform vec3 gradeScale;"
                     "uniform vec3 gradeOffset;uniform vec3 curve1;uniform vec3 curve2;uniform vec3 curve3;"
                     "uniform vec2 camView;uniform float correctScale;varying vec2 uv;"
                     "void main(){vec4 t = texture2D(tex0,uv)+texture2D(tex1,uv)+texture2D(tex2,uv)"
                     "+texture2D(tex3,uv)+texture2D(tex4,uv);"
                     "gl_FragColor = vec4(offset, flareAmt, camView.x + camView.y,"
                     " dot(gradeScale + gradeOffset + curve1 + curve2 + curve3, vec3(1.0)) + correctScale)"
                     " + t * 0.001;}";
    program = bindPostAttributes(createShaderProgram(vs, fs, 1));
    return program;
}

static std::vector<float> uniformValue(const char* name, int count)
{
    std::vector<float> v(4, -99.0f);
    glGetUniformfv((GLuint)gradingSources.program, glGetUniformLocation((GLuint)gradingSources.program, name),
                   v.data());
    v.resize(count);
    return v;
}

static int textureOfSampler(const char* name)
{
    GLint unit = -1, bound = -1;
    glGetUniformiv((GLuint)gradingSources.program, glGetUniformLocation((GLuint)gradingSources.program, name), &unit);
    glActiveTexture(GL_TEXTURE0 + unit);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glActiveTexture(GL_TEXTURE0);
    return bound;
}

class Grading : public ::testing::Test {
protected:
    GradingSources saved;
    void SetUp() override
    {
        ASSERT_TRUE(usePost(128, 72));
        saved = gradingSources;
        gradingSources.program = probeProgram();
        ASSERT_GT(gradingSources.program, 0);
        camera = Camera();
        gradingSources.grainMovesOn = 0;
        gradingSources.flareAmount = 1.0f;
    }
    void TearDown() override { gradingSources = saved; }
    void frame(int preset)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)target(extraTarget)->framebuffer);
        glViewport(0, 0, 128, 72);
        beginSceneTarget();
        postProcessFrame(preset);
    }
};

// The show decides the flare (show/test_dispatch.cpp); the pass uploads it as given.
TEST_F(Grading, FlareAmountIsTheOneHandedOver)
{
    const float flare[3] = {0.25f, 1.0f, 0.6f};
    for (float amount : flare) {
        gradingSources.flareAmount = amount;
        frame(1);
        EXPECT_EQ(uniformValue("flareAmt", 1)[0], amount);
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

// The curve c1 s + c2 s^2 + c3 s^3 at s = sqrt(x), as the shaders compute it.
static float curveAt(const float c[3], float x)
{
    float s = sqrtf(x);
    return ((c[2] * s + c[1]) * s + c[0]) * s;
}

// Largest distance from x^exponent over 1001 points of 0..1.
static float curveError(const float c[3], float exponent)
{
    float worst = 0.0f;
    for (int i = 0; i <= 1000; i++) {
        float x = (float)i / 1000.0f;
        worst = fmaxf(worst, fabsf(curveAt(c, x) - powf(x, exponent)));
    }
    return worst;
}

// The grade's uniforms: preset 3 is contrast (0.95, 1.2, 1), lift (0.05,
// -0.2, 0.13) and exponents (0.9, 0.9, 1.2), at 0.6 of their push from
// neutral: contrast (0.97, 1.12, 1) about mid grey with lift (0.03, -0.12,
// 0.078) is x * scale + offset with offset 0.5 - 0.5 * contrast + lift; the
// exponents (0.94, 0.94, 1.12) arrive as curves.
TEST_F(Grading, PresetsAndTheNeutralFallback)
{
    auto curveOf = [](int channel) {
        std::vector<float> c(3);
        const char* names[3] = {"curve1", "curve2", "curve3"};
        for (int k = 0; k < 3; k++) c[k] = uniformValue(names[k], 3)[channel];
        return c;
    };
    frame(3);
    std::vector<float> scale = uniformValue("gradeScale", 3), offset = uniformValue("gradeOffset", 3);
    const float wantScale[3] = {0.97f, 1.12f, 1.0f}, wantOffset[3] = {0.045f, -0.18f, 0.078f};
    const float wantExponent[3] = {0.94f, 0.94f, 1.12f};
    for (int channel = 0; channel < 3; channel++) {
        EXPECT_NEAR(scale[channel], wantScale[channel], 1e-6f);
        EXPECT_NEAR(offset[channel], wantOffset[channel], 1e-6f);
        EXPECT_LT(curveError(curveOf(channel).data(), wantExponent[channel]), 0.5f / 255.0f) << channel;
    }
    const int outside[3] = {5, -1, 1000};
    for (int preset : outside) {
        frame(preset);
        EXPECT_EQ(uniformValue("gradeScale", 3), std::vector<float>({1.0f, 1.0f, 1.0f}));
        EXPECT_EQ(uniformValue("gradeOffset", 3), std::vector<float>({0.0f, 0.0f, 0.0f}));
        for (int channel = 0; channel < 3; channel++)
            EXPECT_LT(curveError(curveOf(channel).data(), 1.0f), 1e-6f) << channel;
    }
}

// The curve keeps black and white exact and stays as close to the power as
// it promises over its whole range, ends included (every 0.01; the middle
// stretch, where the show's exponents lie, closer); exponents beyond the
// ends get the end's curve (NaN the low end's).
TEST(PowerCurve, FollowsThePowerOverItsRange)
{
    for (int step = 0; step <= 125; step++) {
        float exponent = CurveExponentLow + 0.01f * (float)step;
        float c[3];
        powerCurve(exponent, c);
        EXPECT_EQ(curveAt(c, 0.0f), 0.0f) << exponent;
        EXPECT_NEAR(curveAt(c, 1.0f), 1.0f, 1e-6f) << exponent;
        float promised = exponent >= 0.82f && exponent <= 1.7f ? 1.0f : 1.6f;
        EXPECT_LT(curveError(c, exponent), promised / 255.0f) << exponent;
    }
    const float beyond[][2] = {{CurveExponentLow - 0.01f, CurveExponentLow},
                               {CurveExponentHigh + 0.01f, CurveExponentHigh},
                               {NAN, CurveExponentLow}};
    for (const auto& pair : beyond) {
        float got[3], end[3];
        powerCurve(pair[0], got);
        powerCurve(pair[1], end);
        for (int k = 0; k < 3; k++) EXPECT_EQ(got[k], end[k]) << pair[0];
    }
}

TEST_F(Grading, GrainOffsetChangesOnlyAfterAPresentedFrame)
{
    srand(1234);
    int first = rand(), second = rand();
    srand(1234);
    gradingSources.grainMovesOn = 1;
    frame(1);
    float drawn = (float)(first & 255) * 0.00390625f;
    EXPECT_EQ(grainOffset, drawn);
    EXPECT_EQ(uniformValue("offset", 1)[0], drawn);
    gradingSources.grainMovesOn = 0;
    frame(1);
    frame(2);
    EXPECT_EQ(uniformValue("offset", 1)[0], drawn);
    EXPECT_EQ(rand(), second) << "unpresented frames draw no random numbers";
}

TEST_F(Grading, FiveTexturesAndTheTargetBeforeTheScene)
{
    int made[3];
    for (int i = 0; i < 3; i++) made[i] = patternTexture(8, 8);
    gradingSources.grain = made[0];
    gradingSources.leak = made[1];
    gradingSources.dirt = made[2];
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
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

// A mipmapped texture of width x height, filtered as the loader leaves it.
static int mipmappedTexture(int width, int height)
{
    std::vector<unsigned char> p((size_t)width * height * 4, 128);
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    glGenerateMipmap(GL_TEXTURE_2D);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glBindTexture(GL_TEXTURE_2D, 0);
    return (int)t;
}

static GLint filterOf(int texture, GLenum which)
{
    GLint filter = 0;
    glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
    glGetTexParameteriv(GL_TEXTURE_2D, which, &filter);
    glBindTexture(GL_TEXTURE_2D, 0);
    return filter;
}
static GLint minFilterOf(int texture) { return filterOf(texture, GL_TEXTURE_MIN_FILTER); }

// At most one texel per pixel along both sides: a boundary and one step
// each side, in either direction.
TEST(GradingFilters, MagnifiedUpToOneTexelPerPixel)
{
    EXPECT_TRUE(gradingTextureMagnified(128, 72, 128.0f, 72.0f));
    EXPECT_TRUE(gradingTextureMagnified(127, 71, 128.0f, 72.0f));
    EXPECT_FALSE(gradingTextureMagnified(129, 72, 128.0f, 72.0f));
    EXPECT_FALSE(gradingTextureMagnified(128, 73, 128.0f, 72.0f));
    EXPECT_FALSE(gradingTextureMagnified(0, 72, 128.0f, 72.0f));
}

// In a 128 x 72 frame the grain (tiled at 256 pixels) may be 256 wide, the
// leak (0.79 of it over the frame) 91 tall (72 / 0.79 = 91.1), the dirt
// (over the whole frame) 72 tall; one texel more keeps the mip levels, and
// a texture the grade no longer uses gets its own filters back. The leak,
// magnified, is read nearest both ways.
TEST_F(Grading, OwnTexturesDropTheirMipLevelsOnlyWhereMagnified)
{
    const int fits[3] = {mipmappedTexture(256, 256), mipmappedTexture(64, 91), mipmappedTexture(128, 72)};
    const int over[3] = {mipmappedTexture(257, 256), mipmappedTexture(64, 92), mipmappedTexture(128, 73)};
    for (int round = 0; round < 2; round++) {
        const int* used = round == 0 ? fits : over;
        gradingSources.grain = used[0];
        gradingSources.leak = used[1];
        gradingSources.dirt = used[2];
        frame(1);
        for (int i = 0; i < 3; i++) {
            GLint fitted = i == 1 ? GL_NEAREST : GL_LINEAR;
            EXPECT_EQ(minFilterOf(fits[i]), round == 0 ? fitted : GL_LINEAR_MIPMAP_LINEAR) << i;
            EXPECT_EQ(filterOf(fits[i], GL_TEXTURE_MAG_FILTER), round == 0 && i == 1 ? GL_NEAREST : GL_LINEAR) << i;
            EXPECT_EQ(minFilterOf(over[i]), GL_LINEAR_MIPMAP_LINEAR) << i;
            EXPECT_EQ(filterOf(over[i], GL_TEXTURE_MAG_FILTER), GL_LINEAR) << i;
        }
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// ---- colour correction ------------------------------------------------------------
// The correction by its definition: lift saturating at white, contrast about
// mid grey, luminosity, clamped to 0..1 (the exponent comes after).
static float correctedByDefinition(float x, float lift, float contrast, float luminosity)
{
    float y = fminf(x + lift, 1.0f);
    y = (y - 0.5f) * contrast + 0.5f + luminosity;
    return fminf(fmaxf(y, 0.0f), 1.0f);
}

// The folded form the shaders take follows the definition at every 8-bit
// level: scene 5's lift (32, 48, 32)/255 at contrast 1.7, where the
// saturation is clipped anyway (top 1.35); a lift that saturates inside the
// range (contrast 0.5, luminosity 0.1: top 0.85); negative contrasts, where
// the saturation becomes a floor (0 and 0.45). Limits and offsets of the
// first, second and last worked out by hand.
TEST(ColourCorrection, FoldedUniformsFollowTheDefinition)
{
    const struct {
        ColourCorrection correction;
        float offset[3], limits[2];
    } cases[] = {
        {{{32.0f / 255.0f, 48.0f / 255.0f, 32.0f / 255.0f}, 1.7f, 0.0f, 1.0f},
         {-0.1366667f, -0.03f, -0.1366667f},
         {0, 1}},
        {{{0.2f, 0.0f, 0.0f}, 0.5f, 0.1f, 1.66f}, {0.45f, 0.35f, 0.35f}, {0.0f, 0.85f}},
        {{{0.25f, 0.0f, 1.0f}, -1.0f, 0.0f, 1.0f}, {0.75f, 1.0f, 0.0f}, {0.0f, 1.0f}},
        {{{0.25f, 0.5f, 0.0f}, -0.5f, 0.2f, 1.0f}, {0.825f, 0.7f, 0.95f}, {0.45f, 1.0f}},
    };
    for (const auto& c : cases) {
        CorrectionUniforms u;
        correctionUniforms(&c.correction, &u);
        EXPECT_EQ(u.scale, c.correction.contrast);
        for (int channel = 0; channel < 3; channel++) EXPECT_NEAR(u.offset[channel], c.offset[channel], 1e-6f);
        EXPECT_NEAR(u.limits[0], c.limits[0], 1e-6f) << c.correction.contrast;
        EXPECT_NEAR(u.limits[1], c.limits[1], 1e-6f) << c.correction.contrast;
        EXPECT_LT(curveError(u.curve, c.correction.gamma), 1.0f / 255.0f);
        for (int level = 0; level <= 255; level++) {
            float x = (float)level / 255.0f;
            for (int channel = 0; channel < 3; channel++) {
                float folded = fminf(fmaxf(x * u.scale + u.offset[channel], u.limits[0]), u.limits[1]);
                float want = correctedByDefinition(x, c.correction.lift[channel], c.correction.contrast,
                                                   c.correction.luminosity);
                ASSERT_NEAR(folded, want, 1e-5f) << "contrast " << c.correction.contrast << " level " << level;
            }
        }
    }
}

// A correction picks the variant that applies it (gamma 1: the one without
// the exponent) and hands it the folded uniforms; a neutral one, or one whose
// variant is missing, is graded by the plain program.
TEST_F(Grading, CorrectionsPickTheirVariant)
{
    gradingSources.contrastProgram = probeProgram(1);
    gradingSources.correctProgram = probeProgram(2);
    const ColourCorrection neutral = {{0, 0, 0}, 1.0f, 0.0f, 1.0f};
    const ColourCorrection contrast = {{0, 0, 0}, 1.5f, 0.0f, 1.0f};
    const ColourCorrection gamma = {{0, 0, 0}, 1.0f, 0.0f, 1.2f};
    const struct {
        const ColourCorrection* correction;
        int program;
    } cases[] = {
        {nullptr, probeProgram()}, {&neutral, probeProgram()}, {&contrast, probeProgram(1)}, {&gamma, probeProgram(2)}};
    for (const auto& c : cases) {
        glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)target(extraTarget)->framebuffer);
        glViewport(0, 0, 128, 72);
        gradeFrame(sceneTarget, 1, c.correction);
        GLint used = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &used);
        EXPECT_EQ(used, c.program);
    }
    GLint location = glGetUniformLocation((GLuint)probeProgram(1), "correctScale");
    float scale = 0.0f;
    if (location >= 0) glGetUniformfv((GLuint)probeProgram(1), location, &scale);
    EXPECT_EQ(scale, 1.5f) << "the contrast variant's correctScale";
    gradingSources.contrastProgram = -1;
    gradeFrame(sceneTarget, 1, &contrast);
    GLint used = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &used);
    EXPECT_EQ(used, probeProgram());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}
