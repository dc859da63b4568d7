// Internals of the show, for its own files and tests: the resource slots the
// table fills, the steps the scene routines share and the scenes' helpers.
#pragma once
#include "show/show.h"
#include "assets/assets.h"
#include "post/post.h"
#include "render/render.h"
#include "sync/sync.h"
#include "platform/platform.h"

// ---- resource slots, by the rows that fill them ---------------------------------------
// Every program, mesh and texture of the show: one record the resource table's
// rows point into and the scenes draw from.
struct ShowSlots {
    int progEnv, progScroll, progSplash, progNrmLite, progLight, progStill, progFire, progBokeh, progColorCorrect,
        progLomofi, progBills, progCar, progTrail, progGreet, progShroom, progDrunk, progContrast, progSky, progPicture,
        progLomofiContrast, progLomofiCorrect;
    Mesh skyMeshes[3];      // rows 10, 11, 12: skybox, skybox2, speed lines
    Mesh jugMeshes[5];      // rows 1, 71, 74, 4, 77: jug, greeting jug, broken greeting jug, intact jug, nuke jug
    Mesh rodMeshes[3];      // rows 59, 60, 65: bullet, hot rod, small bullet
    Mesh shroomMeshes[2];   // rows 81, 84: stem, top
    Mesh splashMesh, logMesh, stillMesh, fireMesh, bottlesMesh, billMesh, pressMesh, pressBillMesh, rollMesh,
        kaleidoMesh, gunMesh, m47Mesh, bloodMesh, shotMesh, trailMesh;
    int texGrain, texLeak, texDirt, texBgRed;
    int texBills[4];   // rows 37..40
};
extern ShowSlots res;

// A track value as a whole number, truncated toward zero; beyond +-1e6 (or
// NaN) 0 instead of an undefined conversion.
int truncTrack(float value);
// The flare of the final grade for a scene number: dimmed in scene 7, whose
// bright speed lines would flood it.
float flareAmount(float sceneValue);

// ---- shared scene steps ------------------------------------------------------------
// Centred on the eye, without culling, at the far plane: behind everything
// drawn before or after it, shading only the pixels no geometry covers
// (draw it after the opaque geometry): skybox 0 or 1, or the speed lines
// (2); any other index draws nothing.
void drawSkybox(int index);
// Poses an animated mesh at scrub 0..1 of its frames (frame scrub × (frames − 1));
// a mesh that failed to load is left as it is.
void poseScrub(Mesh* mesh, float scrub);
// Draws a mesh with the additive blend (no depth writes), then restores the mode.
void drawAdditive(Mesh* mesh);
// The splash adds light over what is drawn: both faces, additive.
void drawAdditiveSplash(void);
// Colour correction of post buffer src into dst (both unbound): the colour
// lift (0xRRGGBB00, saturating) added, then contrast about mid grey,
// luminosity and gamma as the exponent; gamma 1 takes the program without it.
void correctColour(int dst, int src, float gamma, float contrast, float luminosity, uint32_t lift);
// The closing colour correction of scenes 5 to 7: the scene buffer (unbound)
// is graded with preset, corrected as the grade reads it (as correctColour
// would correct it). No buffer is written but the grade's own.
void colourCorrectAndGrade(float gamma, float contrast, float luminosity, uint32_t lift, int preset);
// Scenes 2 and 3: the frame in fullTarget colour-corrected into sceneTarget
// with the drunken distortion of the given strength (post2) over it.
void gradeAndDistort(float strength);
// ---- scene helpers -----------------------------------------------------------
// Small steps the scene routines share; declared here so tests can check them.

// Writes a mesh's position and its angles (given in degrees, stored in
// radians) and raises its dirty flag so the next draw rebuilds its matrices.
void placeMesh(Mesh* mesh, float x, float y, float z, float yaw, float pitch, float roll);
// Splits a camera driver into key n (0 .. keyCount-2) and factor f (0 .. 1).
// A driver below the first key or past the last clamps to the first or last
// segment; NaN counts as 0. keyCount must be at least 2.
void cameraSegment(float driver, int keyCount, int* n, float* f);
// lerpCamera between the two keys of the driver's segment.
void driveCamera(const CameraKey* keys, int keyCount, float driver);
// trunc(value * 255) clamped to one byte, so a track value outside 0..1 never
// spills into a neighbouring channel.
uint32_t trackByte(float value);
// The same byte in all four channels: a grey fade for the Multiply blend.
uint32_t fadeColour(float value);
// White with alpha trunc(255 * clamp(16 * post1, 0, 1)): how much of the
// bokeh blur replaces the scene.
uint32_t blurMixColour(float post1);
// The bokeh "scale" uniform: post1, doubled (× 4 / factorPix) on windows wider
// than 1024 pixels.
float bokehScale(float post1, int width, float pixDivisor);
// The bokeh pass shared by scenes 1 to 3: the scene buffer (unbound) is blurred
// into the half buffer, then the scene buffer is begun again and the blur mixed
// over it by post1 (post2 the blur's highlight). Where post1 gives the mix
// alpha 0 only the scene buffer is begun again: the blur would not change a pixel.
void bokehBlurAndMix(float post1, float post2);

// Scenes 2-4 lay out their hundred instances from randomTable.
// Bottle i of scenes 2 and 3 at rise B (0 on the ground, 1 fully risen).
void placeBottle(Mesh* mesh, int i, float rise);
// Spread of the bill cloud for scrub s; only meaningful for s >= 0.1.
float billSpread(float s);
// Bill i of scene 4 at spread m: placement and texture slot 0.
void placeBill(Mesh* mesh, int i, float spread);

// ---- scenes 5 to 9 -------------------------------------------------------------
// blendMeshFrames at a frame position, for a mesh that has frames; a mesh that
// failed to load is left as it is. The position is clamped to 0 .. frameCount-1.
void poseAnimation(Mesh* mesh, float position);
// Scene 5: phase of the press loop (four loops a second) at a time.
float loopPhase(float time);
// Roll angles (radians) of the kaleidoscope copies in draw order, for part
// copies around the camera's own roll: copy j = part-1 down to 0 at
// cameraRoll + j * 2pi / part. Returns the number written: 0 for part <= 0,
// never more than capacity, and part is held to 64 copies (a runaway track
// would otherwise cost one full-screen draw per unit).
int kaleidoRolls(int part, float cameraRoll, float* rolls, int capacity);
// How many of a kaleidoscope wedge's triangles, in index order, to draw so
// that every one reaching into the nearest share (0..1) of the wedge's
// distances ahead of the eye (-z) is drawn: 1 + the last such triangle's
// index; all of them for a mesh without vertices or indices.
uint32_t kaleidoTriangles(const Mesh* mesh, float share);
// Scene 5's tint: colour 0x224411 with alpha trunc(255 * post1), clamped.
uint32_t tintColour(float post1);
// Money roll j (0..2) at var1: its distance from the centre (15 .. 65) and its
// whole placement at a time.
float rollRadius(int j, float var1);
void placeRoll(Mesh* mesh, int j, float var1, float time);
// Scene 6: the backdrop's height (a 4:3 picture across the full width) for a
// camera aspect (height over width), and the bullet's z for a part value.
float backdropHeight(float aspect);
float bulletZ(float part);
// Scene 7: the object's wobble offsets a (along z) and b (along y) at a time.
void rodWobble(float time, float* a, float* b);
// Scenes 8 and 9: the place of field jug j (0..15; jug number 15 - j) on the
// 2048 x 2048 square, and the state of jug number i at var1.
void jugPlace(int j, float* x, float* z);
// The field jugs j in the order to draw them: nearest the eye (at x, z) first,
// ties in field order.
void jugsNearFirst(float eyeX, float eyeZ, int order[16]);
enum JugState { JugBroken = 0, JugBreaking = 1, JugWhole = 2 };
// Returns the JugState; *progress gets the break progress 0..1 of the breaking jug.
int jugState(int i, float var1, float* progress);
// Poses the broken jug in the resting pose of field jug j (table entry
// 302 + 3j modulo the poses); a mesh with a single frame keeps it.
void poseBrokenJug(Mesh* broken, int j);
// Scene 9: the mushroom's inner glow (3 at var1 0, 0 at 1; var1 below 0 is 0),
// the additive flash colour for a glow, and the closing darkening for a part.
float shroomGlow(float var1);
uint32_t flashColour(float glow);
// Scene 9: the cloud's glow (halfTarget, from part 0 on) and the flash
// colour added over the picture in the bound framebuffer, clamped at white.
void addGlowAndFlash(float part, uint32_t flash);
uint32_t darkenColour(float part);
