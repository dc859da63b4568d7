// The show's vocabulary: its tempo, track names, scene count, music styles,
// cue names and timeline file, described once here and handed to the engine
// (through the configuration) and to the content tools. Header only: a tool
// that includes it links nothing of the show.
#pragma once
#include "sync/vocabulary.h"

constexpr float ShowBpm = 130.0f;
constexpr int ShowRowsPerBeat = 4;

// The show's tracks, by their index in a frame's track values.
enum ShowTrack { TrackScene = 0, TrackPart, TrackVar0, TrackVar1, TrackPost1, TrackPost2, ShowTrackCount };
inline constexpr const char* showTrackNames[ShowTrackCount] = {"scene", "part", "var0", "var1", "post1", "post2"};

// Scenes are numbered 1 .. ShowSceneCount.
enum { ShowSceneCount = 9 };

// The words of the timeline's "music" and "cue" lines; the soundtrack
// synthesizer knows each by its index here.
enum ShowMusicStyle {
    StyleIntro,
    StyleNight,
    StyleRise,
    StyleBreakout,
    StylePress,
    StyleStandoff,
    StyleChase,
    StyleGreets,
    StyleFinale,
    StyleOutro,
    ShowMusicStyleCount
};
inline constexpr const char* showMusicStyles[ShowMusicStyleCount] = {
    "intro", "night", "rise", "breakout", "press", "standoff", "chase", "greets", "finale", "outro",
};
enum ShowCue { CueShot, CueSmash, CueBoom, CueHit, ShowCueCount };
inline constexpr const char* showCueNames[ShowCueCount] = {"shot", "smash", "boom", "hit"};

inline constexpr ShowVocabulary showVocabulary = {
    showTrackNames, ShowTrackCount, ShowSceneCount, showMusicStyles, ShowMusicStyleCount,
    showCueNames,   ShowCueCount,   "timeline.txt", ShowBpm,         ShowRowsPerBeat,
};
