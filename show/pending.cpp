// Scene routines that are not built yet: each draws nothing. A scene's real
// routine replaces its entry here (delete the entry when adding the scene file).
#include "show/show.h"

void drawScene5(float, int, float, float) {}            // not built yet
void drawScene6(float, float, float) {}                 // not built yet
void drawScene7(float, float, float) {}                 // not built yet
void drawScene8(float, float) {}                        // not built yet
void drawScene9(float, float, float) {}                 // not built yet
