// The heads-up display for authors (F1; on by default with --edit): the
// frame's time, position, scene and track values with their history, frame
// rate, GL errors, the transport and the latest message, over the frame
// about to be shown.
#pragma once

struct ShowFrame;

int hudVisible(void);
void showHud(int on);
// The message line (the latest reload or error) and the recorded camera key.
void hudMessagef(const char* format, ...) __attribute__((format(printf, 1, 2)));
void hudCameraKey(const char* line);
// A window of another module drawn by the display's ImGui, beside its own
// (one at a time): shown says whether it is up (drawn then even while the
// display is hidden); changed whether it must be drawn again before the
// display's next refresh; draw draws it inside an ImGui frame of a window of
// width x height and gives its rectangle (x, y, width, height); drawn is told
// after every refresh. changed and drawn may be null.
struct HudPanel {
    int (*shown)(void);
    int (*changed)(void);
    void (*draw)(const ShowFrame* frame, float width, float height, float* rect);
    void (*drawn)(void);
};
void hudAddPanel(const HudPanel* panel);
void hudNoteFrame(const ShowFrame* frame);   // once per loop frame: track history, frame time
int prepareHud(void);                        // sets the display up now (else at its first frame); 1 when ready
// The display of frame over the back buffer, the engine's GL state kept
// around it; timed: bracketed by glFinish and counted for the log's cost
// line. Nothing while hidden.
void drawHudOverFrame(const ShowFrame* frame, int timed);
void shutdownHud(void);   // logs the display's mean cost per frame, then releases it
// The display's mean GL time per frame it was timed in, that frame count and
// the count of frames it was drawn over untimed (bench).
double hudMillisecondsPerFrame(long* frames, long* untimed);
// "mm:ss.mmm" and "bar:beat:row" (counted from 0) of a show time.
void formatShowTime(float seconds, char* out, int size);
void formatShowPosition(float seconds, int rowsPerBeat, int beatsPerBar, char* out, int size);
// "40.0 ms  25.0 fps  GL errors 3": a frame's time, the rate it makes (0 for
// a time not above 0) and the GL error count.
void formatFrameRate(float frameMs, long glErrors, char* out, int size);
