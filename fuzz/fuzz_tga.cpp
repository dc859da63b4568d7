// libFuzzer target: the TGA reader and its RGBA conversion on arbitrary bytes.
#include "assets/assets.h"
#include <stdlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Image image = {0, 0, nullptr, 0};
    if (decodeTgaMemory(data, size, &image)) {
        // Touch every converted byte so a short allocation shows up.
        unsigned sum = 0;
        size_t bytes = (size_t)image.width * image.height * 4;
        for (size_t i = 0; i < bytes; i++) sum += image.pixels[i];
        if (image.width <= 0 || image.height <= 0 || sum == 0xffffffffu) abort();
        free(image.pixels);
    }
    return 0;
}
