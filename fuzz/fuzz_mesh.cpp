// libFuzzer target: the mesh file parser (no GL: the parsed arrays only).
#include "assets/assets.h"
#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Mesh mesh;
    memset(&mesh, 0, sizeof mesh);
    if (parseMeshText((const char*)data, size, &mesh, nullptr)) {
        // Every index must stay inside a frame, and the blend slot must exist.
        for (size_t i = 0; i < (size_t)mesh.triangleCount * 3; i++)
            if (mesh.indices[i] >= mesh.vertexCount) abort();
        size_t last = ((size_t)mesh.frameCount + 1) * mesh.vertexCount;
        if (last) mesh.vertices[last - 1].a = 1.0f;
        freeMesh(&mesh);   // no GL names were made, so no GL call happens
    }
    return 0;
}
