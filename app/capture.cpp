// Offline capture: the show rendered at a fixed frame rate on a clock that
// advances exactly 1/N s per frame, each frame the weighted average of K
// sub-frames over its interval, written as numbered PNG files with the music
// of exactly that interval as a WAV, or piped to ffmpeg for an .mp4.
#include "app/offline.h"
#include "app/options.h"
#include "app/present_gl.h"
#include "app/preflight.h"
#include "app/present.h"
#include "app/signals.h"
#include "platform/platform.h"
#include "show/show.h"
#include "sync/sync.h"
#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <dirent.h>
#include <errno.h>
#include <math.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

enum { WavRate = 44100 };
static const float maxCaptureSeconds = 86400.0f;
// rand() drives the film grain; both capture and bench start from this seed
// so two runs over the same interval draw the same frames. A captured frame
// is seeded by its place in the show (offlineSeed + its frame number at the
// capture's rate), so a capture that starts later draws the same frames from
// there on and a long capture can be split and joined.
static const unsigned offlineSeed = 1;

// ---- output --------------------------------------------------------------------

// Where the frames go: PNG files in a directory, or raw RGB into ffmpeg.
struct CaptureOutput {
    int toVideo;
    char videoPath[300];   // the picture alone, before the sound is muxed in
    char wavPath[300];
    FILE* pipe;   // ffmpeg's standard input
    pid_t encoder;
    unsigned char* pixels;   // one frame, top row first
    unsigned char* row;      // scratch row for turning GL's bottom-up rows over
    int width, height;
};

// ffmpeg reading raw RGB frames of the window's size at the capture rate and
// writing H.264 (yuv420p) into the video-only file; an odd width or height
// gets one black column or row (yuv420p needs even sizes). 1 started, 0 (logged).
static int startEncoder(CaptureOutput* out, int fps)
{
    char size[32], rate[16];
    snprintf(size, sizeof size, "%dx%d", out->width, out->height);
    snprintf(rate, sizeof rate, "%d", fps);
    const char* args[] = {"ffmpeg",
                          "-y",
                          "-loglevel",
                          "error",
                          "-f",
                          "rawvideo",
                          "-pix_fmt",
                          "rgb24",
                          "-s",
                          size,
                          "-r",
                          rate,
                          "-i",
                          "-",
                          "-an",
                          "-vf",
                          "pad=ceil(iw/2)*2:ceil(ih/2)*2",
                          "-c:v",
                          "libx264",
                          "-pix_fmt",
                          "yuv420p",
                          "-f",
                          "mp4",
                          out->videoPath,
                          nullptr};
    out->encoder = spawnProgram((char* const*)args, &out->pipe, 0);
    if (out->encoder <= 0 || !out->pipe) {
        int reason = errno;
        logMessage("ERROR: capture could not start ffmpeg\n");
        logMessage("ERROR: ffmpeg: %s\n", reason ? strerror(reason) : "no pipe to it");
        return 0;
    }
    return 1;
}

// Puts the sound next to the picture: the video stream copied, the WAV
// encoded as AAC, both starting at zero. 1 done, 0 (logged).
static int muxSound(const CaptureOutput* out, const char* target)
{
    const char* args[] = {"ffmpeg", "-y",    "-loglevel", "error", "-i",   out->videoPath, "-i",   out->wavPath,
                          "-map",   "0:v:0", "-map",      "1:a:0", "-c:v", "copy",         "-c:a", "aac",
                          "-b:a",   "192k",  "-f",        "mp4",   target, nullptr};
    pid_t pid = spawnProgram((char* const*)args, nullptr, 0);
    if (pid <= 0 || waitProgram(pid, 1) != 1) {
        logMessage("ERROR: capture could not mux the soundtrack into %s\n", target);
        return 0;
    }
    return 1;
}

// 1 when the directory exists or was made.
static int makeDirectory(const char* path)
{
    errno = 0;
    if (mkdir(path, 0777) == 0 || errno == EEXIST) {
        errno = 0;
        struct stat info;
        if (stat(path, &info) == 0 && S_ISDIR(info.st_mode)) return 1;
    }
    int reason = errno;
    logMessage("ERROR: capture directory \"%s\" could not be made\n", path);
    logMessage("ERROR: capture directory \"%s\": %s\n", path, reason ? strerror(reason) : "not a directory");
    return 0;
}

// --overwrite: removes the frames and soundtrack.wav of an earlier capture
// from folder (nothing else). 1 done, 0 when one could not be removed (logged).
static int removeEarlierCapture(const char* folder)
{
    DIR* dir = opendir(folder);
    if (!dir) return 1;
    int ok = 1;
    long removed = 0;
    char path[600];
    for (struct dirent* entry; (entry = readdir(dir)) != nullptr;) {
        if (!isCaptureFileName(entry->d_name, 0)) continue;
        snprintf(path, sizeof path, "%s/%s", folder, entry->d_name);
        if (unlink(path) == 0) {
            removed++;
        } else {
            logMessage("ERROR: could not remove %s of an earlier capture: %s\n", path, strerror(errno));
            ok = 0;
        }
    }
    closedir(dir);
    logMessage("capture: removed %ld files of an earlier capture from %s\n", removed, folder);
    return ok;
}

static int openOutput(CaptureOutput* out, const char* target, int fps)
{
    // The framebuffer as the window system made it (a window larger than the
    // screen may have been cut down), which is what the frames are read from.
    glfwGetFramebufferSize(mainWindow, &out->width, &out->height);
    if (out->width <= 0 || out->height <= 0) {
        logMessage("ERROR: capture has no framebuffer to read\n");
        return 0;
    }
    out->pixels = (unsigned char*)malloc((size_t)out->width * (size_t)out->height * 3);
    out->row = (unsigned char*)malloc((size_t)out->width * 3);
    if (!out->pixels || !out->row) {
        logMessage("ERROR: capture has no memory for a %dx%d frame\n", out->width, out->height);
        return 0;
    }
    out->toVideo = isVideoTarget(target);
    if (!out->toVideo) {
        snprintf(out->wavPath, sizeof out->wavPath, "%s/soundtrack.wav", target);
        if (!makeDirectory(target)) return 0;
        return !runOptions.overwrite || removeEarlierCapture(target);
    }
    snprintf(out->videoPath, sizeof out->videoPath, "%s.video.mp4", target);
    snprintf(out->wavPath, sizeof out->wavPath, "%s.soundtrack.wav", target);
    return startEncoder(out, fps);
}

// Reads the back buffer (the resolved frame) top row first.
static void readFrame(CaptureOutput* out)
{
    size_t rowBytes = (size_t)out->width * 3;
    readBackBufferRgb(out->pixels, out->width, out->height);
    for (int y = 0; y < out->height / 2; y++) {   // GL's rows run bottom-up
        unsigned char* a = out->pixels + rowBytes * (size_t)y;
        unsigned char* b = out->pixels + rowBytes * (size_t)(out->height - 1 - y);
        memcpy(out->row, a, rowBytes);
        memcpy(a, b, rowBytes);
        memcpy(b, out->row, rowBytes);
    }
}

// Returns 1 when the frame was written (file or pipe), 0 (logged).
static int writeFrame(CaptureOutput* out, const char* target, int index)
{
    size_t bytes = (size_t)out->width * (size_t)out->height * 3;
    if (out->toVideo) {
        if (fwrite(out->pixels, 1, bytes, out->pipe) == bytes) return 1;
        logMessage("ERROR: ffmpeg stopped taking frames at frame %d\n", index);
        return 0;
    }
    char path[320];
    snprintf(path, sizeof path, "%s/frame_%05d.png", target, index);
    errno = 0;
    if (stbi_write_png(path, out->width, out->height, 3, out->pixels, out->width * 3)) return 1;
    int reason = errno;
    logMessage("ERROR: could not write %s\n", path);
    if (reason) logMessage("ERROR: %s: %s\n", path, strerror(reason));
    return 0;
}

// ---- soundtrack ------------------------------------------------------------------

static void putLe(unsigned char* at, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++) at[i] = (unsigned char)(value >> (8 * i));
}

static int16_t toPcm16(float sample)
{
    if (!(sample > -1.0f)) return sample < 0.0f ? -32767 : 0;   // also NaN -> 0
    if (sample >= 1.0f) return 32767;
    return (int16_t)lrintf(sample * 32767.0f);
}

// 16-bit stereo PCM at 44100 Hz: count frames of music starting at frame
// first; frames past the music's end (or all of them without music) are
// silence. Returns 1 written, 0 (logged).
static int writeWav(const char* path, const float* music, size_t musicFrames, uint64_t first, uint64_t count)
{
    uint64_t dataBytes = count * 4;
    if (dataBytes > 0xFFFFFFFFull - 36) {
        logMessage("ERROR: %s would exceed the 4 GB a WAV file can hold\n", path);
        return 0;
    }
    FILE* file = fopen(path, "wb");
    if (!file) {
        int reason = errno;
        logMessage("ERROR: could not write %s\n", path);
        logMessage("ERROR: %s: %s\n", path, strerror(reason));
        return 0;
    }
    unsigned char head[44];
    memcpy(head, "RIFF", 4);
    putLe(head + 4, (uint32_t)(36 + dataBytes), 4);
    memcpy(head + 8, "WAVEfmt ", 8);
    putLe(head + 16, 16, 4);   // format chunk size
    putLe(head + 20, 1, 2);    // PCM
    putLe(head + 22, 2, 2);    // channels
    putLe(head + 24, WavRate, 4);
    putLe(head + 28, WavRate * 4, 4);   // bytes per second
    putLe(head + 32, 4, 2);             // bytes per frame
    putLe(head + 34, 16, 2);            // bits per sample
    memcpy(head + 36, "data", 4);
    putLe(head + 40, (uint32_t)dataBytes, 4);
    int ok = fwrite(head, 1, sizeof head, file) == sizeof head;
    enum { Block = 4096 };
    unsigned char block[Block * 4];
    for (uint64_t done = 0; ok && done < count;) {
        uint64_t n = count - done < (uint64_t)Block ? count - done : (uint64_t)Block;
        for (uint64_t k = 0; k < n; k++) {
            uint64_t frame = first + done + k;
            float left = 0.0f, right = 0.0f;
            if (music && frame < musicFrames) {
                left = music[frame * 2];
                right = music[frame * 2 + 1];
            }
            putLe(block + k * 4, (uint16_t)toPcm16(left), 2);
            putLe(block + k * 4 + 2, (uint16_t)toPcm16(right), 2);
        }
        ok = fwrite(block, 4, (size_t)n, file) == (size_t)n;
        done += n;
    }
    if (fclose(file) != 0) ok = 0;
    if (!ok) logMessage("ERROR: could not write %s\n", path);
    return ok;
}

// The configured soundtrack decoded whole, or null (logged: the WAV is then
// silent). Modules have no fixed decoding here.
static size_t decodeSoundtrack(float** frames)
{
    *frames = nullptr;
    const char* name = demoConfig ? demoConfig->musicFile : nullptr;
    if (!name) return 0;
    char path[DataPathSize];
    size_t length = strlen(name);
    if (length >= sizeof path || !isStreamFile(name)) {
        logMessage("capture: soundtrack <%s> is not a stream that can be decoded, the sound stays silent\n", name);
        return 0;
    }
    memcpy(path, name, length + 1);
    if (!dataPath(path, sizeof path)) return 0;
    size_t count = soundDecodeStream(path, frames);
    if (!count) logMessage("capture: soundtrack <%s> could not be decoded, the sound stays silent\n", path);
    return count;
}

// The music of exactly the captured frames: from --from for frames / fps s.
static int writeSoundtrack(const char* path, double from, long frames, int fps)
{
    float* music = nullptr;
    size_t musicFrames = decodeSoundtrack(&music);
    uint64_t first = (uint64_t)llround(from * WavRate);
    uint64_t count = (uint64_t)llround((double)frames * WavRate / fps);
    int ok = writeWav(path, music, musicFrames, first, count);
    free(music);
    return ok;
}

// ---- rendering -----------------------------------------------------------------

// One sub-frame at time t drawn and added into the frame sum. Returns 1 when
// the show has ended (nothing more to capture).
static int drawSubframe(double t, float delta, int first)
{
    ShowFrame frame = showFrameAt((float)t, delta, first);   // the first frame after a present draws new grain
    if (drawShowFrame(&frame)) return 1;
    accumulateFrame();
    glClear(GL_DEPTH_BUFFER_BIT);
    return 0;
}

// The show's end when no --to was given: its length when known, else the
// last scene key; 0 unknown.
static double expectedShowEnd(void)
{
    double length = knownShowLength();
    if (length >= 0.0) return length;
    const SyncTrack* track = syncTracks[TrackScene];
    if (!track || track->keyCount <= 0 || !(syncRowRate > 0.0f)) return 0.0;
    return track->keys[track->keyCount - 1].row / ((double)syncRowRate * 1000.0);
}

// At most four updates a second (and the last frame), overwriting one line.
static void showProgress(long index, long total, double t, double started)
{
    static double shown;
    double now = monotonicSeconds(), elapsed = now - started;
    if (now - shown < 0.25 && index + 1 != total) return;
    shown = now;
    if (total > index) {
        double left = elapsed / (double)(index + 1) * (double)(total - index - 1);
        fprintf(stderr, "\rcapture: frame %ld of %ld, %.3f s, %.0f s left   ", index + 1, total, t, left);
    } else {
        fprintf(stderr, "\rcapture: frame %ld, %.3f s   ", index + 1, t);
    }
    fflush(stderr);
}

static int userStopped(void)
{
    glfwPollEvents();
    if (stopSignalNumber()) return 1;
    if (glfwGetKey(mainWindow, GLFW_KEY_ESCAPE) == GLFW_PRESS) glfwSetWindowShouldClose(mainWindow, 1);
    return glfwWindowShouldClose(mainWindow);
}

// Renders frames until the interval or the show ends (or a write fails, or
// the user closes the window). Returns the number of frames written.
static long renderFrames(CaptureOutput* out, const char* target, long total, int* failed)
{
    RunOptions* o = &runOptions;
    int fps = o->captureFps, k = o->captureSubframes > 0 ? o->captureSubframes : 1;
    double from = o->captureFrom, started = monotonicSeconds();
    float delta = (float)(1.0 / ((double)fps * k));
    prevScene = -1;
    drawSubframe(from, delta, 1);   // fills buffers a scene does not overdraw, as for stills
    resolveFrame();
    prevScene = -1;
    // Without --to the show's end stops the capture; a show that never ends
    // stops after a day of frames.
    long limit = o->captureTo > 0.0f ? total : (long)(maxCaptureSeconds * fps);
    long index = 0;
    double length = knownShowLength();
    for (; index < limit; index++) {
        if (length >= 0.0 && from + (double)index / fps >= length) break;   // the show is over
        int ended = 0;
        srand(offlineSeed + (unsigned)(llround(from * fps) + index));
        for (int j = 0; j < k && !ended; j++)
            ended = drawSubframe(from + ((double)index + (double)j / k) / fps, delta, j == 0);
        if (ended || userStopped()) break;
        resolveFrame();
        readFrame(out);
        if (!writeFrame(out, target, (int)index)) {
            *failed = 1;
            break;
        }
        showProgress(index, total, from + (double)index / fps, started);
    }
    resolveFrame();
    fputc('\n', stderr);
    return index;
}

int runCapture(void)
{
    RunOptions* o = &runOptions;
    char target[sizeof o->captureTarget];   // a copy: its length is bounded for the paths made from it
    memcpy(target, o->captureTarget, sizeof target);
    target[sizeof target - 1] = 0;
    CaptureOutput out;
    memset(&out, 0, sizeof out);
    void (*previousPipeHandler)(int) = signal(SIGPIPE, SIG_IGN);   // a dead ffmpeg is a write error
    srand(offlineSeed);
    double from = o->captureFrom;
    double end = o->captureTo > 0.0f ? o->captureTo : expectedShowEnd();
    long total = end > from ? (long)ceil((end - from) * o->captureFps - 1e-6) : 0;
    if (o->captureTo <= 0.0f && from + maxCaptureSeconds < end) total = (long)(maxCaptureSeconds * o->captureFps);
    int failed = !openOutput(&out, target, o->captureFps);
    long frames = 0;
    double started = monotonicSeconds();
    if (!failed) frames = renderFrames(&out, target, total, &failed);
    if (out.toVideo && out.pipe) {
        if (fclose(out.pipe) != 0) failed = 1;
        if (waitProgram(out.encoder, 1) != 1) {
            logMessage("ERROR: ffmpeg could not encode %s\n", out.videoPath);
            failed = 1;
        }
    }
    // A video with no frame has nothing to mux: no file is made.
    int empty = out.toVideo && frames == 0;
    if (!failed && !empty && !writeSoundtrack(out.wavPath, from, frames, o->captureFps)) failed = 1;
    int muxing = !failed && !empty && out.toVideo;
    if (muxing) failed = !muxSound(&out, target);
    if (out.toVideo) {   // the temporaries go whatever happened; a half-made video too
        remove(out.videoPath);
        remove(out.wavPath);
        if (muxing && failed && remove(target) == 0) logMessage("capture: the unfinished %s was removed\n", target);
        if (empty && !failed) logMessage("capture: no frame was captured, %s was not made\n", target);
    }
    if (stopSignalNumber())
        logMessage("capture: interrupted by signal %d after %ld frames; %s holds those frames%s\n", stopSignalNumber(),
                   frames, target, out.toVideo ? " with their sound" : " and their soundtrack.wav");
    free(out.pixels);
    free(out.row);
    signal(SIGPIPE, previousPipeHandler);
    logMessage("Capture %s: %ld frames from %.3f s at %d fps, %d sub-frames, %dx%d, into %s in %.1f s\n",
               failed ? "FAILED" : "done", frames, from, o->captureFps,
               o->captureSubframes > 0 ? o->captureSubframes : 1, out.width, out.height, target,
               monotonicSeconds() - started);
    return !failed;
}
