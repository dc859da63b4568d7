// The size of a texture's first level in WebGL 1, which cannot be asked:
// never known here, so callers keep what they would do without it.
#include "render/render.h"

int boundTextureSize(int* width, int* height)
{
    *width = *height = 0;
    return 0;
}
