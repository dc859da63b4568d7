// The log: "demo.log" in the working directory (or the file --log names),
// reopened for every message so each line is on disk when the call returns;
// warnings and errors (and notices) also go to stderr, every line with --verbose.
// A thread may capture its messages instead, to be written later in order.
#include "platform/platform.h"
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// ---- state: the log file and this thread's capture -------------------------------
// The file settings are set on the main thread before any worker starts; a
// worker only ever writes into its own capture.
static const char* logFileName = "demo.log";
static int echoEverything;                       // --verbose
static int logWarned;                            // the one warning about a log that cannot be written
static thread_local LogCapture* threadCapture;   // null: messages go straight out

// A line is a problem (echoed to stderr) when it begins with one of these ...
static const char* const problemStarts[] = {"ERROR",    "WARNING", "EEEE",          "Can't",  "can't",
                                            "GL error", "Wrong ",  "Rocket failed", "out of "};
// ... or holds one of these anywhere.
static const char* const problemWords[] = {"could not", "cannot",        "can't",     "failed",        "FAILED",
                                           "damaged",   "refused",       "no memory", "out of memory", "does not fit",
                                           "too long",  "no track file", "silent"};

int logLineIsProblem(const char* text)
{
    if (!text) return 0;
    for (const char* start : problemStarts)
        if (strncmp(text, start, strlen(start)) == 0) return 1;
    for (const char* word : problemWords)
        if (strstr(text, word)) return 1;
    return 0;
}

int setLogFile(const char* path)
{
    if (!path || !path[0]) return 0;
    logFileName = path;
    return 1;
}

const char* logFilePath(void) { return logFileName; }

void setLogEcho(int everything) { echoEverything = everything ? 1 : 0; }

// errorNumber is errno of the failed open.
static void warnLogUnwritable(int errorNumber)
{
    if (logWarned) return;
    logWarned = 1;
    fprintf(stderr, "WARNING: could not open the log file %s (%s); the show goes on without it\n", logFileName,
            strerror(errorNumber));
}

// ---- capture ---------------------------------------------------------------------
// A capture is a run of records, each a kind byte (CapturedLog, CapturedNotice,
// CapturedStderr) followed by the text and its terminating zero.
enum { CapturedLog = 1, CapturedNotice = 2, CapturedStderr = 3 };

// Appends one record. Returns 1, or 0 when memory failed or the capture would
// pass LogCaptureLimit (the capture is then marked and the record dropped).
static int captureRecord(LogCapture* capture, int kind, const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int length = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0) return 0;
    size_t need = capture->used + (size_t)length + 2;
    if (need > LogCaptureLimit) {
        capture->dropped++;
        return 0;
    }
    if (need > capture->capacity) {
        size_t capacity = capture->capacity ? capture->capacity : 256;
        while (capacity < need) capacity *= 2;
        char* bigger = (char*)realloc(capture->text, capacity);
        if (!bigger) {
            capture->dropped++;
            return 0;
        }
        capture->text = bigger;
        capture->capacity = capacity;
    }
    capture->text[capture->used] = (char)kind;
    va_copy(copy, args);
    vsnprintf(capture->text + capture->used + 1, (size_t)length + 1, format, copy);
    va_end(copy);
    capture->used = need;
    return 1;
}

void beginLogCapture(LogCapture* capture) { threadCapture = capture; }

void endLogCapture(void) { threadCapture = nullptr; }

void replayLogCapture(LogCapture* capture)
{
    if (!capture) return;
    for (size_t at = 0; at < capture->used;) {
        int kind = capture->text[at];
        const char* text = capture->text + at + 1;
        if (kind == CapturedNotice)
            logNotice("%s", text);
        else if (kind == CapturedStderr)
            fputs(text, stderr);
        else
            logMessage("%s", text);
        at += strlen(text) + 2;
    }
    if (capture->dropped) logMessage("WARNING: %d log lines of a loader were dropped\n", capture->dropped);
}

void freeLogCapture(LogCapture* capture)
{
    if (!capture) return;
    free(capture->text);
    capture->text = nullptr;
    capture->used = capture->capacity = 0;
    capture->dropped = 0;
}

int logStderr(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int written = threadCapture ? captureRecord(threadCapture, CapturedStderr, format, args)
                                : vfprintf(stderr, format, args) >= 0;
    va_end(args);
    return written;
}

// ---- writing -----------------------------------------------------------------------

// Writes the message to the log and, when echo is set, to stderr. The text is
// formatted into a stack buffer only to classify it (long messages by their
// first 2 kB): nothing is allocated here beyond what fopen takes. A thread
// that captures gets the message in its capture instead.
static int writeMessage(int echo, const char* format, va_list args)
{
    if (threadCapture) return captureRecord(threadCapture, echo ? CapturedNotice : CapturedLog, format, args);
    char head[2048];
    va_list copy;
    va_copy(copy, args);
    vsnprintf(head, sizeof head, format, copy);
    va_end(copy);
    if (echoEverything || logLineIsProblem(head)) echo = 1;
    FILE* file = fopen(logFileName, "a");
    if (!file) warnLogUnwritable(errno);
    if (file) {
        va_copy(copy, args);
        vfprintf(file, format, copy);
        va_end(copy);
        fclose(file);
    }
    if (echo) {
        va_copy(copy, args);
        vfprintf(stderr, format, copy);
        va_end(copy);
    }
    return file ? 1 : 0;
}

int logMessage(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int written = writeMessage(0, format, args);
    va_end(args);
    return written;
}

int logNotice(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int written = writeMessage(1, format, args);
    va_end(args);
    return written;
}

// The log's head: a five-line logo of the engine's name and an empty line,
// written straight into a fresh file, then the title block through logMessage.
static const char* logoLines[5] = {
    "##  ## ###### ###### ######  #####  ###### ##\n",     "## ##  ##     ##       ##    ##  ## ##     ##\n",
    "####   ####   ######   ##    #####  ####   ##\n",     "## ##  ##         ##   ##    ##  ## ##     ##\n",
    "##  ## ###### ######   ##    ##  ## ###### ######\n",
};

void startLog(void)
{
    FILE* file = fopen(logFileName, "w");
    if (file) {
        for (int i = 0; i < 5; i++) fputs(logoLines[i], file);
        fputs("\n", file);
        fclose(file);
    } else {
        warnLogUnwritable(errno);
    }
    logMessage("                KESTREL Engine V.0.1\n");
    logMessage("----------------------------------------------------\n");
    logMessage("by the Kestrel developers               Warning:WIP!\n");
    logMessage("----------------------------------------------------\n");
    logMessage("\n");
}
