// The log: "demo.log" in the working directory, reopened for every message so
// each line is on disk when the call returns; every message also goes to stderr.
#include "app/app.h"
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
