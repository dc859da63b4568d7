// Test support for the floors from post up: the post buffers of a small window
// and reading a post buffer back.
#pragma once
#include "support/render_state.h"

// The test window at width x height with the engine's GL state, windowWidth,
// windowHeight, the camera aspect and the post buffers made for that size, once
// per program (the first call's size stays). Returns 1 when the scene, full and
// half buffers exist.
int useSceneBuffers(int width, int height);
// All pixels of a post buffer (pool index), read with the buffer bound and
// the previous binding restored.
std::vector<unsigned char> readTargetPixels(int index);
