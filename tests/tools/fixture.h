// What the content-generator tests share: the show's file names, parsing a
// written mesh, and the generated data set made once per program. Include it
// right after "tools/gen/mesh_util.cpp", with generatedDataTag defined (the
// name of the program's own data directory).
#pragma once
#include "assets/assets.h"
#include "platform/platform.h"
#include "render/render.h"
#include "support/gl_context.h"
#include "support/render_state.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>
#include <set>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

static const std::string binaryDir = KESTREL_BINARY_DIR;
static const std::string generator = binaryDir + "/tools/gen/kestrel_gen";

[[maybe_unused]] static const char* meshNames[] = {
    "jug.baf",        "jug_intact.bof", "jug_broked.baf", "skybox.bof", "speedLines.bof", "splash.baf",
    "log.bof",        "still.bof",      "fire.bof",       "botlz.bof",  "bill.bof",       "press.baf",
    "press_bill.baf", "roll.bof",       "kaleido.bof",    "gun.baf",    "m47.bof",        "blood.baf",
    "shot.bof",       "bullet.bof",     "rod.baf",        "trail.bof",  "shroom.baf",     "shroom_top.baf"};
[[maybe_unused]] static const char* textureNames[] = {
    "skybox.jpg",     "skybox2.jpg",   "bgRed2.jpg",     "bgRed.tga",      "jug_env.jpg",  "label.jpg",
    "label_nuke.jpg", "jug_light.tga", "jug_light2.tga", "splash_nrm.jpg", "log_col.jpg",  "log_nrm.jpg",
    "still.jpg",      "envNight.jpg",  "lightnight.tga", "fire.jpg",       "jugNight.jpg", "botlz.tga",
    "grain.jpg",      "leak.tga",      "dirt.jpg",       "bill_po.jpg",    "bill_bl.jpg",  "bill_bo.jpg",
    "bill_da.jpg",    "press.jpg",     "press_lite.tga", "press_env.jpg",  "bills0.jpg",   "bills1.jpg",
    "roll.jpg",       "wrap.jpg",      "shot.tga",       "chrome.jpg",     "rod.jpg",      "rubber.tga",
    "paint.jpg",      "smoke.jpg",     "smoke_n.jpg",    "greet.jpg"};

// ---- helpers -------------------------------------------------------------------------

[[maybe_unused]] static int parseFile(const std::string& path, Mesh* m)
{
    unsigned char* data = nullptr;
    size_t size = 0;
    if (readWholeFile(path.c_str(), NoFileLimit, &data, &size) != 1) return 0;
    memset(m, 0, sizeof *m);
    int ok = parseMeshText((const char*)data, size, m, path.c_str());
    free(data);
    return ok;
}
[[maybe_unused]] static void release(Mesh* m)
{
    free(m->vertices);
    free(m->indices);
    memset(m, 0, sizeof *m);
}
[[maybe_unused]] static int parseWritten(const GeneratedMesh& g, Mesh* m)
{
    std::string path = makeTempDir("content_writer") + "/m.baf";
    if (!writeMesh(path, g)) return 0;
    return parseFile(path, m);
}

// The content generator is not built in every configuration (sanitizer builds
// reuse a Release build's data, copied into the build's data directory).
[[maybe_unused]] static bool haveGenerator(void) { return access(generator.c_str(), X_OK) == 0; }

// The generated data set, made once per test program in a fresh directory, or
// the copy of a Release build's set where this build has no generator.
static std::string dataDir;
[[maybe_unused]] static const std::string& data()
{
    if (dataDir.empty() && !haveGenerator()) dataDir = binaryDir + "/data";
    if (dataDir.empty()) {
        dataDir = makeTempDir(generatedDataTag);
        EXPECT_EQ(0, runCommand(generator + " " + dataDir + " > " + dataDir + "/../" + generatedDataTag + ".log"));
    }
    return dataDir;
}

[[maybe_unused]] static long fileSize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (long)st.st_size : -1;
}
