// The shape of a show's vocabulary: the words and counts the engine's timeline
// compiler, live editor and track player need from the show, which fills one
// record of its own and hands it down. The engine itself knows no show words.
#pragma once

struct ShowVocabulary {
    const char* const* trackNames;   // the first is the scene track, the second the part track
    int trackCount;
    int sceneCount;                   // scenes 1..sceneCount; the last straight to the first ends the show
    const char* const* musicStyles;   // the words of "music" lines
    int musicStyleCount;
    const char* const* cueNames;   // the words of "cue" lines
    int cueCount;
    const char* timelineFile;   // the authored timeline's file name
    float bpm;                  // the tempo every timeline must state
    int rowsPerBeat;
};

// Index of name among count words, or -1 (also for a null name).
int vocabularyIndex(const char* const* words, int count, const char* name);
