// GLFW's latest error text in the browser: its GLFW (the 3.2 API) keeps none.
#include "platform/platform.h"

const char* windowSystemError(void) { return nullptr; }
