// Stop signals: SIGINT and SIGTERM set a flag (no SA_RESTART) that ends the
// show where Escape does: the frame finishes and everything is released.
#pragma once

int installStopSignals(void);   // 1 installed
int stopSignalNumber(void);     // the signal that asked to stop, 0 none
