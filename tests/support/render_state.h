// Test support for the floors from render up: the engine's fixed GL state (as
// start-up leaves it) and an off-screen buffer to draw into at any size.
#pragma once
#include "support/gl_context.h"

// Depth test (less), back faces culled with clockwise fronts, blending on, and
// the blend-mode cache made to agree with the GL (Opaque).
void engineGLState(void);
// Draws into an off-screen colour + depth buffer of the given size (the hidden
// test window cannot be relied on to resize), with the viewport, windowWidth,
// windowHeight, the engine's GL state and an empty uniform queue. Returns 1, or
// 0 without a display or when the buffer is incomplete.
int useOffscreen(int width, int height);
