// The demo configuration: the one built-in record that names the data
// directory, the soundtrack, the data hook, the sync tracks and their tempo.
#include "sync/sync.h"
#include "assets/assets.h"

DemoConfig builtinConfig = {
    "./data/",
    nullptr,
    "barnstomp.mp3",
    prepareShowData,
    {"scene", "part", "var0", "var1", "post1", "post2", nullptr, nullptr,
     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    130.0f,
    4,
};

// Start-up points this at builtinConfig again; starting there already keeps
// tools and tests that never run start-up away from a null record.
DemoConfig* demoConfig = &builtinConfig;
