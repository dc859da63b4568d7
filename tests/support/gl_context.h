// Test support: a real GL context (Mesa llvmpipe under Xvfb) for GL tests, and
// helpers to read pixels back and run the built program.
#pragma once
#include <string>
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
// All pixels of a post buffer (pool index), read with the buffer bound and
// the previous binding restored.
std::vector<unsigned char> readTargetPixels(int index);

// Runs a shell command, returns its exit status (-1 if it did not exit normally).
int runCommand(const std::string& command);
std::string readFile(const std::string& path);
// A fresh empty directory under the test's working directory.
std::string makeTempDir(const std::string& name);
