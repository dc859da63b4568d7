// Matrix arithmetic of the rendering core: 4×4 column-major single-precision
// matrices (element (r, c) at index 4·c + r) and the perspective projection.
#include "render/render.h"
#include <math.h>

void matIdentity(float* m)
{
    for (int i = 0; i < 16; i++) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

// out = a·b: b is applied first. out must not alias a or b.
void matMultiply(float* out, const float* a, const float* b)
{
    for (int c = 0; c < 4; c++) {
        for (int r = 0; r < 4; r++) {
            float sum = 0.0f;
            for (int k = 0; k < 4; k++) sum += a[4 * k + r] * b[4 * c + k];
            out[4 * c + r] = sum;
        }
    }
}

// Writes cam->projection from the horizontal fov (degrees), the aspect
// (height / width) and the clip distances. An aspect of zero or not finite
// would make the vertical scale meaningless: the projection is then left as it
// was (callers refuse such aspects before they get here).
void matPerspective(Camera* cam)
{
    if (!(cam->aspect != 0.0f) || !isfinite(cam->aspect)) return;
    float half = cam->fov * 3.1416f / 360.0f;
    float t = (float)tan((double)half);
    float* p = cam->projection;
    matIdentity(p);
    p[0] = 1.0f / t;
    p[5] = 1.0f / (cam->aspect * t);
    p[10] = (cam->far + cam->near) / (cam->near - cam->far);
    p[14] = 2.0f * cam->far * cam->near / (cam->near - cam->far);
    p[11] = -1.0f;
    p[15] = 0.0f;
}
