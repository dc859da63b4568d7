// GLFW's latest error text (GLFW 3.3 keeps it for the caller to ask).
#include "platform/platform.h"
#include <GLFW/glfw3.h>

const char* windowSystemError(void)
{
    const char* reason = nullptr;
    glfwGetError(&reason);
    return reason;
}
