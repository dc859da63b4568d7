// The built-in resource table (every shader pair, mesh and texture of the
// show, in load order), the data-directory prefix, the loading screen that
// loads the table with its progress bar, and the release walk at shutdown.
#include "assets/assets.h"
#include "app/app.h"
#include "render/render.h"
#include "show/show.h"
#include "sync/sync.h"
#include <GL/glew.h>
#include <string.h>

enum { SpecBufferSize = 64 };

static void freeShaderRow(void* object) { freeShaderProgram((int*)object); }
static void freeMeshRow(void* object) { freeMesh((Mesh*)object); }
static void freeTextureRow(void* object) { freeTexture((int*)object); }

#define SHADER(slot, spec) {&(slot), spec, nullptr, ShaderRow, freeShaderRow}
#define MESH(record, spec, link) {&(record), spec, link, MeshRow, freeMeshRow}
#define TEXTURE(slot, spec) {&(slot), spec, nullptr, TextureRow, freeTextureRow}

ResourceEntry resourceTable[] = {
    SHADER(progEnv, "env.vs|env.fs"),                                     // 0
    MESH(jugMeshes[0], "jug.baf|jug_env.jpg", &progEnv),
    TEXTURE(jugMeshes[0].textures[1], "label.jpg"),
    TEXTURE(jugMeshes[0].textures[2], "jug_light.tga"),
    MESH(jugMeshes[3], "jug_intact.bof|jug_env.jpg", &progEnv),
    TEXTURE(jugMeshes[3].textures[1], "label.jpg"),                       // 5
    TEXTURE(jugMeshes[3].textures[2], "jug_light.tga"),
    SHADER(progScroll, "scroll.vs|base.fs"),
    MESH(skyMeshes[0], "skybox.bof|skybox.jpg", nullptr),
    MESH(skyMeshes[1], "skybox.bof|skybox2.jpg", nullptr),
    MESH(skyMeshes[2], "speedLines.bof|bgRed2.jpg", &progScroll),         // 10
    SHADER(progSplash, "splash.vs|splash.fs"),
    MESH(splashMesh, "splash.baf|splash_nrm.jpg", &progSplash),
    SHADER(progNrmLite, "nrm_lite.vs|nrm_lite.fs"),
    SHADER(progLight, "light.vs|light.fs"),
    MESH(logMesh, "log.bof|log_col.jpg", &progNrmLite),                   // 15
    TEXTURE(logMesh.textures[1], "log_nrm.jpg"),
    TEXTURE(logMesh.textures[2], "jug_light.tga"),
    SHADER(progStill, "still.vs|still.fs"),
    MESH(stillMesh, "still.bof|still.jpg", &progStill),
    TEXTURE(stillMesh.textures[1], "envNight.jpg"),                       // 20
    TEXTURE(stillMesh.textures[2], "lightnight.tga"),
    SHADER(progFire, "env_scale.vs|firehighlight.fs"),
    MESH(fireMesh, "fire.bof|fire.jpg", &progFire),
    MESH(bottlesMesh, "botlz.bof|jugNight.jpg", &progEnv),
    TEXTURE(bottlesMesh.textures[1], "botlz.tga"),                        // 25
    TEXTURE(bottlesMesh.textures[2], "lightnight.tga"),
    SHADER(progBokeh, "post.vs|fastbokeh.fs"),
    SHADER(progColorCorrect, "post_uv.vs|color_correct.fs"),
    SHADER(progLomofi, "post_uv.vs|lomofi.fs"),
    TEXTURE(texGrain, "grain.jpg"),                                       // 30
    TEXTURE(texLeak, "leak.tga"),
    TEXTURE(texDirt, "dirt.jpg"),
    MESH(billMesh, "bill.bof", &progLight),
    TEXTURE(billMesh.textures[1], "jug_light.tga"),
    TEXTURE(texBills[0], "bill_po.jpg"),                                  // 35
    TEXTURE(texBills[1], "bill_bl.jpg"),
    TEXTURE(texBills[2], "bill_bo.jpg"),
    TEXTURE(texBills[3], "bill_da.jpg"),
    SHADER(progBills, "light.vs|bills.fs"),
    MESH(pressMesh, "press.baf|press.jpg", &progStill),                   // 40
    TEXTURE(pressMesh.textures[1], "press_lite.tga"),
    TEXTURE(pressMesh.textures[2], "press_env.jpg"),
    MESH(pressBillMesh, "press_bill.baf|bills0.jpg", &progBills),
    TEXTURE(pressBillMesh.textures[1], "bills1.jpg"),
    TEXTURE(pressBillMesh.textures[2], "press_lite.tga"),                 // 45
    MESH(rollMesh, "roll.bof|roll.jpg", &progLight),
    TEXTURE(rollMesh.textures[1], "press_lite.tga"),
    MESH(kaleidoMesh, "kaleido.bof", nullptr),
    TEXTURE(texBgRed, "bgRed.tga"),
    MESH(gunMesh, "gun.baf|roll.jpg", &progLight),                        // 50
    MESH(m47Mesh, "m47.bof|wrap.jpg", &progLight),
    TEXTURE(gunMesh.textures[1], "jug_light.tga"),
    TEXTURE(m47Mesh.textures[1], "jug_light.tga"),
    MESH(bloodMesh, "blood.baf|splash_nrm.jpg", &progSplash),
    MESH(shotMesh, "shot.bof|shot.tga", nullptr),                         // 55
    SHADER(progCar, "car.vs|car.fs"),
    MESH(rodMeshes[0], "bullet.bof|chrome.jpg", &progCar),
    MESH(rodMeshes[1], "rod.baf|rod.jpg", &progCar),
    TEXTURE(rodMeshes[1].textures[1], "chrome.jpg"),
    TEXTURE(rodMeshes[1].textures[2], "rubber.tga"),                      // 60
    TEXTURE(rodMeshes[1].textures[3], "paint.jpg"),
    SHADER(progTrail, "trail.vs|trail.fs"),
    MESH(rodMeshes[2], "bullet.bof|chrome.jpg", &progCar),
    TEXTURE(rodMeshes[2].textures[1], "chrome.jpg"),
    TEXTURE(rodMeshes[2].textures[2], "rubber.tga"),                      // 65
    TEXTURE(rodMeshes[2].textures[3], "paint.jpg"),
    MESH(trailMesh, "trail.bof|chrome.jpg", &progTrail),
    SHADER(progGreet, "env.vs|grt.fs"),
    MESH(jugMeshes[1], "jug.baf|jug_env.jpg", &progGreet),
    TEXTURE(jugMeshes[1].textures[1], "greet.jpg"),                       // 70
    TEXTURE(jugMeshes[1].textures[2], "jug_light.tga"),
    MESH(jugMeshes[2], "jug_broked.baf|jug_env.jpg", &progGreet),
    TEXTURE(jugMeshes[2].textures[1], "greet.jpg"),
    TEXTURE(jugMeshes[2].textures[2], "jug_light.tga"),
    MESH(jugMeshes[4], "jug.baf|jug_env.jpg", &progEnv),                  // 75
    TEXTURE(jugMeshes[4].textures[1], "label_nuke.jpg"),
    TEXTURE(jugMeshes[4].textures[2], "jug_light.tga"),
    SHADER(progShroom, "nrm_lite.vs|shroom.fs"),
    MESH(shroomMeshes[0], "shroom.baf|smoke.jpg", &progShroom),
    TEXTURE(shroomMeshes[0].textures[1], "smoke_n.jpg"),                  // 80
    TEXTURE(shroomMeshes[0].textures[2], "jug_light2.tga"),
    MESH(shroomMeshes[1], "shroom_top.baf|smoke.jpg", &progShroom),
    TEXTURE(shroomMeshes[1].textures[1], "smoke_n.jpg"),
    TEXTURE(shroomMeshes[1].textures[2], "jug_light2.tga"),
    SHADER(progDrunk, "post.vs|drunk.fs"),                                // 85
    {nullptr, nullptr, nullptr, 0, nullptr},
};

ResourceEntry* activeResourceTable = resourceTable;

// The prefix is the built-in record's own data directory, measured once.
// Returns 1, or 0 (logged, text untouched) when prefix and name do not fit.
int dataPath(char* text, int capacity) {
    static const char* dir = nullptr;
    static size_t dirLength = 0;
    if (!dir) {
        dir = builtinConfig.dataDir ? builtinConfig.dataDir : "";
        dirLength = strlen(dir);
    }
    if (!text || capacity <= 0) return 0;
    size_t length = strnlen(text, (size_t)capacity);
    if (length >= (size_t)capacity || dirLength + length + 1 > (size_t)capacity) {
        logMessage("data path: <%s%.*s> does not fit in %d bytes, refused\n", dir,
                   (int)length, text, capacity);
        return 0;
    }
    memmove(text + dirLength, text, length + 1);
    memcpy(text, dir, dirLength);
    return 1;
}

// Copies count bytes of source into a spec buffer and prefixes the data
// directory. Returns 1, or 0 (logged) when the name does not fit.
static int specPath(char* buffer, const char* source, size_t count) {
    if (count >= SpecBufferSize) {
        logMessage("data path: <%.*s> does not fit in %d bytes, refused\n", (int)count, source,
                   SpecBufferSize);
        return 0;
    }
    memcpy(buffer, source, count);
    buffer[count] = 0;
    return dataPath(buffer, SpecBufferSize);
}

// A mesh with a texture part: the texture first (without a slot), then the
// mesh, then the texture into slot 0. When the mesh fails the texture has
// nowhere to go and is deleted again.
static void loadTexturedMesh(Mesh* mesh, const char* meshPath, const char* texturePath) {
    int texture = loadTexture(nullptr, texturePath);
    Mesh* loaded = loadMesh(mesh, meshPath);
    if (loaded) {
        loaded->textures[0] = texture;
    } else if (texture > 0) {
        GLuint name = (GLuint)texture;
        glDeleteTextures(1, &name);
    }
}

static void loadRow(const ResourceEntry* row) {
    char first[SpecBufferSize], second[SpecBufferSize];
    const char* bar = strchr(row->spec, '|');
    size_t firstLength = bar ? (size_t)(bar - row->spec) : strlen(row->spec);
    if (!specPath(first, row->spec, firstLength)) return;
    if (!bar) {
        if (row->kind == MeshRow) loadMesh((Mesh*)row->object, first);
        else if (row->kind == TextureRow) loadTexture((int*)row->object, first);
        return;
    }
    if (!specPath(second, bar + 1, strlen(bar + 1))) return;
    if (row->kind == ShaderRow) *(int*)row->object = createShaderProgram(first, second, 0);
    else if (row->kind == MeshRow) loadTexturedMesh((Mesh*)row->object, first, second);
}

// The bar of a row is shown by the next presentFrame (that one decides whether to swap).
static void drawLoadingScreen(float progress) {
    const int noTexture[1] = {0};
    presentFrame();
    glClear(GL_COLOR_BUFFER_BIT);
    drawOverlayQuad(noTexture, progress * 0.5f, 0.33f, progress, 0.01f, 1, 0xffeeaaffu, Opaque, -1);
    drawLetterbox();
}

// Loads every row in order (failures are logged by the loaders; the bar
// advances regardless), then runs the configuration's data hook.
void loadResources(void) {
    ResourceEntry* table = activeResourceTable ? activeResourceTable : resourceTable;
    int count = 0;
    while (table[count].object) count++;
    for (int i = 0; i < count; i++) {
        const ResourceEntry* row = &table[i];
        logMessage("loading <%s>\n", row->spec ? row->spec : "");
        if (row->spec) loadRow(row);
        if (row->link && row->kind == MeshRow) ((Mesh*)row->object)->program = *row->link;
        drawLoadingScreen((float)(i + 1) / (float)count);
    }
    logMessage("loading complete!\n");
    DemoConfig* config = demoConfig ? demoConfig : &builtinConfig;
    if (config->dataHook) config->dataHook();
    logMessage("data processing complete!\n");
    logMessage(" --------------------------------------------------\n");
}

// Frees every row through its free operation, a mesh row's slot-0 texture
// first. The walk goes from the last row up: a texture row that fills slot 1
// to 3 of an earlier mesh is freed before freeMesh empties that mesh's slots,
// so those textures are deleted too. Rows never loaded are zero-filled and
// the free operations leave them alone.
void releaseResources(void) {
    ResourceEntry* table = activeResourceTable ? activeResourceTable : resourceTable;
    int count = 0;
    while (table[count].object) count++;
    for (int i = count - 1; i >= 0; i--) {
        const ResourceEntry* row = &table[i];
        if (row->kind == MeshRow) {
            Mesh* mesh = (Mesh*)row->object;
            if (mesh->textures[0] > 0) {
                GLuint name = (GLuint)mesh->textures[0];
                glDeleteTextures(1, &name);
            }
        }
        if (row->free) row->free(row->object);
    }
}
