// Start-up, the frame loop and shutdown. The loop is one step a frame, so a
// host with a loop of its own (a browser's animation frames) can drive the
// show the way the desktop loop does.
#pragma once

// Returns 1 when the show can run, 0 when the window could not be made
// (GLFW failure, no GL context), -1 when the dialog was cancelled; nothing
// after the window runs then. prepareRun has set the data directory.
int startDemo(void);
// Advances the show by one frame: the first call polls once (events, the
// clock); every call then draws the frame at the clock's time, presents it
// when due and polls for the next. Returns 1 to go on, 0 when the show is
// over (without --loop or --edit), the window was closed or a stop signal came.
int stepShowFrame(void);
// The desktop loop: live editing and the display as asked, stepShowFrame in
// a while, then the run's summary. Returns 0.
int runMainLoop(void);
void shutdownDemo(int code);   // releases everything and ends the process with code
