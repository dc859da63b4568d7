// The log: "demo.log" in the working directory, reopened for every message so
// each line is on disk when the call returns; every message also goes to stderr.
#include "platform/platform.h"
#include <stdarg.h>
#include <stdio.h>

static const char* logFileName = "demo.log";

int logMessage(const char* format, ...)
{
    va_list args;
    FILE* file = fopen(logFileName, "a");
    if (!file) {
        fprintf(stderr, "ERROR: could not open GL_LOG_FILE %s file for appending\n", logFileName);
        va_start(args, format);
        vfprintf(stderr, format, args);
        va_end(args);
        return 0;
    }
    va_start(args, format);
    vfprintf(file, format, args);
    va_end(args);
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    fclose(file);
    return 1;
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
    }
    logMessage("                KESTREL Engine V.0.1\n");
    logMessage("----------------------------------------------------\n");
    logMessage("by the Kestrel developers               Warning:WIP!\n");
    logMessage("----------------------------------------------------\n");
    logMessage("\n");
}
