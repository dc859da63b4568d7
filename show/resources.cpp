// The show's resources: the table of every shader pair, mesh and texture in
// load order, and the object slots its rows fill (runs that scenes index as
// arrays lie in one array each).
#include "show/show_local.h"

ShowSlots res;

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
    SHADER(res.progEnv, "env.vs|env.fs", 0),
    MESH(res.jugMeshes[0], "jug.baf|jug_env.jpg", &res.progEnv),
    TEXTURE(res.jugMeshes[0].textures[1], "label.jpg"),
    TEXTURE(res.jugMeshes[0].textures[2], "jug_light.tga"),
    MESH(res.jugMeshes[3], "jug_intact.bof|jug_env.jpg", &res.progEnv),
    TEXTURE(res.jugMeshes[3].textures[1], "label.jpg"),   // 5
    TEXTURE(res.jugMeshes[3].textures[2], "jug_light.tga"),
    SHADER(res.progScroll, "scroll.vs|base.fs", 0),
    SHADER(res.progSky, "sky.vs|picture.fs", 0),
    SHADER(res.progPicture, "picture.vs|picture.fs", 0),
    MESH(res.skyMeshes[0], "skybox.bof|skybox.jpg", &res.progSky),   // 10
    MESH(res.skyMeshes[1], "skybox.bof|skybox2.jpg", &res.progSky),
    MESH(res.skyMeshes[2], "speedLines.bof|bgRed2.jpg", &res.progScroll),
    SHADER(res.progSplash, "splash.vs|splash.fs", 0),
    MESH(res.splashMesh, "splash.baf|splash_nrm.jpg", &res.progSplash),
    SHADER(res.progNrmLite, "nrm_lite.vs|nrm_lite.fs", 0),   // 15
    SHADER(res.progLight, "light.vs|light.fs", 0),
    MESH(res.logMesh, "log.bof|log_col.jpg", &res.progNrmLite),
    TEXTURE(res.logMesh.textures[1], "log_nrm.jpg"),
    TEXTURE(res.logMesh.textures[2], "jug_light.tga"),
    SHADER(res.progStill, "still.vs|still.fs", 0),   // 20
    MESH(res.stillMesh, "still.bof|still.jpg", &res.progStill),
    TEXTURE(res.stillMesh.textures[1], "envNight.jpg"),
    TEXTURE(res.stillMesh.textures[2], "lightnight.tga"),
    SHADER(res.progFire, "env_scale.vs|firehighlight.fs", 0),
    MESH(res.fireMesh, "fire.bof|fire.jpg", &res.progFire),   // 25
    MESH(res.bottlesMesh, "botlz.bof|jugNight.jpg", &res.progEnv),
    TEXTURE(res.bottlesMesh.textures[1], "botlz.tga"),
    TEXTURE(res.bottlesMesh.textures[2], "lightnight.tga"),
    SHADER(res.progBokeh, "post.vs|fastbokeh.fs", PostProgramRow),
    SHADER(res.progColorCorrect, "post_uv.vs|color_correct.fs", PostProgramRow),   // 30
    SHADER(res.progLomofi, "post_uv.vs|lomofi.fs", PostProgramRow),
    TEXTURE(res.texGrain, "grain.jpg"),
    TEXTURE(res.texLeak, "leak.tga"),
    TEXTURE(res.texDirt, "dirt.jpg"),
    MESH(res.billMesh, "bill.bof", &res.progLight),   // 35
    TEXTURE(res.billMesh.textures[1], "jug_light.tga"),
    TEXTURE(res.texBills[0], "bill_po.jpg"),
    TEXTURE(res.texBills[1], "bill_bl.jpg"),
    TEXTURE(res.texBills[2], "bill_bo.jpg"),
    TEXTURE(res.texBills[3], "bill_da.jpg"),   // 40
    SHADER(res.progBills, "light.vs|bills.fs", 0),
    MESH(res.pressMesh, "press.baf|press.jpg", &res.progStill),
    TEXTURE(res.pressMesh.textures[1], "press_lite.tga"),
    TEXTURE(res.pressMesh.textures[2], "press_env.jpg"),
    MESH(res.pressBillMesh, "press_bill.baf|bills0.jpg", &res.progBills),   // 45
    TEXTURE(res.pressBillMesh.textures[1], "bills1.jpg"),
    TEXTURE(res.pressBillMesh.textures[2], "press_lite.tga"),
    MESH(res.rollMesh, "roll.bof|roll.jpg", &res.progLight),
    TEXTURE(res.rollMesh.textures[1], "press_lite.tga"),
    MESH(res.kaleidoMesh, "kaleido.bof", &res.progPicture),   // 50
    TEXTURE(res.texBgRed, "bgRed.tga"),
    MESH(res.gunMesh, "gun.baf|roll.jpg", &res.progLight),
    MESH(res.m47Mesh, "m47.bof|wrap.jpg", &res.progLight),
    TEXTURE(res.gunMesh.textures[1], "jug_light.tga"),
    TEXTURE(res.m47Mesh.textures[1], "jug_light.tga"),   // 55
    MESH(res.bloodMesh, "blood.baf|splash_nrm.jpg", &res.progSplash),
    MESH(res.shotMesh, "shot.bof|shot.tga", nullptr),
    SHADER(res.progCar, "car.vs|car.fs", 0),
    MESH(res.rodMeshes[0], "bullet.bof|chrome.jpg", &res.progCar),
    MESH(res.rodMeshes[1], "rod.baf|rod.jpg", &res.progCar),   // 60
    TEXTURE(res.rodMeshes[1].textures[1], "chrome.jpg"),
    TEXTURE(res.rodMeshes[1].textures[2], "rubber.tga"),
    TEXTURE(res.rodMeshes[1].textures[3], "paint.jpg"),
    SHADER(res.progTrail, "trail.vs|trail.fs", 0),
    MESH(res.rodMeshes[2], "bullet.bof|chrome.jpg", &res.progCar),   // 65
    TEXTURE(res.rodMeshes[2].textures[1], "chrome.jpg"),
    TEXTURE(res.rodMeshes[2].textures[2], "rubber.tga"),
    TEXTURE(res.rodMeshes[2].textures[3], "paint.jpg"),
    MESH(res.trailMesh, "trail.bof|chrome.jpg", &res.progTrail),
    SHADER(res.progGreet, "env.vs|grt.fs", 0),   // 70
    MESH(res.jugMeshes[1], "jug.baf|jug_env.jpg", &res.progGreet),
    TEXTURE(res.jugMeshes[1].textures[1], "greet.jpg"),
    TEXTURE(res.jugMeshes[1].textures[2], "jug_light.tga"),
    MESH(res.jugMeshes[2], "jug_broked.baf|jug_env.jpg", &res.progGreet),
    TEXTURE(res.jugMeshes[2].textures[1], "greet.jpg"),   // 75
    TEXTURE(res.jugMeshes[2].textures[2], "jug_light.tga"),
    MESH(res.jugMeshes[4], "jug.baf|jug_env.jpg", &res.progEnv),
    TEXTURE(res.jugMeshes[4].textures[1], "label_nuke.jpg"),
    TEXTURE(res.jugMeshes[4].textures[2], "jug_light.tga"),
    SHADER(res.progShroom, "nrm_lite.vs|shroom.fs", 0),   // 80
    MESH(res.shroomMeshes[0], "shroom.baf|smoke.jpg", &res.progShroom),
    TEXTURE(res.shroomMeshes[0].textures[1], "smoke_n.jpg"),
    TEXTURE(res.shroomMeshes[0].textures[2], "jug_light2.tga"),
    MESH(res.shroomMeshes[1], "shroom_top.baf|smoke.jpg", &res.progShroom),
    TEXTURE(res.shroomMeshes[1].textures[1], "smoke_n.jpg"),   // 85
    TEXTURE(res.shroomMeshes[1].textures[2], "jug_light2.tga"),
    SHADER(res.progDrunk, "post.vs|drunk.fs", PostProgramRow),
    SHADER(res.progContrast, "post_uv.vs|color_contrast.fs", PostProgramRow),
    SHADER(res.progLomofiContrast, "post_uv.vs|lomofi.fs?CORRECT_SCENE", PostProgramRow),
    SHADER(res.progLomofiCorrect, "post_uv.vs|lomofi.fs?CORRECT_SCENE,CORRECT_GAMMA", PostProgramRow),   // 90
    {nullptr, nullptr, nullptr, 0, 0},
};
