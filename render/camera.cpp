// The single scene camera and mesh placement: setCamera/lerpCamera (ignored
// while the author steers in tweak mode) and the lazy rebuild of view and model matrices behind their dirty flags.
#include "render/render.h"
#include "assets/assets.h"
#include <math.h>
#include <string.h>

// Rotation builders: identity, then the four entries of the right-handed
// rotation about one axis.
static void rotationX(float* m, float angle)
{
    float c = (float)cos((double)angle), s = (float)sin((double)angle);
    matIdentity(m);
    m[5] = c;
    m[6] = s;
    m[9] = -s;
    m[10] = c;
}

static void rotationY(float* m, float angle)
{
    float c = (float)cos((double)angle), s = (float)sin((double)angle);
    matIdentity(m);
    m[0] = c;
    m[2] = -s;
    m[8] = s;
    m[10] = c;
}

static void rotationZ(float* m, float angle)
{
    float c = (float)cos((double)angle), s = (float)sin((double)angle);
    matIdentity(m);
    m[0] = c;
    m[1] = s;
    m[4] = -s;
    m[5] = c;
}

static void translation(float* m, float x, float y, float z)
{
    matIdentity(m);
    m[12] = x;
    m[13] = y;
    m[14] = z;
}

// The view is the exact inverse of the mesh placement for the camera's own
// position and angles: Rz(roll)·Rx(−pitch)·Ry(−yaw)·T(−x, −y, z).
void updateViewMatrix(void)
{
    Camera* cam = activeCamera;
    if (!cam || !cam->dirty) return;
    float t[16], rx[16], ry[16], rz[16], rxy[16];
    translation(t, -cam->x, -cam->y, cam->z);
    rotationX(rx, -cam->pitch);
    rotationY(ry, -cam->yaw);
    rotationZ(rz, cam->roll);
    matPerspective(cam);
    matMultiply(rxy, rx, ry);
    matMultiply(cam->rotation, rz, rxy);
    matMultiply(cam->view, cam->rotation, t);
    cam->dirty = 0;
}

// model = T(x, y, −z)·Ry(yaw)·Rx(pitch)·Rz(−roll); authored z points away from GL's.
void updateModelMatrix(Mesh* mesh)
{
    if (!mesh || !mesh->dirty) return;
    float rx[16], ry[16], rz[16];
    rotationX(rx, mesh->pitch);
    rotationY(ry, mesh->yaw);
    rotationZ(rz, -mesh->roll);
    matMultiply(mesh->scratch, ry, rx);
    matMultiply(mesh->rotation, mesh->scratch, rz);
    translation(mesh->scratch, mesh->x, mesh->y, -mesh->z);
    matMultiply(mesh->model, mesh->scratch, mesh->rotation);
    mesh->dirty = 0;
}

// Angles in degrees; does nothing while the author steers (tweakMode 1).
void setCamera(float x, float y, float z, float yaw, float pitch, float roll, float near, float far, float fov)
{
    if (tweakMode == 1) return;
    camera.x = x;
    camera.y = y;
    camera.z = z;
    camera.yaw = DEG2RAD(yaw);
    camera.pitch = DEG2RAD(pitch);
    camera.roll = DEG2RAD(roll);
    camera.near = near;
    camera.far = far;
    camera.fov = fov;
    camera.dirty = 1;
}

void lerpCamera(const CameraKey* from, const CameraKey* to, float t)
{
    if (tweakMode == 1 || !from || !to) return;
    float u = 1.0f - t;
    setCamera(from->x * u + to->x * t, from->y * u + to->y * t, from->z * u + to->z * t, from->yaw * u + to->yaw * t,
              from->pitch * u + to->pitch * t, from->roll * u + to->roll * t, from->near * u + to->near * t,
              from->far * u + to->far * t, from->fov * u + to->fov * t);
}

// A minimised window reports 0 × 0: its quotient is not an aspect, so the
// camera keeps the one it had and the projection stays usable.
void setCameraAspect(int width, int height)
{
    if (width <= 0 || height <= 0) return;
    float aspect = (float)height / (float)width;
    if (!(aspect != 0.0f) || !isfinite(aspect)) return;
    camera.aspect = aspect;
    camera.dirty = 1;
}

// ---- screen footprint ------------------------------------------------------------------
// Without a near plane, points at or behind this clip w count as behind the eye.
static const float BehindEye = 1e-6f;

// Adds the projection of clip-space point c (w > 0) to the bounds.
static void addProjected(const float c[4], float* left, float* right, float* bottom, float* top)
{
    *left = fminf(*left, c[0] / c[3]), *right = fmaxf(*right, c[0] / c[3]);
    *bottom = fminf(*bottom, c[1] / c[3]), *top = fmaxf(*top, c[1] / c[3]);
}

// The bounds (normalised device x and y) of the part of the box low..high,
// in clip space through clip, that lies at or beyond w = nearW: its corners
// there and where its edges cross that plane. The GL clips everything nearer
// than the near plane, so a box reaching past the eye is bounded by the part
// of it in front. Returns 0 when no part of the box lies there.
static int clippedBoxBounds(const float clip[16], const float low[3], const float high[3], float nearW, float* left,
                            float* right, float* bottom, float* top)
{
    float c[8][4];
    for (int corner = 0; corner < 8; corner++) {
        float p[3] = {corner & 1 ? high[0] : low[0], corner & 2 ? high[1] : low[1], corner & 4 ? high[2] : low[2]};
        for (int r = 0; r < 4; r++)
            c[corner][r] = clip[r] * p[0] + clip[4 + r] * p[1] + clip[8 + r] * p[2] + clip[12 + r];
    }
    *left = *bottom = INFINITY;
    *right = *top = -INFINITY;
    int any = 0;
    for (int a = 0; a < 8; a++) {
        if (c[a][3] >= nearW) {   // NaN is not
            addProjected(c[a], left, right, bottom, top);
            any = 1;
        }
        for (int axis = 1; axis < 8; axis <<= 1) {   // the edges from a to the corners above it
            int b = a | axis;
            if (b == a || (c[a][3] >= nearW) == (c[b][3] >= nearW)) continue;
            float t = (nearW - c[a][3]) / (c[b][3] - c[a][3]);
            if (!(t >= 0.0f && t <= 1.0f)) continue;
            float q[4];
            for (int r = 0; r < 4; r++) q[r] = c[a][r] + t * (c[b][r] - c[a][r]);
            q[3] = nearW;
            addProjected(q, left, right, bottom, top);
            any = 1;
        }
    }
    return any;
}

int meshScreenRect(Mesh* mesh, int width, int height, float marginX, float marginY, int rect[4])
{
    if (!mesh || !mesh->vertices || mesh->vertexCount == 0 || !activeCamera || width <= 0 || height <= 0) return 0;
    float low[3], high[3];
    if (mesh->boxKnown) {
        memcpy(low, mesh->boxLow, sizeof low);
        memcpy(high, mesh->boxHigh, sizeof high);
    } else if (!meshFramesBox(mesh, low, high)) {
        return 0;
    }
    updateViewMatrix();
    updateModelMatrix(mesh);
    float modelView[16], clip[16];
    matMultiply(modelView, activeCamera->view, mesh->model);
    matMultiply(clip, activeCamera->projection, modelView);
    // Clip w is the distance ahead of the eye; the near plane a little
    // nearer still, so that rounding never trims a pixel the GL draws.
    float nearW = activeCamera->near > 0.0f ? activeCamera->near * 0.99f : BehindEye;
    float left, right, bottom, top;
    if (!clippedBoxBounds(clip, low, high, nearW, &left, &right, &bottom, &top)) return 0;
    // Clipped to the view first: a mesh beside the view covers no pixel,
    // however near it lies.
    left = fmaxf(left, -1.0f), right = fminf(right, 1.0f);
    bottom = fmaxf(bottom, -1.0f), top = fminf(top, 1.0f);
    if (!(right > left && top > bottom)) return 0;
    float x0 = fmaxf((left + 1.0f) * 0.5f * (float)width - marginX, 0.0f);
    float x1 = fminf((right + 1.0f) * 0.5f * (float)width + marginX, (float)width);
    float y0 = fmaxf((bottom + 1.0f) * 0.5f * (float)height - marginY, 0.0f);
    float y1 = fminf((top + 1.0f) * 0.5f * (float)height + marginY, (float)height);
    if (!(x1 > x0 && y1 > y0)) return 0;   // a negative margin ate it
    rect[0] = (int)floorf(x0);
    rect[1] = (int)floorf(y0);
    rect[2] = (int)ceilf(x1) - rect[0];
    rect[3] = (int)ceilf(y1) - rect[1];
    return 1;
}

int meshInView(Mesh* mesh)
{
    if (!mesh || !mesh->vertices || mesh->vertexCount == 0 || !activeCamera) return 1;
    int rect[4];
    return meshScreenRect(mesh, 4096, 4096, 0.0f, 0.0f, rect);
}
