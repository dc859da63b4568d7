// The size of a texture's first level, asked of the GL (the browser's GL has
// no such query: its twin in web/ answers that it cannot tell).
#include "render/render.h"
#include <GL/glew.h>

int boundTextureSize(int* width, int* height)
{
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    *width = (int)w;
    *height = (int)h;
    return w > 0 && h > 0;
}
