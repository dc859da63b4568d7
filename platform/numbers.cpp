// Number reading shared by the file readers: floats through std::from_chars.
#include "platform/platform.h"
#include <charconv>

int readFloatChars(const char* begin, const char* end, float* value)
{
    float v = 0.0f;
    std::from_chars_result result = std::from_chars(begin, end, v);
    if (result.ec != std::errc() || result.ptr != end) return 0;
    *value = v;
    return 1;
}
