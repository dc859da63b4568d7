// libFuzzer target: the shader-file reading steps (size limit, unscrambling,
// the #version test) on arbitrary bytes, as a file read into the loader's
// zero-filled buffer would give them; no GL is involved.
#include "assets/assets_local.h"
#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A buffer of exactly the loader's size on the heap, so a read past its
    // end is an AddressSanitizer report.
    char* buffer = (char*)calloc(1, ShaderSourceCapacity);
    if (!buffer) return 0;
    size_t count = size < ShaderSourceCapacity ? size : ShaderSourceCapacity;   // as fread fills it
    memcpy(buffer, data, count);
    const char* text = shaderFileText(buffer, count);
    if (!text) {
        if (size < ShaderSourceCapacity || buffer[0] != 0) abort();   // refused only when full
    } else {
        if (text != buffer && text != buffer + 1) abort();
        const char* parts[2] = {nullptr, nullptr};
        int n = shaderSourceParts(text, parts);
        if (n < 1 || n > 2) abort();
        size_t total = 0;
        for (int i = 0; i < n; i++) total += strlen(parts[i]);   // each part terminated
        if (strlen(text) >= ShaderSourceCapacity || total < strlen(text)) abort();
    }
    free(buffer);
    return 0;
}
