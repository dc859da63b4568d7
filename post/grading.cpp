// The final grading pass: leaves the scene buffer, keeps a blurred small copy
// of it, and draws the graded frame (preset, film grain, flare, camera motion)
// into the framebuffer that was bound before the scene began, with the
// program, textures and amounts the show hands over in gradingSources.
#include "post/post.h"
#include "platform/platform.h"
#include "assets/assets.h"
#include "render/render.h"
#include <stdlib.h>

float grainOffset = 0.0f;
GradingSources gradingSources = {-1, -1, -1, -1, 1.0f, 0};

enum { GradingPresets = 5 };
struct GradingPreset {
    float luminosity[4], contrast[4], gamma[4];
};
static const GradingPreset gradingPresets[GradingPresets] = {
    {{0.0f, 0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f, 1.0f}},
    {{0.0f, 0.05f, 0.07f, 0.0f}, {1.2f, 1.4f, 0.75f, 1.0f}, {1.0f, 1.2f, 1.0f, 1.0f}},
    {{0.03f, 0.01f, 0.025f, 0.0f}, {1.2f, 1.0f, 0.5f, 1.0f}, {0.8f, 0.9f, 1.0f, 1.0f}},
    {{0.05f, -0.2f, 0.13f, 0.0f}, {0.95f, 1.2f, 1.0f, 1.0f}, {0.9f, 0.9f, 1.2f, 1.0f}},
    {{0.05f, -0.1f, 0.1f, 0.0f}, {0.95f, 1.1f, 1.02f, 1.0f}, {0.8f, 0.7f, 1.05f, 1.0f}},
};

// Grades the picture in source into the bound framebuffer. A preset outside
// 0..4 is graded with the neutral preset 0.
void gradeFrame(int source, int preset)
{
    if (preset < 0 || preset >= GradingPresets) preset = 0;
    const GradingPreset* grade = &gradingPresets[preset];
    float camView[2] = {
        camera.yaw + 0.25f * camera.pitch + 0.03125f * camera.x,
        camera.pitch + 0.25f * camera.yaw + 0.03125f * camera.y,
    };
    blurTarget(source, smallTarget, 1.0f, 3.0f);
    if (gradingSources.grainMovesOn) grainOffset = (float)(rand() & 255) * 0.00390625f;

    queueUniform("offset", grainOffset);
    queueUniform("flareAmt", gradingSources.flareAmount);
    queueUniformEntry("luminosity", Vec4, 0.0f, 0.0f, grade->luminosity);
    queueUniformEntry("contrast", Vec4, 0.0f, 0.0f, grade->contrast);
    queueUniformEntry("gamma", Vec4, 0.0f, 0.0f, grade->gamma);
    queueUniformEntry("camView", Vec2, 0.0f, 0.0f, camView);
    const int textures[5] = {colorTextureOf(source), gradingSources.grain, gradingSources.leak, gradingSources.dirt,
                             colorTextureOf(smallTarget)};
    drawOverlayQuad(textures, 0.5f, 0.5f, 1.0f, 1.0f, 5, 0xFFFFFFFFu, Opaque, gradingSources.program);
}

// Ends a scene frame: sceneTarget must be bound by beginSceneTarget.
void postProcessFrame(int preset)
{
    unbindRenderTarget(sceneTarget);
    gradeFrame(sceneTarget, preset);
}
