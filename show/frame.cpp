// Drawing the show at a time: the one entry the main loop, stills, capture and
// bench share. It sets the show clock, evaluates the tracks, hands the post
// chain what this frame grades with, and dispatches the scene.
#include "show/show_local.h"

float flareAmount(float sceneValue)
{
    int scene = sceneValue > -1.0e6f && sceneValue < 1.0e6f ? (int)sceneValue : 0;
    return scene == 7 ? 0.25f : 1.0f;
}

void bindShowPostPrograms(void) { bindPostPrograms(resourceTable); }

int drawShowFrame(const ShowFrame* frame)
{
    frameTime = frame->time;
    frameDelta = frame->delta;
    framePresented = frame->previousPresented;
    updateSync();
    gradingSources.program = progLomofi;
    gradingSources.grain = texGrain;
    gradingSources.leak = texLeak;
    gradingSources.dirt = texDirt;
    gradingSources.flareAmount = flareAmount(syncValues[TrackScene]);
    gradingSources.grainMovesOn = frame->previousPresented;
    return dispatchScene();
}
