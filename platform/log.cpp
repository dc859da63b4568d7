// The log: "demo.log" in the working directory (or the file --log names),
// reopened for every message so each line is on disk when the call returns;
// warnings and errors (and notices) also go to stderr, every line with --verbose.
#include "platform/platform.h"
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

static const char* logFileName = "demo.log";
static int echoEverything;     // --verbose
static int logWarned;          // the one warning about a log that cannot be written

// A line is a problem (echoed to stderr) when it begins with one of these ...
static const char* const problemStarts[] = {"ERROR", "WARNING", "EEEE", "Can't", "can't", "GL error",
                                            "Wrong ", "Rocket failed", "out of "};
// ... or holds one of these anywhere.
static const char* const problemWords[] = {"could not", "cannot", "can't", "failed", "FAILED", "damaged",
                                           "refused", "no memory", "out of memory", "does not fit",
                                           "too long", "no track file", "silent"};

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

const char* logFilePath(void)
{
    return logFileName;
}

void setLogEcho(int everything)
{
    echoEverything = everything ? 1 : 0;
}

// errorNumber is errno of the failed open.
static void warnLogUnwritable(int errorNumber)
{
    if (logWarned) return;
    logWarned = 1;
    fprintf(stderr, "WARNING: could not open the log file %s (%s); the show goes on without it\n", logFileName,
            strerror(errorNumber));
}

// Writes the message to the log and, when echo is set, to stderr. The text is
// formatted into a stack buffer only to classify it (long messages by their
// first 2 kB): nothing is allocated here beyond what fopen takes.
static int writeMessage(int echo, const char* format, va_list args)
{
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
    "##  ## ###### ###### ######  #####  ###### ##\n",
    "## ##  ##     ##       ##    ##  ## ##     ##\n",
    "####   ####   ######   ##    #####  ####   ##\n",
    "## ##  ##         ##   ##    ##  ## ##     ##\n",
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
