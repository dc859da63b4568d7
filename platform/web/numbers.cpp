// Number reading in the browser build: its C++ library has no float
// std::from_chars, so this reader takes nothing and the callers' strtof
// reads every form (the same correctly rounded values, no locale is set).
#include "platform/platform.h"

int readFloatChars(const char*, const char*, float*) { return 0; }
