// The show: its configuration, resource table and data hook, the one call
// that draws the show at a time, the timeline that picks a scene routine by
// the "scene" track every frame, the letterbox, and the nine scene routines.
// The scenes' own helpers and the resource slots are in show_local.h.
#pragma once
#include <stdint.h>

struct DemoConfig;
struct ResourceEntry;

// ---- the show's content ----------------------------------------------------------
extern DemoConfig builtinConfig;        // data directory, soundtrack, data hook, tracks, tempo
extern ResourceEntry resourceTable[];   // every shader pair, mesh and texture, in load order
// The data hook: adapts the loaded meshes to the scenes (units, welded
// normals, tangents, the splash meshes' environment texture).
void prepareShowData(void);
// The data hook's processing for one mesh whose geometry was loaded again.
struct Mesh;
void processShowMesh(Mesh* mesh);
// Binds the post attributes of the table's full-screen programs; run right
// after initPostProcessing.
void bindShowPostPrograms(void);

// ---- drawing the show ----------------------------------------------------------
// One frame of the show: the clock's time, its step since the previous frame
// and whether the previous frame was presented (the film grain moves on then).
struct ShowFrame {
    float time;
    float delta;
    int previousPresented;
};
// Sets the show clock from frame, evaluates the sync tracks, hands the post
// chain this frame's grading amounts, and dispatches the scene. Returns 1
// when the show is over (nothing was drawn), 0 otherwise.
int drawShowFrame(const ShowFrame* frame);

// ---- timeline -------------------------------------------------------------------
extern int prevScene;
extern const unsigned short randomTable[600];

int dispatchScene(void);   // 1 when the show is over

// Where dispatchScene's end rule first fires, judged from the keys alone: the
// row of the first key (of either track, row 0 included) at which the scene
// track goes from 9 straight to 1 (a step, not a slide through 8..2) or holds
// -1 while "part" is exactly -1.0. Interpolated stretches are judged at their
// keys only. Returns the row, or -1 when the tracks never end the show
// (null or empty tracks included).
struct SyncTrack;
long showEndRow(const SyncTrack* scene, const SyncTrack* part);
// showEndRow in seconds at bpm and rowsPerBeat (0 means 120 and 4, as the
// player reads them); -1 when the show never ends.
double showLengthSeconds(const SyncTrack* scene, const SyncTrack* part, float bpm, int rowsPerBeat);
void drawLetterbox(void);

void drawScene1(float var0);
void drawScenes2And3(int mode, float time, float var0, float var1);
void drawScene4(float var0);
void drawScene5(float time, int part, float var0, float var1);
void drawScene6(float part, float var0, float var1);
void drawScene7(float time, float part, float var0);
void drawScene8(float var0, float var1);
void drawScene9(float part, float var0, float var1);

// The routines dispatchScene calls, initially drawScene1 .. drawScene9. Tests
// swap entries to watch what the timeline passes.
struct SceneRoutines {
    void (*scene1)(float var0);
    void (*scenes2And3)(int mode, float time, float var0, float var1);
    void (*scene4)(float var0);
    void (*scene5)(float time, int part, float var0, float var1);
    void (*scene6)(float part, float var0, float var1);
    void (*scene7)(float time, float part, float var0);
    void (*scene8)(float var0, float var1);
    void (*scene9)(float part, float var0, float var1);
};
extern SceneRoutines sceneRoutines;
