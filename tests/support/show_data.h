// Test support for the show and above: the show's whole data loaded from the
// build's data directory the way start-up loads it.
#pragma once
#include <vector>
#include "support/post_state.h"

// Once per program: the scene buffers of a width x height window
// (useSceneBuffers), the working directory set to the build directory, then
// the show's configuration and resource table made active, every row loaded,
// the data hook run, the post attributes of the show's programs bound and the
// grading sources filled as for a frame after a present-less one. Ends with
// the default framebuffer bound at the full viewport. Returns 1, or 0 (and the
// caller fails) when the data was not generated or a step failed.
int loadShowData(int width, int height);

// The checks every rendered shot of the show must pass: not blank, not
// saturated, not mostly black or white, and (after the first) a mean change
// of more than minChange per channel from the frame before.
void expectLivelyPicture(const std::vector<unsigned char>& image, int pixels,
                         const std::vector<unsigned char>& previous, double minChange, const char* name);
