// Shared by the post tests: post buffers made once per window size (several
// sets live in one process), picture helpers and buffer filling.
#pragma once
#include "post/post.h"
#include "render/render.h"
#include "support/gl_context.h"
#include "support/post_state.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <algorithm>
#include <vector>

// ---- GL fixtures ---------------------------------------------------------------

// Every post global, so several start-up sets can live in one test process.
struct PostState {
    int scene, full, half, small, extra, a, b;
    int base, fade, rows, blurred, horizontal[4], vertical[4], halved[4];
    int combine, combineColumns, downsample;
};

inline void savePost(PostState* s)
{
    *s = {sceneTarget,
          fullTarget,
          halfTarget,
          smallTarget,
          extraTarget,
          blurTargetA,
          blurTargetB,
          pyramidBase,
          pyramidFade,
          pyramidRows,
          pyramidBlurred,
          {},
          {},
          {},
          blurPrograms.combine,
          blurPrograms.combineColumns,
          blurPrograms.downsample};
    for (int i = 0; i < 4; i++) {
        s->halved[i] = blurPrograms.halved[i];
        s->horizontal[i] = blurPrograms.horizontal[i];
        s->vertical[i] = blurPrograms.vertical[i];
    }
}

inline void restorePost(const PostState* s)
{
    sceneTarget = s->scene;
    fullTarget = s->full;
    halfTarget = s->half;
    smallTarget = s->small;
    extraTarget = s->extra;
    blurTargetA = s->a;
    blurTargetB = s->b;
    blurPrograms.combine = s->combine;
    blurPrograms.combineColumns = s->combineColumns;
    blurPrograms.downsample = s->downsample;
    pyramidBase = s->base;
    pyramidFade = s->fade;
    pyramidRows = s->rows;
    pyramidBlurred = s->blurred;
    for (int i = 0; i < 4; i++) {
        blurPrograms.halved[i] = s->halved[i];
        blurPrograms.horizontal[i] = s->horizontal[i];
        blurPrograms.vertical[i] = s->vertical[i];
    }
}

// Post-processing initialised for a window of width x height, once per size.
inline int usePost(int width, int height)
{
    static struct {
        int w, h;
        PostState state;
    } made[3];
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

inline const RenderTarget* target(int index) { return renderTargets[index]; }

// Largest channel difference; colourOnly skips alpha.
inline int maxDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, int colourOnly = 0)
{
    if (a.size() != b.size()) return 256;
    int worst = 0;
    for (size_t i = 0; i < a.size(); i++) {
        if (colourOnly && i % 4 == 3) continue;
        worst = std::max(worst, abs((int)a[i] - (int)b[i]));
    }
    return worst;
}

// A picture with edges and gradients: bright vertical bars on a dim ramp.
inline int patternTexture(int width, int height)
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

inline void fillTarget(int index, int texture)
{
    const int textures[1] = {texture};
    bindRenderTarget(index);
    drawOverlayQuad(textures, 0.5f, 0.5f, 1.0f, 1.0f, 1, 0xFFFFFFFFu, Opaque, -1);
    unbindRenderTarget(index);
}

// ---- post buffers --------------------------------------------------------------
