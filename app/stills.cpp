// Stills: "--shot SEC:FILE.png" renders the show's frame at a fixed time, as
// a viewer would see it (scene, grading, letterbox, frame resolve), and writes
// the back buffer as a PNG. No music plays; the clock never runs.
#include "app/offline.h"
#include "app/options.h"
#include "app/present.h"
#include "app/present_gl.h"
#include "app/signals.h"
#include "platform/platform.h"
#include "render/render.h"
#include "show/show.h"
#include "sync/sync.h"
#include <GL/glew.h>
#include <errno.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
// Through /usr/include, so it counts as a system header and its own
// warnings stay out of our -Wall -Wextra build.
#include <stb/stb_image_write.h>

// The back buffer as a top-row-first RGB PNG. Returns 1, or 0 (logged).
static int writeBackBuffer(const char* path, int width, int height)
{
    size_t rowBytes = (size_t)width * 3;
    unsigned char* pixels = (unsigned char*)malloc(rowBytes * (size_t)height);
    unsigned char* flipped = (unsigned char*)malloc(rowBytes * (size_t)height);
    int written = 0;
    if (pixels && flipped) {
        readBackBufferRgb(pixels, width, height);
        for (int y = 0; y < height; y++)
            memcpy(flipped + rowBytes * (size_t)y, pixels + rowBytes * (size_t)(height - 1 - y), rowBytes);
        errno = 0;
        written = stbi_write_png(path, width, height, 3, flipped, (int)rowBytes);
    }
    int reason = pixels && flipped ? errno : ENOMEM;
    free(pixels);
    free(flipped);
    if (!written) logMessage("ERROR: could not write still \"%s\"\n", path);
    if (!written && reason) logMessage("ERROR: still \"%s\": %s\n", path, strerror(reason));
    return written ? 1 : 0;
}

// One frame of the show at time seconds, drawn and resolved into the back
// buffer as presentFrame would show it (without the swap). No clock runs:
// the step is ClockNotRunning.
static void drawStill(float seconds, int grainMovesOn)
{
    ShowFrame frame = showFrameAt(seconds, ClockNotRunning, grainMovesOn);
    drawShowFrame(&frame);
    accumulateFrame();
    resolveFrame();
}

// Renders every requested still in order. The scene is drawn twice at the
// same time so buffers a scene does not overdraw hold that frame's picture,
// as they would after the frames leading up to it. Returns the number of
// stills that could not be written.
int renderStills(void)
{
    int failures = 0;
    // The grain of the first still stands where start-up left it; after that
    // every still's first frame follows a presented one.
    int grainMovesOn = 0;
    for (int i = 0; i < runOptions.shotCount && !stopSignalNumber(); i++) {
        const ShotRequest* shot = &runOptions.shots[i];
        prevScene = -1;
        drawStill(shot->time, grainMovesOn);
        prevScene = -1;
        drawStill(shot->time, 1);
        grainMovesOn = 1;
        if (writeBackBuffer(shot->path, windowWidth, windowHeight))
            logMessage("Still at %.3f s written to %s\n", (double)shot->time, shot->path);
        else
            failures++;
    }
    return failures;
}
