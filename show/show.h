// The show: its configuration, resource table and data hook, the frame record
// and the one call that draws it, the timeline that picks a scene routine by
// the "scene" track every frame, the letterbox, and the table of scenes.
// The scenes' own helpers and the resource slots are in show_local.h.
#pragma once
#include "show/vocabulary.h"
#include "sync/sync.h"
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
// The same for the table's programs among programs[0, count) only (all when
// count is negative): those a reload just made.
void bindNewShowPostPrograms(const int* programs, int count);

// ---- drawing the show ----------------------------------------------------------
// One frame of the show, the record every scene routine draws from: the
// clock's time, its step since the previous frame, whether the previous frame
// was presented (the film grain moves on then) and every track's value at
// time, by ShowTrack index.
struct ShowFrame {
    float time;
    float delta;
    int grainMovesOn;
    float tracks[MaxTracks];
};
// The frame at time: its tracks evaluated once, here.
ShowFrame showFrameAt(float time, float delta, int grainMovesOn);
// Hands the post chain this frame's grading amounts and dispatches the scene.
// Returns 1 when the show is over (nothing was drawn), 0 otherwise.
int drawShowFrame(const ShowFrame* frame);

// ---- timeline -------------------------------------------------------------------
extern int prevScene;
extern const unsigned short randomTable[600];

// Draws frame's scene (truncated "scene" track) and the letterbox. Returns 1
// when the show is over: the last scene went straight to the first (nothing
// is drawn then), or the scene is -1 while "part" is exactly -1.0.
int dispatchScene(const ShowFrame* frame);

// Where dispatchScene's end rule first fires, judged from the keys alone: the
// row of the first key (of either track, row 0 included) at which the scene
// track goes from the last scene straight to 1 (a step, not a slide) or holds
// -1 while "part" is exactly -1.0. Interpolated stretches are judged at their
// keys only. Returns the row, or -1 when the tracks never end the show
// (null or empty tracks included).
struct SyncTrack;
long showEndRow(const SyncTrack* scene, const SyncTrack* part);
// showEndRow in seconds at bpm and rowsPerBeat (0 means 120 and 4, as the
// player reads them); -1 when the show never ends.
double showLengthSeconds(const SyncTrack* scene, const SyncTrack* part, float bpm, int rowsPerBeat);
void drawLetterbox(void);

// ---- the scenes -------------------------------------------------------------------
// Every scene routine draws one frame from the record and nothing else of it.
typedef void (*SceneRoutine)(const ShowFrame* frame);
void drawScene1(const ShowFrame* frame);
void drawScene2(const ShowFrame* frame);
void drawScene3(const ShowFrame* frame);
void drawScene4(const ShowFrame* frame);
void drawScene5(const ShowFrame* frame);
void drawScene6(const ShowFrame* frame);
void drawScene7(const ShowFrame* frame);
void drawScene8(const ShowFrame* frame);
void drawScene9(const ShowFrame* frame);
// Scene number n runs showScenes[n - 1]; initially drawScene1 .. drawScene9.
// Tests swap entries to watch what the timeline passes.
extern SceneRoutine showScenes[ShowSceneCount];
