// Test support: the show's data loaded once, as start-up loads it.
#include "support/show_data.h"
#include <stdlib.h>
#include <gtest/gtest.h>
#include "show/show_local.h"
#include <GL/glew.h>
#include <unistd.h>

int loadShowData(int width, int height)
{
    static int state = -1;
    if (state >= 0) return state;
    state = 0;
    if (!useSceneBuffers(width, height)) return 0;
    if (chdir(KESTREL_BINARY_DIR) != 0) return 0;
    const char* needed[] = {"data/jug.baf", "data/env.fs", "data/rod.baf", "data/car.fs", "data/lomofi.fs"};
    for (const char* name : needed)
        if (access(name, R_OK) != 0) return 0;
    demoConfig = &builtinConfig;
    activeResourceTable = resourceTable;
    // The built-in program the meshes without a shader row draw with (the
    // skyboxes, the kaleidoscope), made before loading as start-up makes it.
    if (defaultProgram <= 0) createDefaultShader();
    loadResourceTable(activeResourceTable, nullptr);
    demoConfig->dataHook();
    bindShowPostPrograms();
    gradingSources = GradingSources{
        res.progLomofi, res.progLomofiContrast, res.progLomofiCorrect, res.texGrain, res.texLeak, res.texDirt, 1.0f, 0};
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, width, height);
    state = 1;
    return 1;
}

void expectLivelyPicture(const std::vector<unsigned char>& image, int pixels,
                         const std::vector<unsigned char>& previous, double minChange, const char* name)
{
    double sum = 0.0;
    int dark = 0, white = 0;
    for (int i = 0; i < pixels; i++) {
        const unsigned char* p = &image[(size_t)i * 4];
        int luma = (p[0] * 3 + p[1] * 6 + p[2]) / 10;
        sum += luma;
        if (luma < 6) dark++;
        if (p[0] > 250 && p[1] > 250 && p[2] > 250) white++;
    }
    double mean = sum / pixels;
    EXPECT_GT(mean, 8.0) << name << ": blank";
    EXPECT_LT(mean, 235.0) << name << ": saturated";
    EXPECT_LT(dark, pixels * 9 / 10) << name << ": mostly black";
    EXPECT_LT(white, pixels / 3) << name << ": mostly white";
    if (!previous.empty()) {
        double change = 0.0;
        for (size_t i = 0; i < image.size(); i++) change += abs((int)image[i] - (int)previous[i]);
        EXPECT_GT(change / (double)image.size(), minChange) << name << ": same as the frame before";
    }
}
