// The show's resources: the table of every shader pair, mesh and texture in
// load order, and the object slots its rows fill (runs that scenes index as
// arrays lie in one array each).
#include "show/show_local.h"

int progEnv, progScroll, progSplash, progNrmLite, progLight, progStill, progFire, progBokeh, progColorCorrect,
    progLomofi, progBills, progCar, progTrail, progGreet, progShroom, progDrunk;
Mesh skyMeshes[3];
Mesh jugMeshes[5];
Mesh rodMeshes[3];
Mesh shroomMeshes[2];
Mesh splashMesh, logMesh, stillMesh, fireMesh, bottlesMesh, billMesh, pressMesh, pressBillMesh, rollMesh, kaleidoMesh,
    gunMesh, m47Mesh, bloodMesh, shotMesh, trailMesh;
int texGrain, texLeak, texDirt, texBgRed;
int texBills[4];

// Rows load, free and reload through their kind's operations; a shader row's
// flags mark a program that draws full-screen post passes (PostProgramRow).
#define SHADER(slot, spec, flags)                                                                                      \
    {                                                                                                                  \
        &(slot), spec, nullptr, ShaderRow, flags                                                                       \
    }
#define MESH(record, spec, link)                                                                                       \
    {                                                                                                                  \
        &(record), spec, link, MeshRow, 0                                                                              \
    }
#define TEXTURE(slot, spec)                                                                                            \
    {                                                                                                                  \
        &(slot), spec, nullptr, TextureRow, 0                                                                          \
    }

ResourceEntry resourceTable[] = {
    SHADER(progEnv, "env.vs|env.fs", 0),   // 0
    MESH(jugMeshes[0], "jug.baf|jug_env.jpg", &progEnv),
    TEXTURE(jugMeshes[0].textures[1], "label.jpg"),
    TEXTURE(jugMeshes[0].textures[2], "jug_light.tga"),
    MESH(jugMeshes[3], "jug_intact.bof|jug_env.jpg", &progEnv),
    TEXTURE(jugMeshes[3].textures[1], "label.jpg"),   // 5
    TEXTURE(jugMeshes[3].textures[2], "jug_light.tga"),
    SHADER(progScroll, "scroll.vs|base.fs", 0),
    MESH(skyMeshes[0], "skybox.bof|skybox.jpg", nullptr),
    MESH(skyMeshes[1], "skybox.bof|skybox2.jpg", nullptr),
    MESH(skyMeshes[2], "speedLines.bof|bgRed2.jpg", &progScroll),   // 10
    SHADER(progSplash, "splash.vs|splash.fs", 0),
    MESH(splashMesh, "splash.baf|splash_nrm.jpg", &progSplash),
    SHADER(progNrmLite, "nrm_lite.vs|nrm_lite.fs", 0),
    SHADER(progLight, "light.vs|light.fs", 0),
    MESH(logMesh, "log.bof|log_col.jpg", &progNrmLite),   // 15
    TEXTURE(logMesh.textures[1], "log_nrm.jpg"),
    TEXTURE(logMesh.textures[2], "jug_light.tga"),
    SHADER(progStill, "still.vs|still.fs", 0),
    MESH(stillMesh, "still.bof|still.jpg", &progStill),
    TEXTURE(stillMesh.textures[1], "envNight.jpg"),   // 20
    TEXTURE(stillMesh.textures[2], "lightnight.tga"),
    SHADER(progFire, "env_scale.vs|firehighlight.fs", 0),
    MESH(fireMesh, "fire.bof|fire.jpg", &progFire),
    MESH(bottlesMesh, "botlz.bof|jugNight.jpg", &progEnv),
    TEXTURE(bottlesMesh.textures[1], "botlz.tga"),   // 25
    TEXTURE(bottlesMesh.textures[2], "lightnight.tga"),
    SHADER(progBokeh, "post.vs|fastbokeh.fs", PostProgramRow),
    SHADER(progColorCorrect, "post_uv.vs|color_correct.fs", PostProgramRow),
    SHADER(progLomofi, "post_uv.vs|lomofi.fs", PostProgramRow),
    TEXTURE(texGrain, "grain.jpg"),   // 30
    TEXTURE(texLeak, "leak.tga"),
    TEXTURE(texDirt, "dirt.jpg"),
    MESH(billMesh, "bill.bof", &progLight),
    TEXTURE(billMesh.textures[1], "jug_light.tga"),
    TEXTURE(texBills[0], "bill_po.jpg"),   // 35
    TEXTURE(texBills[1], "bill_bl.jpg"),
    TEXTURE(texBills[2], "bill_bo.jpg"),
    TEXTURE(texBills[3], "bill_da.jpg"),
    SHADER(progBills, "light.vs|bills.fs", 0),
    MESH(pressMesh, "press.baf|press.jpg", &progStill),   // 40
    TEXTURE(pressMesh.textures[1], "press_lite.tga"),
    TEXTURE(pressMesh.textures[2], "press_env.jpg"),
    MESH(pressBillMesh, "press_bill.baf|bills0.jpg", &progBills),
    TEXTURE(pressBillMesh.textures[1], "bills1.jpg"),
    TEXTURE(pressBillMesh.textures[2], "press_lite.tga"),   // 45
    MESH(rollMesh, "roll.bof|roll.jpg", &progLight),
    TEXTURE(rollMesh.textures[1], "press_lite.tga"),
    MESH(kaleidoMesh, "kaleido.bof", nullptr),
    TEXTURE(texBgRed, "bgRed.tga"),
    MESH(gunMesh, "gun.baf|roll.jpg", &progLight),   // 50
    MESH(m47Mesh, "m47.bof|wrap.jpg", &progLight),
    TEXTURE(gunMesh.textures[1], "jug_light.tga"),
    TEXTURE(m47Mesh.textures[1], "jug_light.tga"),
    MESH(bloodMesh, "blood.baf|splash_nrm.jpg", &progSplash),
    MESH(shotMesh, "shot.bof|shot.tga", nullptr),   // 55
    SHADER(progCar, "car.vs|car.fs", 0),
    MESH(rodMeshes[0], "bullet.bof|chrome.jpg", &progCar),
    MESH(rodMeshes[1], "rod.baf|rod.jpg", &progCar),
    TEXTURE(rodMeshes[1].textures[1], "chrome.jpg"),
    TEXTURE(rodMeshes[1].textures[2], "rubber.tga"),   // 60
    TEXTURE(rodMeshes[1].textures[3], "paint.jpg"),
    SHADER(progTrail, "trail.vs|trail.fs", 0),
    MESH(rodMeshes[2], "bullet.bof|chrome.jpg", &progCar),
    TEXTURE(rodMeshes[2].textures[1], "chrome.jpg"),
    TEXTURE(rodMeshes[2].textures[2], "rubber.tga"),   // 65
    TEXTURE(rodMeshes[2].textures[3], "paint.jpg"),
    MESH(trailMesh, "trail.bof|chrome.jpg", &progTrail),
    SHADER(progGreet, "env.vs|grt.fs", 0),
    MESH(jugMeshes[1], "jug.baf|jug_env.jpg", &progGreet),
    TEXTURE(jugMeshes[1].textures[1], "greet.jpg"),   // 70
    TEXTURE(jugMeshes[1].textures[2], "jug_light.tga"),
    MESH(jugMeshes[2], "jug_broked.baf|jug_env.jpg", &progGreet),
    TEXTURE(jugMeshes[2].textures[1], "greet.jpg"),
    TEXTURE(jugMeshes[2].textures[2], "jug_light.tga"),
    MESH(jugMeshes[4], "jug.baf|jug_env.jpg", &progEnv),   // 75
    TEXTURE(jugMeshes[4].textures[1], "label_nuke.jpg"),
    TEXTURE(jugMeshes[4].textures[2], "jug_light.tga"),
    SHADER(progShroom, "nrm_lite.vs|shroom.fs", 0),
    MESH(shroomMeshes[0], "shroom.baf|smoke.jpg", &progShroom),
    TEXTURE(shroomMeshes[0].textures[1], "smoke_n.jpg"),   // 80
    TEXTURE(shroomMeshes[0].textures[2], "jug_light2.tga"),
    MESH(shroomMeshes[1], "shroom_top.baf|smoke.jpg", &progShroom),
    TEXTURE(shroomMeshes[1].textures[1], "smoke_n.jpg"),
    TEXTURE(shroomMeshes[1].textures[2], "jug_light2.tga"),
    SHADER(progDrunk, "post.vs|drunk.fs", PostProgramRow),   // 85
    {nullptr, nullptr, nullptr, 0, 0},
};
