// The show's data hook, run once after the resource table has loaded.
#include "show/show_local.h"

// Adapts the loaded meshes to the scenes: units, the splash meshes' second
// texture (the jug's environment), welded mushroom normals, tangents.
void prepareShowData(void)
{
    scaleMesh(&skyMeshes[0], 10.0f);
    scaleMesh(&skyMeshes[1], 10.0f);
    splashMesh.textures[1] = jugMeshes[0].textures[0];
    computeMeshTangents(&splashMesh);
    bloodMesh.textures[1] = jugMeshes[0].textures[0];
    computeMeshTangents(&bloodMesh);
    scaleMesh(&logMesh, 0.5f);
    computeMeshTangents(&logMesh);
    scaleMesh(&rodMeshes[2], 0.075f);
    weldNormals(&shroomMeshes[0], 0.01f);
    computeMeshTangents(&shroomMeshes[0]);
    computeMeshTangents(&shroomMeshes[1]);
}
