// The show's configuration: the one built-in record that names the data
// directory, the soundtrack, the data hook, the sync tracks and their tempo.
#include "show/show_local.h"

DemoConfig builtinConfig = {
    "./data/",
    nullptr,
    "barnstomp.mp3",
    prepareShowData,
    {showTrackNames[0], showTrackNames[1], showTrackNames[2], showTrackNames[3], showTrackNames[4], showTrackNames[5],
     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    ShowBpm,
    ShowRowsPerBeat,
    &showVocabulary,
};
