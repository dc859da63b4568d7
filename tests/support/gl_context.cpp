// Test support: the shared hidden GL window and small process/file helpers.
#include "support/gl_context.h"
#include "post/post.h"
#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <stdlib.h>

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

std::vector<unsigned char> readTargetPixels(int index)
{
    bindRenderTarget(index);
    std::vector<unsigned char> p = readPixels(0, 0, renderTargets[index]->width, renderTargets[index]->height);
    unbindRenderTarget(index);
    return p;
}

int runCommand(const std::string& command)
{
    int status = system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string makeTempDir(const std::string& name)
{
    std::string dir = "tmp_" + name;
    runCommand("rm -rf '" + dir + "' && mkdir -p '" + dir + "'");
    return dir;
}
