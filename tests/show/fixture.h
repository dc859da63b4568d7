// What the scene tests share: the frame record a scene routine draws from
// (setTracks fills the tracks a call does not name), calls of each scene with
// the values it is tested by, and reading back a float uniform a scene set.
#pragma once
#include "show/show.h"
#include <GL/glew.h>
#include <math.h>

inline ShowFrame testFrame = {};

inline void setTracks(float part, float var0, float var1, float post1, float post2)
{
    testFrame.tracks[TrackPart] = part;
    testFrame.tracks[TrackVar0] = var0;
    testFrame.tracks[TrackVar1] = var1;
    testFrame.tracks[TrackPost1] = post1;
    testFrame.tracks[TrackPost2] = post2;
}

// testFrame at time with the named tracks replaced.
inline ShowFrame frameWith(float time, float part, float var0, float var1)
{
    ShowFrame frame = testFrame;
    frame.time = time;
    frame.tracks[TrackPart] = part;
    frame.tracks[TrackVar0] = var0;
    frame.tracks[TrackVar1] = var1;
    return frame;
}

// Each scene drawn with the values it reads; the rest come from testFrame.
inline void draw(void (*scene)(const ShowFrame*), const ShowFrame& frame) { scene(&frame); }
inline void scene1(float var0)
{
    draw(drawScene1, frameWith(0, testFrame.tracks[TrackPart], var0, testFrame.tracks[TrackVar1]));
}
inline void scenes2And3(int mode, float time, float var0, float var1)
{
    draw(mode == 0 ? drawScene2 : drawScene3, frameWith(time, testFrame.tracks[TrackPart], var0, var1));
}
inline void scene4(float var0)
{
    draw(drawScene4, frameWith(0, testFrame.tracks[TrackPart], var0, testFrame.tracks[TrackVar1]));
}
inline void scene5(float time, float part, float var0, float var1)
{
    draw(drawScene5, frameWith(time, part, var0, var1));
}
inline void scene6(float part, float var0, float var1) { draw(drawScene6, frameWith(0, part, var0, var1)); }
inline void scene7(float time, float part, float var0)
{
    draw(drawScene7, frameWith(time, part, var0, testFrame.tracks[TrackVar1]));
}
inline void scene8(float var0, float var1) { draw(drawScene8, frameWith(0, testFrame.tracks[TrackPart], var0, var1)); }
inline void scene9(float part, float var0, float var1) { draw(drawScene9, frameWith(0, part, var0, var1)); }

// The value of a float uniform of program; NaN when the program has no such uniform.
inline float uniformValue(int program, const char* name)
{
    float value = NAN;
    int location = glGetUniformLocation((GLuint)program, name);
    if (location >= 0) glGetUniformfv((GLuint)program, location, &value);
    return value;
}

// Scenes 8 and 9 draw the field nearest the camera first: the field place
// (0..15) of the last jug drawn whose place lies in low..high.
inline int lastPlaceDrawn(int low, int high)
{
    int order[16], last = -1;
    jugsNearFirst(camera.x, camera.z, order);
    for (int j : order)
        if (j >= low && j <= high) last = j;
    return last;
}
