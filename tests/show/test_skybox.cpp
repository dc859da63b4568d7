// The skybox step of the show: centred on the eye, drawn without depth test or
// culling, and guarded against indices it does not know.
#include "render/fixture.h"
#include "show/show_local.h"

TEST(Skybox, CentredOnTheEyeAndGuarded)
{
    if (!glReady(64, 64)) GTEST_SKIP() << "no display";
    resetCamera();
    setCamera(3, 4, 5, 0, 0, 0, 0.1f, 100.0f, 90.0f);
    Mesh saved[3];
    memcpy(saved, res.skyMeshes, sizeof(saved));
    drawSkybox(3);
    drawSkybox(-1);
    EXPECT_EQ(0, memcmp(saved, res.skyMeshes, sizeof(saved)));

    TestMesh t;
    makeSquare(&t, 1.0f, flatProgram());
    res.skyMeshes[1] = t.mesh;
    res.skyMeshes[1].z = 1.0f;   // its own placement is replaced
    static float colour[4] = {0, 0, 1, 1};
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    queueUniformEntry("colour", Vec4, 0, 0, colour);
    drawSkybox(1);
    // The square lies in the plane of the eye: seen edge-on it draws nothing,
    // but its model matrix puts it exactly at the camera.
    updateViewMatrix();
    float mv[16];
    matMultiply(mv, camera.view, res.skyMeshes[1].model);
    EXPECT_EQ(mv[12], 0.0f);
    EXPECT_EQ(mv[13], 0.0f);
    EXPECT_EQ(mv[14], 0.0f);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    memcpy(res.skyMeshes, saved, sizeof(saved));
    freeTestMesh(&t);
}

// ---- overlay quads -----------------------------------------------------------------
