// Internals of the rendering core, for its own files and tests: the uniform
// queue that the next mesh or overlay draw uploads and empties.
#pragma once
#include "render/render.h"

struct UniformEntry {
    char name[UniformNameSize];
    int kind;
    float value;
    float auxValue;
    const float* vector;
};
struct UniformQueue {
    UniformEntry entries[MaxQueuedUniforms];
    int count;
};
extern UniformQueue uniformQueue;

// The framebuffer bindings saveGLState keeps: desktop GL binds the drawing
// and the reading framebuffer apart, WebGL 1 has one binding for both.
void saveFramebufferBindings(SavedGLState* state);
void restoreFramebufferBindings(const SavedGLState* state);
