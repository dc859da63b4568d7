// Entry point: command line, start-up, the frame loop, shutdown.
#include "app/app.h"
#include "platform/platform.h"

int main(int argc, char** argv)
{
    pinMmapThreshold();
    int run = parseCommandLine(argc, argv);
    if (run < 0) return 2;
    if (run == 0) return 0;
    if (startDemo()) {
        if (runOptions.shotCount > 0)
            renderStills();
        else if (runOptions.captureTarget[0])
            runCapture();
        else if (runOptions.bench)
            runBench();
        else
            runMainLoop();
    }
    shutdownDemo();   // ends the process with exit code 0
    return 0;
}
