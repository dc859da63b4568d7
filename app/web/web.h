// The browser build's own program parts: the page's frame loop (app/web/main.cpp)
// and keeping the presented picture on the canvas (app/web/present_gl.cpp).
#pragma once

// Draws the picture presented last over the canvas, for an animation frame
// that only added its frame to the sum. Returns 1 when drawn, 0 when there
// is none yet at the canvas's size.
int keepShownPicture(void);
