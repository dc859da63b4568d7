// Stills: "--shot SEC:FILE.png" renders the show's frame at a fixed time, as
// a viewer would see it (scene, grading, letterbox, frame resolve), and writes
// the back buffer as a PNG. No music plays; the clock never runs.
#include "app/app.h"
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

// Returns 1 when text ends with ".png" in any letter case.
static int hasPngSuffix(const char* text, size_t length)
{
    if (length < 5) return 0;
    const char* tail = text + length - 4;
    return tail[0] == '.' && (tail[1] | 32) == 'p' && (tail[2] | 32) == 'n' && (tail[3] | 32) == 'g';
}

// Adds one "SEC:FILE.png" request to runOptions. Returns 1, or 0 when the time
// is not a finite number >= 0, the name is empty, too long or not ".png", or
// MaxShots requests are already queued.
int parseShotOption(const char* value)
{
    if (!value || runOptions.shotCount >= MaxShots) return 0;
    const char* colon = strchr(value, ':');
    if (!colon || colon == value) return 0;
    char* stop = NULL;
    double seconds = strtod(value, &stop);
    if (stop != colon || !isfinite(seconds) || seconds < 0.0 || seconds > 1.0e6) return 0;
    const char* path = colon + 1;
    size_t length = strlen(path);
    if (length >= sizeof(runOptions.shots[0].path) || !hasPngSuffix(path, length)) return 0;
    ShotRequest* shot = &runOptions.shots[runOptions.shotCount++];
    shot->time = (float)seconds;
    memcpy(shot->path, path, length + 1);
    return 1;
}

// The back buffer as a top-row-first RGB PNG. Returns 1, or 0 (logged).
static int writeBackBuffer(const char* path, int width, int height)
{
    size_t rowBytes = (size_t)width * 3;
    unsigned char* pixels = (unsigned char*)malloc(rowBytes * (size_t)height);
    unsigned char* flipped = (unsigned char*)malloc(rowBytes * (size_t)height);
    int written = 0;
    if (pixels && flipped) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels);
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
// buffer as presentFrame would show it (without the swap).
static void drawStill(float seconds, int previousPresented)
{
    ShowFrame frame = showFrameAt(seconds, frameDelta, previousPresented);
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
    int presented = framePresented;   // the grain moves on once a still's first frame was shown
    for (int i = 0; i < runOptions.shotCount && !stopSignalNumber(); i++) {
        const ShotRequest* shot = &runOptions.shots[i];
        prevScene = -1;
        drawStill(shot->time, presented);
        prevScene = -1;
        drawStill(shot->time, 1);
        presented = 1;
        if (writeBackBuffer(shot->path, windowWidth, windowHeight))
            logMessage("Still at %.3f s written to %s\n", (double)shot->time, shot->path);
        else
            failures++;
    }
    return failures;
}
