// The blur shader generator: radii and weights of the four levels, the text of
// each direction, pyramid sizes and the decimal point whatever the locale.
#include "post/post.h"
#include "support/files.h"
#include <gtest/gtest.h>
#include <locale.h>
#include <math.h>
#include <stdlib.h>
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
    std::string expected = "#version 100\nprecision highp float;\nuniform sampler2D tex0;\nvarying vec2 TexCoord0;\n"
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
    // the weights of a kernel that could not be made are refused, not read
    EXPECT_EQ(blurShaderText(nullptr, 0, 1, 64, 64), nullptr);
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
