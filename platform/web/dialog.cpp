// The display-mode dialog in the browser build: the page's start screen is
// the dialog (its size choice arrives as ?mode), so the program never shows
// one; the list and key rules stay with the desktop's dialog.
#include "platform/platform.h"

int runModeDialog(DisplayChoice*) { return 1; }
