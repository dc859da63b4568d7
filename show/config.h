// The show's clock and track names as constants, shared by its configuration
// record and the content tools that must agree with it (header only: a tool
// that includes it links nothing of the show).
#pragma once

constexpr float ShowBpm = 130.0f;
constexpr int ShowRowsPerBeat = 4;
enum { ShowTrackCount = 6 };
inline constexpr const char* showTrackNames[ShowTrackCount] = {"scene", "part", "var0", "var1", "post1", "post2"};
