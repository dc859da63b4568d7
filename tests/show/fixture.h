// What the scene tests share: setting the tracks a scene routine reads.
#pragma once
#include "sync/sync.h"

inline void setTracks(float part, float var0, float var1, float post1, float post2)
{
    syncValues[TrackPart] = part;
    syncValues[TrackVar0] = var0;
    syncValues[TrackVar1] = var1;
    syncValues[TrackPost1] = post1;
    syncValues[TrackPost2] = post2;
}
