// The loading screen.
#pragma once

// Loads the active resource table with the loading screen, then runs the
// configuration's data hook; each is timed as a start-up phase of its own.
void loadResources(void);
