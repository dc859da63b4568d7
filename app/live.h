// Authoring while the show plays (--edit [DIR]): changed data files and
// sources take over between two frames; F5 rebuilds the soundtrack.
#pragma once

struct ShowFrame;

// Watches the data directory in use and, when given, the folder of authored
// sources. Returns 1 when watching.
int startLiveEdit(const char* sources);
int liveEditing(void);
// Once a frame, after frame was drawn: applies what changed and settled.
void pollLiveEdit(const ShowFrame* frame);
int startSoundtrackBuild(void);   // F5; 1 started
void stopLiveEdit(void);
