// The loading screen.
#pragma once

// Starts reading the active resource table's files on worker threads, before
// the window and GL exist; loadResources takes what they read.
void startLoadingFiles(void);
// Loads the active resource table with the loading screen, then runs the
// configuration's data hook; each is timed as a start-up phase of its own.
void loadResources(void);
