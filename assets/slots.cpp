// The object slots of the resource table: program handles, the meshes of the
// show (runs that scenes index as arrays lie in one array each) and textures.
// Kept apart from the table so that drawing code links without the loaders.
#include "assets/assets.h"

int progEnv, progScroll, progSplash, progNrmLite, progLight, progStill,
    progFire, progBokeh, progColorCorrect, progLomofi, progBills, progCar,
    progTrail, progGreet, progShroom, progDrunk;
Mesh skyMeshes[3];
Mesh jugMeshes[5];
Mesh rodMeshes[3];
Mesh shroomMeshes[2];
Mesh splashMesh, logMesh, stillMesh, fireMesh, bottlesMesh, billMesh,
    pressMesh, pressBillMesh, rollMesh, kaleidoMesh, gunMesh, m47Mesh,
    bloodMesh, shotMesh, trailMesh;
int texGrain, texLeak, texDirt, texBgRed;
int texBills[4];
