// The show's data hook, run once after the resource table has loaded, and the
// same processing for one mesh that was loaded again while the show plays.
#include "show/show_local.h"

// What the hook does to one mesh, in this order: scale, weld normals, tangents.
struct MeshProcessing {
    Mesh* mesh;
    float scale;    // 0: keep the size
    float weld;     // distance within which normals are welded; 0: none
    int tangents;   // 1: per-vertex tangents
};
static const MeshProcessing meshProcessing[] = {
    {&res.skyMeshes[0], 10.0f, 0.0f, 0},    {&res.skyMeshes[1], 10.0f, 0.0f, 0},   {&res.splashMesh, 0.0f, 0.0f, 1},
    {&res.bloodMesh, 0.0f, 0.0f, 1},        {&res.logMesh, 0.5f, 0.0f, 1},         {&res.rodMeshes[2], 0.075f, 0.0f, 0},
    {&res.shroomMeshes[0], 0.0f, 0.01f, 1}, {&res.shroomMeshes[1], 0.0f, 0.0f, 1},
};

static void applyProcessing(const MeshProcessing* p)
{
    if (p->scale != 0.0f) scaleMesh(p->mesh, p->scale);
    if (p->weld != 0.0f) weldNormals(p->mesh, p->weld);
    if (p->tangents) computeMeshTangents(p->mesh);
}

// Adapts the loaded meshes to the scenes: units, the splash meshes' second
// texture (the jug's environment), welded mushroom normals, tangents.
void prepareShowData(void)
{
    res.splashMesh.textures[1] = res.jugMeshes[0].textures[0];
    res.bloodMesh.textures[1] = res.jugMeshes[0].textures[0];
    for (const MeshProcessing& p : meshProcessing) applyProcessing(&p);
}

void processShowMesh(Mesh* mesh)
{
    for (const MeshProcessing& p : meshProcessing)
        if (p.mesh == mesh) applyProcessing(&p);
}
