// What the scene tests share: setting the tracks a scene routine reads, and
// reading back a float uniform a scene set.
#pragma once
#include "sync/sync.h"
#include <GL/glew.h>
#include <math.h>

inline void setTracks(float part, float var0, float var1, float post1, float post2)
{
    syncValues[TrackPart] = part;
    syncValues[TrackVar0] = var0;
    syncValues[TrackVar1] = var1;
    syncValues[TrackPost1] = post1;
    syncValues[TrackPost2] = post2;
}

// The value of a float uniform of program; NaN when the program has no such uniform.
inline float uniformValue(int program, const char* name)
{
    float value = NAN;
    int location = glGetUniformLocation((GLuint)program, name);
    if (location >= 0) glGetUniformfv((GLuint)program, location, &value);
    return value;
}
