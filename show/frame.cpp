// Drawing the show at a time: the one entry the main loop, stills, capture and
// bench share. The frame record is made once (its tracks evaluated), then the
// post chain is handed what this frame grades with and the scene dispatched.
#include "show/show_local.h"

float flareAmount(float sceneValue) { return truncTrack(sceneValue) == 7 ? 0.25f : 1.0f; }

void bindShowPostPrograms(void) { bindPostPrograms(resourceTable); }
void bindNewShowPostPrograms(const int* programs, int count) { bindNewPostPrograms(resourceTable, programs, count); }

ShowFrame showFrameAt(float time, float delta, int grainMovesOn)
{
    ShowFrame frame;
    frame.time = time;
    frame.delta = delta;
    frame.grainMovesOn = grainMovesOn;
    evaluateTracks(time, frame.tracks);
    return frame;
}

int drawShowFrame(const ShowFrame* frame)
{
    gradingSources.program = res.progLomofi;
    gradingSources.contrastProgram = res.progLomofiContrast;
    gradingSources.correctProgram = res.progLomofiCorrect;
    gradingSources.grain = res.texGrain;
    gradingSources.leak = res.texLeak;
    gradingSources.dirt = res.texDirt;
    gradingSources.flareAmount = flareAmount(frame->tracks[TrackScene]);
    gradingSources.grainMovesOn = frame->grainMovesOn;
    return dispatchScene(frame);
}
