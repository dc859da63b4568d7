// What the timeline tests share: a text parsed into one timeline, the parser's
// message kept for the cases that expect one.
#pragma once
#include "show/vocabulary.h"
#include "sync/timeline_text.h"
#include <string>

static Timeline parsed;

// Parses text as "t.txt" into parsed, in the show's words unless others are
// given. Returns the parser's 1/0; error gets its message.
[[maybe_unused]] static int parse(const std::string& text, std::string* error = nullptr,
                                  const ShowVocabulary* vocabulary = &showVocabulary)
{
    char message[600];
    int ok = parseTimeline(text.c_str(), "t.txt", vocabulary, &parsed, message, sizeof message);
    if (error) *error = message;
    return ok;
}

[[maybe_unused]] static int trackIndex(const char* name) { return timelineTrackIndex(&parsed, name); }
