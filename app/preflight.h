// What is settled before any window opens: the data directory, the show's
// length, requested times against that length and the capture target.
#pragma once

// After parsing: sets the log's file and echo, resolves the data directory
// (the configuration's dataDir then names it), reads the show's length,
// refuses times at or past the end, clamps --to, checks the capture target
// and answers --info. Returns -1 to go on, else the exit code (the message
// already on stderr).
int prepareRun(void);
// The resolved data directory and the show's length into the log.
void logRunSettings(void);
// The show's length in seconds from its tracks, read by prepareRun; -1 unknown.
double knownShowLength(void);
// 1 when a capture target names an .mp4 file (any letter case of "mp4").
int isVideoTarget(const char* path);
// 1 for the names a capture writes into its folder: soundtrack.wav and
// frame_ with five or more digits + ".png" (loose: any "frame_*.png").
int isCaptureFileName(const char* name, int loose);
