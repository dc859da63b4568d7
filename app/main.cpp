// Entry point: command line, the checks before any window, start-up, the
// frame loop (or stills, capture, bench), shutdown with the exit code.
#include "app/loop.h"
#include "app/offline.h"
#include "app/options.h"
#include "app/preflight.h"
#include "app/signals.h"
#include "platform/platform.h"

int main(int argc, char** argv)
{
    pinMmapThreshold();
    int run = parseCommandLine(argc, argv);
    if (run < 0) return ExitUsage;
    if (run == 0) return ExitOk;
    int early = prepareRun();
    if (early >= 0) return early;
    installStopSignals();
    int code = ExitOk;
    int started = startDemo();
    if (started > 0) {
        if (runOptions.shotCount > 0)
            code = renderStills() > 0 ? ExitFailure : ExitOk;
        else if (runOptions.captureTarget[0])
            code = runCapture() ? ExitOk : ExitFailure;
        else if (runOptions.bench)
            code = runBench() ? ExitOk : ExitFailure;
        else
            runMainLoop();
    } else if (started == 0) {
        code = ExitFailure;
    }
    if (stopSignalNumber()) code = 128 + stopSignalNumber();
    shutdownDemo(code);   // ends the process
    return code;
}
