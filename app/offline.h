// The offline runs: no music, the clock fixed at each frame's time.
#pragma once

// Renders each requested still with the clock fixed at its time and writes it
// as PNG. Returns the number of stills that could not be written (logged).
int renderStills(void);
// Renders [from, to) at the fixed rate into PNG files + soundtrack.wav or an
// .mp4 through ffmpeg. Returns 1 when every frame and the sound were written.
int runCapture(void);
// Renders the show at fixed 1/30 s steps without presenting and prints the
// per-scene frame times. Returns 1 (0 when nothing could be rendered).
int runBench(void);
