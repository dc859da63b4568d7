// Scene 9, the broken jugs and the mushroom cloud: the field of scene 8 lies
// broken and raised; the nuke jug bursts (part -1 to 0), the mushroom cloud
// grows and glows under a fading flash (var1), and part 1 to 2 darkens the
// picture to black under a bokeh blur, the show's last frames.
#include "show/show_local.h"
#include <GL/glew.h>
#include <math.h>
#include <stdlib.h>

static const CameraKey cloudKeys[6] = {
    {115.0f, 299.0f, 641.0f, 167.0f, -16.0f, 0.0f, 20.0f, 10000.0f, 53.0f},
    {-24.0f, 1115.0f, 172.0f, 188.0f, -77.0f, 0.0f, 20.0f, 10000.0f, 53.0f},
    {1261.0f, 25.871f, 1077.61f, 139.498f, 13.7937f, 0.0f, 20.0f, 10000.0f, 75.0f},
    {473.875f, 68.0075f, 1249.24f, 173.875f, 14.3667f, 0.0f, 20.0f, 10000.0f, 75.0f},
    {-48.5887f, 104.641f, 546.241f, 184.188f, 7.49122f, 0.0f, 20.0f, 10000.0f, 75.0f},
    {-48.5887f, 86.8813f, 549.302f, 184.188f, 1.76165f, 0.0f, 20.0f, 10000.0f, 30.0f},
};

static float nonNegative(float var1) { return var1 > 0.0f ? var1 : 0.0f; }   // NaN too

float shroomGlow(float var1)
{
    float p = (float)pow((double)nonNegative(var1), (double)0.2f);
    return 3.0f * (1.0f - p);
}

uint32_t flashColour(float glow) { return fadeColour(glow * 0.5f); }

uint32_t darkenColour(float part) { return fadeColour(2.0f - part); }

static void fullQuad(int texture, uint32_t colour, int blendMode, int program)
{
    drawOverlayQuad(&texture, 0.5f, 0.5f, 1.0f, 1.0f, 1, colour, blendMode, program);
}

// The sixteen broken jugs of scene 8, raised by 100, each on its log.
static void drawBrokenField(void)
{
    Mesh* broken = &res.jugMeshes[2];
    int seed = rand();
    int order[16];
    jugsNearFirst(activeCamera->x, activeCamera->z, order);
    for (int k = 0; k < 16; k++) {
        int j = order[k];
        float x = 0.0f, z = 0.0f;
        jugPlace(j, &x, &z);
        // Only what may show is posed and drawn (as in scene 8).
        placeMesh(&res.logMesh, x, -87.0f, z, 0.0f, 0.0f, 0.0f);
        if (meshInView(&res.logMesh)) drawMesh(&res.logMesh);
        placeMesh(broken, x, 100.0f, z, 0.0f, 0.0f, 0.0f);
        if (!meshInView(broken)) continue;
        poseBrokenJug(broken, j);
        queueUniform("grt", (float)(15 - j));
        drawMesh(broken);
    }
    srand((unsigned)seed);
}

// The object at the centre: the nuke jug bursting while part < 0, then the
// mushroom cloud (glowing, the picture so far blurred into halfTarget). The
// sky comes after it, the last opaque draw: it then shades only what neither
// the field nor the centre covers. Leaves sceneTarget unbound.
static void drawCentre(float part, float var1, float post1, float post2)
{
    placeMesh(&res.logMesh, 0.0f, -87.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    if (part < 0.0f) {
        Mesh* nuke = &res.jugMeshes[4];
        float u = part + 1.0f;
        if (!(u > 0.0f)) u = 0.0f;
        placeMesh(nuke, 0.0f, 100.0f, 0.0f, 0.0f, 0.0f, 0.0f);
        poseAnimation(nuke, (float)(nuke->frameCount - 1) * u);
        drawMesh(nuke);
        drawMesh(&res.logMesh);
    } else {
        drawMesh(&res.logMesh);
        Mesh* cloud = &res.shroomMeshes[part >= 1.0f ? 1 : 0];
        placeMesh(cloud, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
        poseAnimation(cloud, (float)(cloud->frameCount - 1) * sqrtf(nonNegative(var1)));
        queueUniform("light", shroomGlow(var1));
        int previous = currentBlendMode;
        setBlendMode(Opaque);
        drawMesh(cloud);
        setBlendMode(previous);
    }
    drawSkybox(0);
    unbindRenderTarget(sceneTarget);
    if (!(part < 0.0f)) blurTarget(sceneTarget, halfTarget, post1, post2);
}

// The cloud's glow and the flash added to the picture in one additive
// layer: min(glow + flash, 1) added and clamped at white by the blender, the
// sum the scene made of two additive layers, in one pass over the frame.
// Built on first use (and again for a new GL context); 0 or below when it
// fails to build, then the layers are drawn one by one.
static const char glowSumVertexText[] =
    "attribute vec3 PosAttribute;\nattribute vec2 TexAttribute;\nvarying vec2 uv;\n"
    "void main()\n{\n    gl_Position = vec4(PosAttribute, 1.0);\n    uv = TexAttribute;\n}\n";
static const char glowSumFragmentText[] =
    "#ifdef GL_FRAGMENT_PRECISION_HIGH\nprecision highp float;\n#else\nprecision mediump float;\n#endif\n"
    "uniform sampler2D tex0;\nuniform vec4 vcol;\nvarying vec2 uv;\n"
    "void main()\n{\n    gl_FragColor = min(texture2D(tex0, uv) + vcol, 1.0);\n}\n";

static int glowSumProgram(void)
{
    static int program = 0;
    static int tried = 0;
    if (program > 0 && !glIsProgram((GLuint)program)) tried = 0;
    if (!tried) {
        tried = 1;
        program = bindPostAttributes(createShaderProgram(glowSumVertexText, glowSumFragmentText, 1));
    }
    return program;
}

// Over the picture in the bound sceneTarget: the cloud's glow (halfTarget,
// from part 0 on) and the flash, added. A black flash adds nothing and is
// not drawn.
void addGlowAndFlash(float part, uint32_t flash)
{
    int program = part >= 0.0f ? glowSumProgram() : 0;
    if (program > 0) {
        fullQuad(renderTargets[halfTarget]->colorTexture, flash, Additive, program);
        return;
    }
    if (part >= 0.0f) fullQuad(renderTargets[halfTarget]->colorTexture, 0xFFFFFFFFu, Additive, -1);
    if (flash != 0) fullQuad(0, flash, Additive, -1);
}

// From part 1 on: the bokeh-blurred scene replaces the picture (fully from 1.125).
static void bokehOver(float part)
{
    float q = part - 1.0f;
    unbindRenderTarget(sceneTarget);
    bindRenderTarget(halfTarget);
    queueUniform("scale", bokehScale(q, windowWidth, factorPix));
    queueUniform("intensity", 20.0f);
    queueUniform("highlight", 1.0f);
    queueUniform("factorPix", factorPix);
    queueUniform("factorTex", 1.0f);
    fullQuad(renderTargets[sceneTarget]->colorTexture, 0xFFFFFFFFu, Opaque, res.progBokeh);
    unbindRenderTarget(halfTarget);
    bindRenderTarget(sceneTarget);
    glClear(GL_DEPTH_BUFFER_BIT);
    fullQuad(renderTargets[halfTarget]->colorTexture, 0xFFFFFF00u | trackByte(8.0f * q), AlphaBlend, -1);
}

void drawScene9(const ShowFrame* frame)
{
    float part = frame->tracks[TrackPart];
    float var1 = frame->tracks[TrackVar1];
    float glow = shroomGlow(var1);
    // Drawn straight into the scene buffer: the glow is added over it.
    bindRenderTarget(sceneTarget);
    // The red clear is this scene's own: the previous clear colour is put back
    // so later clears elsewhere do not turn red.
    GLfloat savedClear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, savedClear);
    glClearColor(1.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(savedClear[0], savedClear[1], savedClear[2], savedClear[3]);
    driveCamera(cloudKeys, 6, frame->tracks[TrackVar0]);
    drawBrokenField();
    drawCentre(part, var1, frame->tracks[TrackPost1], frame->tracks[TrackPost2]);

    beginSceneTarget();
    addGlowAndFlash(part, flashColour(glow));
    if (part > 1.0f) {
        fullQuad(0, darkenColour(part), Multiply, -1);
        bokehOver(part);
    }
    postProcessFrame(1);
}
