// The show: the timeline that picks a scene routine by the "scene" track every
// frame, the letterbox, and the nine scene routines.
#pragma once

extern int prevScene;
extern const unsigned short randomTable[600];

int dispatchScene(void);     // 1 when the show is over
void drawLetterbox(void);

void drawScene1(float var0);
void drawScenes2And3(int mode, float time, float var0, float var1);
void drawScene4(float var0);
void drawScene5(float time, int part, float var0, float var1);
void drawScene6(float part, float var0, float var1);
void drawScene7(float time, float part, float var0);
void drawScene8(float var0, float var1);
void drawScene9(float part, float var0, float var1);
