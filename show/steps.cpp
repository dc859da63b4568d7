// The steps the scene routines share: placing meshes and the camera, track
// values as colours, posing animations, the skybox, additive layers, the
// bokeh pass of scenes 1 to 3 and the colour-correct + grade tail.
#include "show/show_local.h"
#include <GL/glew.h>

void placeMesh(Mesh* mesh, float x, float y, float z, float yaw, float pitch, float roll)
{
    mesh->x = x;
    mesh->y = y;
    mesh->z = z;
    mesh->yaw = DEG2RAD(yaw);
    mesh->pitch = DEG2RAD(pitch);
    mesh->roll = DEG2RAD(roll);
    mesh->dirty = 1;
}

void cameraSegment(float driver, int keyCount, int* n, float* f)
{
    int last = keyCount - 2;   // first key of the last segment
    if (!(driver >= 0.0f)) {   // below the path, or NaN
        *n = 0;
        *f = 0.0f;
        return;
    }
    if (driver >= (float)(last + 1)) {
        *n = last;
        *f = 1.0f;
        return;
    }
    *n = (int)driver;
    *f = driver - (float)*n;
}

void driveCamera(const CameraKey* keys, int keyCount, float driver)
{
    int n = 0;
    float f = 0.0f;
    cameraSegment(driver, keyCount, &n, &f);
    lerpCamera(&keys[n], &keys[n + 1], f);
}

uint32_t trackByte(float value)
{
    double scaled = (double)value * 255.0;
    if (!(scaled > 0.0)) return 0;   // negative or NaN
    if (scaled >= 255.0) return 255;
    return (uint32_t)scaled;
}

uint32_t fadeColour(float value) { return trackByte(value) * 0x01010101u; }

uint32_t blurMixColour(float post1)
{
    float a = 16.0f * post1;
    if (!(a > 0.0f)) a = 0.0f;
    if (a > 1.0f) a = 1.0f;
    return 0xFFFFFF00u | (uint32_t)(255.0f * a);
}

float bokehScale(float post1, int width, float pixDivisor)
{
    if (width <= 1024) return post1;
    return post1 * 4.0f / pixDivisor;
}

void bokehBlurAndMix(float post1, float post2)
{
    int sceneTexture = renderTargets[sceneTarget]->colorTexture;
    int halfTexture = renderTargets[halfTarget]->colorTexture;
    uint32_t mix = blurMixColour(post1);
    // Mixed at alpha 0 the blur would leave the scene exactly as it is, so it
    // is not drawn (most frames of scenes 1 to 3 are sharp). The half buffer
    // then keeps what it held; nothing else reads it in these scenes.
    if ((mix & 0xFFu) == 0) {
        beginSceneTarget();
        return;
    }

    bindRenderTarget(halfTarget);
    queueUniform("scale", bokehScale(post1, windowWidth, factorPix));
    queueUniform("intensity", 20.0f);
    queueUniform("highlight", post2);
    queueUniform("factorPix", factorPix);
    queueUniform("factorTex", 1.0f);
    drawOverlayQuad(&sceneTexture, 0.5f, 0.5f, 1.0f, 1.0f, 1, 0xFFFFFFFFu, Opaque, res.progBokeh);
    unbindRenderTarget(halfTarget);

    beginSceneTarget();
    drawOverlayQuad(&halfTexture, 0.5f, 0.5f, 1.0f, 1.0f, 1, mix, AlphaBlend, -1);
}

void poseAnimation(Mesh* mesh, float position)
{
    if (mesh->frameCount == 0 || mesh->vertexCount == 0) return;
    float last = (float)(mesh->frameCount - 1);
    if (!(position > 0.0f)) position = 0.0f;   // NaN too
    if (position > last) position = last;
    blendMeshFrames(mesh, position);
}

void poseScrub(Mesh* mesh, float scrub)
{
    if (mesh->frameCount == 0 || mesh->vertexCount == 0) return;
    blendMeshFrames(mesh, scrub * (float)(mesh->frameCount - 1));
}

// The two domes' pictures span the whole horizon: a picture T texels wide
// puts T * fov / 360 texels across a view of fov degrees. Where that is at
// most half the window's width the dome is magnified everywhere it shows and
// its mip levels are never read (a sweep of the show every 2 s at 640x360
// and 960x540 gave the same pixels either way), so it is read from level 0
// alone: the driver's plain bilinear path. Smaller windows keep the levels.
// Asked of the GL on every draw (a setting left as it was costs the driver
// nothing), so a reloaded picture or a name used again is fitted too. The
// speed lines' tunnel is minified toward its far end and keeps its levels.
static void fitDomeFilter(int index, int texture, float fov)
{
    if (index > 1 || texture <= 0) return;
    int width = 0, height = 0;
    glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
    boundTextureSize(&width, &height);   // unknown (0) in the browser: the levels stay
    int levelZero = width > 0 && (float)width * fov / 360.0f <= 0.5f * (float)windowWidth;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, levelZero ? GL_LINEAR : GL_LINEAR_MIPMAP_LINEAR);
}

// The domes and the speed lines lie at the far plane (sky.vs, scroll.vs)
// and are tested with LEQUAL without writing depth: drawn after a scene's
// opaque geometry they shade only the pixels nothing covers (the same
// picture as drawn first, for less work).
void drawSkybox(int index)
{
    if (index < 0 || index > 2) return;
    Mesh* mesh = &res.skyMeshes[index];
    const Camera* cam = activeCamera ? activeCamera : &camera;
    mesh->x = cam->x;
    mesh->y = cam->y;
    mesh->z = cam->z;
    mesh->yaw = mesh->pitch = mesh->roll = DEG2RAD(0.0f);
    mesh->dirty = 1;
    fitDomeFilter(index, mesh->textures[0], cam->fov);
    glDisable(GL_CULL_FACE);
    int depthWrites = beginFarPlaneDraws();
    drawMesh(mesh);
    endFarPlaneDraws(depthWrites);
    glEnable(GL_CULL_FACE);
}

void drawAdditive(Mesh* mesh)
{
    int previous = currentBlendMode;
    setBlendMode(Additive);
    drawMesh(mesh);
    setBlendMode(previous);
}

void drawAdditiveSplash(void)
{
    glDisable(GL_CULL_FACE);
    drawAdditive(&res.splashMesh);
    glEnable(GL_CULL_FACE);
}

// The lift 0xRRGGBB00 as red, green and blue in 0..1.
static void liftColour(uint32_t lift, float colour[3])
{
    colour[0] = (float)(lift >> 24) / 255.0f;
    colour[1] = (float)((lift >> 16) & 0xFFu) / 255.0f;
    colour[2] = (float)((lift >> 8) & 0xFFu) / 255.0f;
}

void correctColour(int dst, int src, float gamma, float contrast, float luminosity, uint32_t lift)
{
    float colour[3];
    liftColour(lift, colour);
    queueUniformEntry("lift", Vec3, 0.0f, 0.0f, colour);
    queueUniform("con", contrast);
    queueUniform("lum", luminosity);
    if (gamma == 1.0f) {
        copyTarget(dst, src, res.progContrast);
        return;
    }
    queueUniform("gamma", gamma);
    copyTarget(dst, src, res.progColorCorrect);
}

// The grade corrects the scene as it reads it: a corrected full-size copy
// cost a pass of its own (a fetch and a write per pixel) for the same picture.
void colourCorrectAndGrade(float gamma, float contrast, float luminosity, uint32_t lift, int preset)
{
    ColourCorrection correction = {{0.0f, 0.0f, 0.0f}, contrast, luminosity, gamma};
    liftColour(lift, correction.lift);
    gradeFrame(sceneTarget, preset, &correction);
}
