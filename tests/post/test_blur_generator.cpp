// The blur shader generator: radii and weights of the four levels, the text of
// each direction, pyramid sizes and the decimal point whatever the locale.
#include "post/post.h"
#include "support/files.h"
#include <gtest/gtest.h>
#include <locale.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

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

// Level 0 of a 1280 x 720 frame: its own 320 x 180 buffer, or its region of
// the 320 x 270 atlas (levels 0 and 1 stacked).
static const BlurRegion levelZeroBuffer = {320, 180, 0, 0, 320, 180};
static const BlurRegion levelZeroInAtlas = {320, 270, 0, 0, 320, 180};

static std::string levelZeroText(int vertical, const BlurRegion& from = levelZeroBuffer)
{
    int radius = 0;
    float* w = gaussianWeights(0.55f, &radius);
    char* text = blurShaderText(w, radius, vertical, &from);
    free(w);
    std::string out = text ? text : "";
    free(text);
    return out;
}

TEST(BlurGenerator, HorizontalTextOfLevelZeroAt1280x720)
{
    // Tap pairs from -5 (the lone tap at +5 folded into the centre pair).
    const char* x[5] = {"-0.012693", "-0.006814", "-0.001328", "0.004023", "0.009711"};
    const char* s[5] = {"0.002615", "0.112923", "0.539777", "0.321841", "0.022844"};
    std::string expected = "#version 100\nprecision highp float;\nuniform sampler2D tex0;\nvarying vec2 TexCoord0;\n"
                           "void main()\n{\nvec3 sum = vec3(0.0,0.0,0.0);\nvec2 texcoord;\n";
    for (int j = 0; j < 5; j++) {
        expected += std::string("texcoord = TexCoord0 + vec2(") + x[j] + ", 0.000000);\n";
        expected += std::string("sum += texture2D(tex0, texcoord).rgb*") + s[j] + ";\n";
    }
    expected += "gl_FragColor = vec4(sum, 1.0);\n}\n";
    EXPECT_EQ(levelZeroText(0), expected);
}

// Every fetch of a region smaller than its texture is clamped half a texel
// inside the region: 0.5/320, 0.5/270 and 319.5/320, 179.5/270 here. The
// offsets (paired taps -4.061659 ... 5 texels) are over the atlas's height.
TEST(BlurGenerator, VerticalTextReadsItsAtlasRegionClamped)
{
    std::string text = levelZeroText(1, levelZeroInAtlas);
    const double y[5] = {-4.061659 / 270, -2.180569 / 270, -0.424946 / 270, 1.287512 / 270, 3.107408 / 270};
    size_t at = 0;
    for (int j = 0; j < 5; j++) {
        const char* prefix = "texcoord = clamp(TexCoord0 + vec2(";
        at = text.find(prefix, at);
        ASSERT_NE(at, std::string::npos) << "fetch " << j;
        double v[6];
        at += strlen(prefix);
        ASSERT_EQ(sscanf(text.c_str() + at, "%lf, %lf), vec2(%lf, %lf), vec2(%lf, %lf));", &v[0], &v[1], &v[2], &v[3],
                         &v[4], &v[5]),
                  6);
        EXPECT_EQ(v[0], 0.0);
        EXPECT_NEAR(v[1], y[j], 1.0e-6) << "fetch " << j;
        EXPECT_NEAR(v[2], 0.5 / 320, 1.0e-6);
        EXPECT_NEAR(v[3], 0.5 / 270, 1.0e-6);
        EXPECT_NEAR(v[4], 319.5 / 320, 1.0e-6);
        EXPECT_NEAR(v[5], 179.5 / 270, 1.0e-6);
    }
    EXPECT_NE(text.find("sum += texture2D(tex0, texcoord).rgb*0.539777;\n"), std::string::npos);
    EXPECT_EQ(levelZeroText(1).find("clamp"), std::string::npos) << "a whole texture clamps by itself";
}

// The atlas of a 1280 x 720 frame: level 0 (320 x 180) at the origin, levels
// 1-3 (160 x 90, 80 x 45, 40 x 22) side by side above it. Level 0 of two
// pixels has levels 1-3 of one pixel each, wider together than it.
TEST(BlurGenerator, AtlasHoldsEveryLevelWithoutOverlap)
{
    const int expected[4][4] = {{0, 0, 320, 180}, {0, 180, 160, 90}, {160, 180, 80, 45}, {240, 180, 40, 22}};
    for (int level = 0; level < 4; level++) {
        int region[4];
        pyramidAtlasRegion(320, 180, level, region);
        for (int i = 0; i < 4; i++) EXPECT_EQ(region[i], expected[level][i]) << "level " << level << " value " << i;
    }
    const int base[4][2] = {{2, 1}, {3, 1}, {4, 1}, {320, 180}}, width[4] = {3, 3, 4, 320}, height[4] = {2, 2, 2, 270};
    for (int i = 0; i < 4; i++) {
        int w = 0, h = 0;
        pyramidAtlasSize(base[i][0], base[i][1], &w, &h);
        EXPECT_EQ(w, width[i]) << "base " << base[i][0];
        EXPECT_EQ(h, height[i]) << "base " << base[i][0];
    }
}

// Counts the fetches of a generated text.
static int fetchCount(const std::string& t)
{
    int fetches = 0;
    for (size_t p = t.find("texture2D"); p != std::string::npos; p = t.find("texture2D", p + 1)) fetches++;
    return fetches;
}

// The combine reads level L at offset + TexCoord x scale, clamped to the
// region; for level 3 of the 1280 x 720 atlas: 240/320, 180/270, 40/320,
// 22/270, then 240.5/320, 180.5/270 and 279.5/320, 201.5/270. With columns
// each level is read through its vertical kernel (5 + 9 + 14 + 17 fetches),
// level 0's first fetch 4.061659 texels up at weight 0.002615.
TEST(BlurGenerator, CombineSumsTheFourRegionsOfTheAtlas)
{
    BlurRegion levels[4];
    for (int level = 0; level < 4; level++) {
        int region[4];
        pyramidAtlasRegion(320, 180, level, region);
        levels[level] = {320, 270, region[0], region[1], region[2], region[3]};
    }
    for (int columns = 0; columns <= 1; columns++) {
        char* text = combineShaderText(levels, columns);
        ASSERT_NE(text, nullptr);
        std::string t = text;
        free(text);
        EXPECT_EQ(fetchCount(t), columns ? 45 : 4);
        const char* format = "at = vec2(%lf, %lf) + TexCoord * vec2(%lf, %lf);\nlevel = texture2D(tex0, clamp(at + "
                             "vec2(0.0, %lf), vec2(%lf, %lf), vec2(%lf, %lf)))*%lf;";
        double v[10];
        size_t level0 = t.find("at = vec2("), level3 = t.rfind("at = vec2(");
        ASSERT_EQ(
            sscanf(t.c_str() + level3, format, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9]),
            10);
        const double expected[8] = {0.75,        180.0 / 270, 0.125,       22.0 / 270,
                                    240.5 / 320, 180.5 / 270, 279.5 / 320, 201.5 / 270};
        for (int i = 0; i < 4; i++) EXPECT_NEAR(v[i], expected[i], 1.0e-6) << "value " << i;
        for (int i = 5; i < 9; i++) EXPECT_NEAR(v[i], expected[i - 1], 1.0e-6) << "value " << i;
        EXPECT_NE(t.find("gl_FragColor += level*coeff.w;\n}\n"), std::string::npos);
        ASSERT_EQ(
            sscanf(t.c_str() + level0, format, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9]),
            10);
        EXPECT_NEAR(v[4], columns ? -4.061659 / 270 : 0.0, 1.0e-6);
        EXPECT_NEAR(v[9], columns ? 0.002615 : 1.0, 1.0e-6);
    }
    levels[3].x = 281;   // one texel past the atlas's edge
    EXPECT_EQ(combineShaderText(levels, 0), nullptr);
}

// Each level reads its taps -radius .. radius - 1 in radius fetches, the last
// one between radius - 2 and radius - 1; the weights written still sum to 1.
TEST(BlurGenerator, EveryLevelLeavesOutItsLoneOuterTapKeepingItsWeight)
{
    const float k[4] = {0.55f, 0.3f, 0.2f, 0.17f};
    for (int level = 0; level < 4; level++) {
        int w, h, radius;
        pyramidLevelSize(1280, 720, level, &w, &h);
        float* weights = gaussianWeights(k[level], &radius);
        const BlurRegion own = {w, h, 0, 0, w, h};
        char* text = blurShaderText(weights, radius, 0, &own);
        ASSERT_NE(text, nullptr);
        std::string t = text;
        int fetches = 0;
        double sum = 0.0, last = -1.0e9;
        for (size_t at = t.find("TexCoord0 + vec2("); at != std::string::npos;
             at = t.find("TexCoord0 + vec2(", at + 1)) {
            double offset = 0.0, weight = 0.0;
            ASSERT_EQ(sscanf(t.c_str() + at,
                             "TexCoord0 + vec2(%lf, 0.000000);\nsum += texture2D(tex0, texcoord).rgb*%lf;", &offset,
                             &weight),
                      2);
            fetches++;
            sum += weight;
            last = offset * w;
        }
        EXPECT_EQ(fetches, radius) << "level " << level;
        EXPECT_NEAR(sum, 1.0, 1.0e-5) << "level " << level;
        EXPECT_GT(last, radius - 2.0) << "level " << level;
        EXPECT_LT(last, radius - 1.0) << "level " << level;
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
    const BlurRegion pixel = {w, h, 0, 0, w, h};
    char* text = blurShaderText(weights, radius, 1, &pixel);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text).find("inf"), std::string::npos);
    EXPECT_EQ(std::string(text).find("nan"), std::string::npos);
    free(text);
    const BlurRegion empty = {0, 5, 0, 0, 0, 5}, inside = {10, 10, 4, 0, 6, 10}, past = {10, 10, 5, 0, 6, 10};
    EXPECT_EQ(blurShaderText(weights, radius, 1, &empty), nullptr);
    text = blurShaderText(weights, radius, 1, &inside);
    EXPECT_NE(text, nullptr) << "a region up to the texture's edge";
    free(text);
    EXPECT_EQ(blurShaderText(weights, radius, 1, &past), nullptr) << "one texel past it";
    EXPECT_EQ(blurShaderText(weights, radius, 1, nullptr), nullptr);
    free(weights);
    // the weights of a kernel that could not be made are refused, not read
    EXPECT_EQ(blurShaderText(nullptr, 0, 1, &pixel), nullptr);
}

TEST(BlurGenerator, DecimalPointWhateverTheLocale)
{
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8", "nl_NL.UTF-8"};
    const char* chosen = nullptr;
    for (const char* name : names)
        if (setlocale(LC_NUMERIC, name)) {
            chosen = name;
            break;
        }
    if (!chosen) {
        // Build a German locale of our own when none is installed.
        std::string dir = makeTempDir("locale");
        char absolute[4096];
        if (realpath(dir.c_str(), absolute) && runCommand("localedef -i de_DE -f UTF-8 '" + std::string(absolute) +
                                                          "/de_DE.UTF-8' >/dev/null 2>&1") == 0) {
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
