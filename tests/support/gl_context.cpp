// Test support: the shared hidden GL window and reading pixels back.
#include "support/gl_context.h"
#include <GL/glew.h>
#include <GLFW/glfw3.h>

static GLFWwindow* testWindowHandle = nullptr;

GLFWwindow* testWindow(void) { return testWindowHandle; }

int testGLContext(int width, int height)
{
    static int ready = -1;
    if (ready == 0) return 0;
    if (ready == -1) {
        ready = 0;
        if (!glfwInit()) return 0;
        glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
        glfwWindowHint(GLFW_DEPTH_BITS, 32);
        GLFWwindow* w = glfwCreateWindow(width, height, "kestrel-test", nullptr, nullptr);
        if (!w) return 0;
        glfwMakeContextCurrent(w);
        glewExperimental = GL_TRUE;
        if (glewInit() != GLEW_OK) return 0;
        testWindowHandle = w;
        ready = 1;
    }
    int fw = 0, fh = 0;
    glfwGetFramebufferSize(testWindowHandle, &fw, &fh);
    if (fw != width || fh != height) {
        glfwSetWindowSize(testWindowHandle, width, height);
        for (int i = 0; i < 50; i++) {
            glfwPollEvents();
            glfwGetFramebufferSize(testWindowHandle, &fw, &fh);
            if (fw == width && fh == height) break;
            glfwWaitEventsTimeout(0.01);
        }
    }
    glViewport(0, 0, width, height);
    return 1;
}

std::vector<unsigned char> readPixels(int x, int y, int width, int height)
{
    std::vector<unsigned char> out((size_t)width * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    return out;
}
