// The single scene camera and mesh placement: setCamera/lerpCamera (ignored
// while the author steers in tweak mode) and the lazy rebuild of view and model matrices behind their dirty flags.
#include "render/render.h"
#include "assets/assets.h"
#include <math.h>

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
