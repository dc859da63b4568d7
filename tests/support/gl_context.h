// Test support: a real GL context (Mesa llvmpipe under Xvfb) for GL tests, and
// reading its pixels back.
#pragma once
#include "support/files.h"
#include <vector>

// Creates (once per process) a hidden compatibility-profile window of the given
// size with GLEW loaded and makes it current; later calls resize it and set the
// viewport. It sets no engine global: tests set windowWidth and friends
// themselves. Returns 1, or 0 without a display.
struct GLFWwindow;
int testGLContext(int width = 64, int height = 64);
GLFWwindow* testWindow(void);

// RGBA8 pixels of the bound read framebuffer, bottom row first.
std::vector<unsigned char> readPixels(int x, int y, int width, int height);
