// The scenes' arithmetic without GL: the layout table, camera segments, fades,
// placements of bottles, bills, rolls and jugs, and the closing colours.
#include "show/show_local.h"
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

static float rad(float degrees) { return DEG2RAD(degrees); }

// ---- the layout table ----------------------------------------------------------

TEST(RandomTable, FirstEntriesFollowTheGeneratorAndTheRestIsFixed)
{
    uint32_t s = 0;
    for (int i = 0; i < 300; i++) {
        s = s * 214013u + 2531011u;
        ASSERT_EQ(randomTable[i], (s >> 16) & 0x7FFF) << "entry " << i;
    }
    const unsigned short fixed[48] = {
        81,    16376, 24096, 20348, 11872, 30076, 16059, 26999, 28493, 16223, 3930,  28673, 26804, 18775, 14123, 11940,
        29899, 3669,  26796, 25588, 5537,  3767,  20240, 18792, 11688, 14015, 10980, 19816, 8562,  2372,  8690,  13223,
        18104, 25255, 18022, 4019,  17568, 26633, 6447,  19915, 18751, 30395, 2984,  15856, 14429, 10230, 17528, 21822};
    for (int i = 0; i < 48; i++) EXPECT_EQ(randomTable[300 + i], fixed[i]) << "entry " << 300 + i;
    EXPECT_EQ(randomTable[598], 31912);
    EXPECT_EQ(randomTable[599], 22196);
    for (int i = 0; i < 600; i++) ASSERT_LE(randomTable[i], 32767) << "entry " << i;
}

// ---- small shared steps -------------------------------------------------------------

TEST(SceneSteps, CameraSegmentsClampOutsideTheKeys)
{
    struct Case {
        float driver;
        int keys;
        int n;
        float f;
    } cases[] = {
        {0.0f, 5, 0, 0.0f},  {0.5f, 5, 0, 0.5f},  {1.0f, 5, 1, 0.0f},       {3.5f, 5, 3, 0.5f}, {4.0f, 5, 3, 1.0f},
        {7.25f, 5, 3, 1.0f}, {-0.5f, 5, 0, 0.0f}, {-3.0f, 5, 0, 0.0f},      {NAN, 5, 0, 0.0f},  {INFINITY, 7, 5, 1.0f},
        {6.0f, 7, 5, 1.0f},  {2.5f, 7, 2, 0.5f},  {0.0001f, 7, 0, 0.0001f},
    };
    for (const Case& c : cases) {
        int n = -9;
        float f = -9.0f;
        cameraSegment(c.driver, c.keys, &n, &f);
        EXPECT_EQ(n, c.n) << "driver " << c.driver;
        EXPECT_FLOAT_EQ(f, c.f) << "driver " << c.driver;
    }
    int n = 0;
    float f = 0.0f;
    cameraSegment(3.999f, 5, &n, &f);
    EXPECT_EQ(n, 3);
    EXPECT_NEAR(f, 0.999f, 1e-6f);
}

TEST(SceneSteps, FadeAndBlurColoursStayInTheirBytes)
{
    EXPECT_EQ(fadeColour(0.5f), 0x7F7F7F7Fu);
    EXPECT_EQ(fadeColour(1.0f), 0xFFFFFFFFu);
    EXPECT_EQ(fadeColour(0.0f), 0u);
    // Out of range: clamped per channel, never carried into the next byte.
    EXPECT_EQ(fadeColour(1.5f), 0xFFFFFFFFu);
    EXPECT_EQ(fadeColour(40.0f), 0xFFFFFFFFu);
    EXPECT_EQ(fadeColour(-0.25f), 0u);
    EXPECT_EQ(fadeColour(NAN), 0u);
    EXPECT_EQ(trackByte(0.999f), 254u);

    EXPECT_EQ(blurMixColour(0.03f), 0xFFFFFF00u | 122u);
    EXPECT_EQ(blurMixColour(0.0f), 0xFFFFFF00u);
    EXPECT_EQ(blurMixColour(1.0f / 16.0f), 0xFFFFFFFFu);
    EXPECT_EQ(blurMixColour(3.0f), 0xFFFFFFFFu);
    EXPECT_EQ(blurMixColour(-1.0f), 0xFFFFFF00u);

    EXPECT_FLOAT_EQ(bokehScale(0.25f, 1024, 2.0f), 0.25f);
    EXPECT_FLOAT_EQ(bokehScale(0.25f, 1025, 2.0f), 0.5f);
    EXPECT_FLOAT_EQ(bokehScale(0.25f, 1920, 2.0f), 0.5f);
}

// ---- instance layouts ----------------------------------------------------------

TEST(SceneLayouts, BottleZeroRisesAndTurns)
{
    Mesh bottle;
    memset(&bottle, 0, sizeof bottle);
    placeBottle(&bottle, 0, 1.0f);
    EXPECT_FLOAT_EQ(bottle.x, -948.0f);
    EXPECT_FLOAT_EQ(bottle.y, 689.0f);
    EXPECT_FLOAT_EQ(bottle.z, 492.0f);
    EXPECT_FLOAT_EQ(bottle.yaw, rad(592.0f));
    EXPECT_FLOAT_EQ(bottle.pitch, rad(-748.0f));
    EXPECT_FLOAT_EQ(bottle.roll, rad(1189.0f));
    EXPECT_EQ(bottle.dirty, 1);
}

TEST(SceneLayouts, BottlesOnTheGroundKeepOnlyTheirYaw)
{
    Mesh bottle;
    memset(&bottle, 0, sizeof bottle);
    for (int i = 0; i < 100; i++) {
        placeBottle(&bottle, i, 0.0f);
        ASSERT_FLOAT_EQ(bottle.y, -100.0f) << i;
        ASSERT_EQ(bottle.pitch, 0.0f) << i;
        ASSERT_EQ(bottle.roll, 0.0f) << i;
        ASSERT_FLOAT_EQ(bottle.yaw, rad(bottle.z)) << i;
        ASSERT_GE(bottle.x, -1024.0f);
        ASSERT_LE(bottle.x, 1022.0f);
        ASSERT_EQ(fmodf(bottle.x, 2.0f), 0.0f);
    }
}

TEST(SceneLayouts, BillSpreadAndBillZero)
{
    EXPECT_EQ(billSpread(0.1f), 0.0f);
    EXPECT_NEAR(billSpread(1.0f), 0.928902f, 1e-6f);
    EXPECT_NEAR(billSpread(0.5f), 0.526553f, 1e-6f);
    EXPECT_TRUE(isnan(billSpread(0.0f)));

    int saved[4];
    memcpy(saved, res.texBills, sizeof saved);
    for (int i = 0; i < 4; i++) res.texBills[i] = 100 + i;
    Mesh bill;
    memset(&bill, 0, sizeof bill);
    placeBill(&bill, 0, 0.0f);
    EXPECT_EQ(bill.x, 0.0f);
    EXPECT_EQ(bill.y, 0.0f);
    EXPECT_EQ(bill.z, 0.0f);
    EXPECT_FLOAT_EQ(bill.yaw, rad(18.052734375f));
    EXPECT_FLOAT_EQ(bill.pitch, rad(-474.0f));
    EXPECT_FLOAT_EQ(bill.roll, rad(227.7421875f));
    EXPECT_EQ(bill.textures[0], 103);   // the fourth design
    EXPECT_EQ(bill.dirty, 1);

    float m = billSpread(1.0f);
    placeBill(&bill, 0, m);
    EXPECT_FLOAT_EQ(bill.x, -474.0f * m);
    EXPECT_FLOAT_EQ(bill.y, 18.052734375f * m);
    EXPECT_FLOAT_EQ(bill.z, 227.7421875f * m);
    EXPECT_FLOAT_EQ(bill.pitch, rad((float)(-474.0 + 200.0 * (double)m)));
    EXPECT_FLOAT_EQ(bill.roll, rad((float)(227.7421875 - 400.0 * (double)m)));

    const int cycle[4] = {103, 102, 101, 100};
    for (int i = 0; i < 8; i++) {
        placeBill(&bill, i, m);
        EXPECT_EQ(bill.textures[0], cycle[i % 4]) << i;
    }
    memcpy(res.texBills, saved, sizeof saved);
}

// ---- what the routines leave behind (real GL, stand-in meshes) -------------------

// ---- arithmetic --------------------------------------------------------------------

TEST(PressArithmetic, LoopPhaseAndKaleidoscopeCopies)
{
    EXPECT_NEAR(loopPhase(1.3f), 0.2f, 1e-5f);
    EXPECT_EQ(loopPhase(0.0f), 0.0f);
    EXPECT_NEAR(loopPhase(0.3f), 0.2f, 1e-5f);

    float rolls[64];
    EXPECT_EQ(kaleidoRolls(0, 0.5f, rolls, 64), 0);
    EXPECT_EQ(kaleidoRolls(-3, 0.5f, rolls, 64), 0);
    ASSERT_EQ(kaleidoRolls(1, 0.25f, rolls, 64), 1);
    EXPECT_EQ(rolls[0], 0.25f);   // the camera's own roll
    ASSERT_EQ(kaleidoRolls(6, 0.25f, rolls, 64), 6);
    for (int k = 0; k < 6; k++)   // offsets 5, 4, ... 0 sixths
        EXPECT_FLOAT_EQ(rolls[k], (float)(0.25 + (5 - k) * (double)6.2832f / 6.0)) << k;
    EXPECT_EQ(rolls[5], 0.25f);
    // A runaway track is held to a bounded number of draws.
    EXPECT_EQ(kaleidoRolls(100000, 0.0f, rolls, 64), 64);
    EXPECT_EQ(kaleidoRolls(6, 0.0f, rolls, 4), 4);

    // A ramp of three triangles 10-20, 20-30 and 30-40 units ahead of the
    // eye, stored as loaded (ahead is -z). Share s keeps the triangles with a
    // corner within 10 + 30 s: the near end first, never the far one.
    MeshVertex ramp[7] = {};
    for (int k = 0; k < 7; k++) ramp[k].z = -(10.0f + 10.0f * (float)((k + 1) / 2));
    uint16_t corners[9] = {0, 1, 2, 2, 3, 4, 4, 5, 6};
    Mesh wedge = {};
    wedge.vertexCount = 7;
    wedge.triangleCount = 3;
    wedge.vertices = ramp;
    wedge.indices = corners;
    EXPECT_EQ(kaleidoTriangles(&wedge, 0.25f), 1u);   // within 17.5
    EXPECT_EQ(kaleidoTriangles(&wedge, 0.32f), 1u);   // 19.6: the second starts at 20
    EXPECT_EQ(kaleidoTriangles(&wedge, 0.35f), 2u);   // 20.5
    EXPECT_EQ(kaleidoTriangles(&wedge, 1.0f), 3u);
    wedge.indices = nullptr;   // nothing to judge by: all of them
    EXPECT_EQ(kaleidoTriangles(&wedge, 0.25f), 3u);

    EXPECT_EQ(tintColour(1.0f), 0x224411FFu);
    EXPECT_EQ(tintColour(0.0f), 0x22441100u);
    EXPECT_EQ(tintColour(0.5f), 0x2244117Fu);
    EXPECT_EQ(tintColour(3.0f), 0x224411FFu);   // clamped, never into blue
    EXPECT_EQ(tintColour(-1.0f), 0x22441100u);
}

TEST(PressArithmetic, RollRadiiSpreadAndTumble)
{
    EXPECT_NEAR(rollRadius(0, 0.8f), 42.7778f, 1e-4f);
    EXPECT_NEAR(rollRadius(1, 0.8f), 30.2778f, 1e-4f);
    EXPECT_EQ(rollRadius(2, 0.8f), 14.999998f);   // 1.3 in single precision
    // Each roll is widest (65) where its H is 0.
    EXPECT_FLOAT_EQ(rollRadius(2, 0.0f), 65.0f);
    EXPECT_FLOAT_EQ(rollRadius(0, (float)(1.0 / 3.0 / 1.25)), 65.0f);

    Mesh roll;
    memset(&roll, 0, sizeof roll);
    for (int j = 0; j < 3; j++) {
        int e = 300 + 5 * j, o = 120 - 60 * j;
        placeRoll(&roll, j, 0.8f, 0.0f);
        EXPECT_NEAR(sqrtf(roll.x * roll.x + roll.y * roll.y), rollRadius(j, 0.8f), 1e-3f) << j;
        EXPECT_EQ(roll.z, 0.0f);
        EXPECT_FLOAT_EQ(roll.pitch, rad((float)((randomTable[e + 3] & 255) + o))) << j;   // G = 0
        EXPECT_FLOAT_EQ(roll.yaw, rad((float)((randomTable[e + 4] & 255) + o)));
        EXPECT_FLOAT_EQ(roll.roll, rad((float)((randomTable[e + 2] & 255) + o)));
        EXPECT_EQ(roll.dirty, 1);
        // var1 1.5: G = 0.5 adds 64 degrees to the pitch; time turns all three.
        placeRoll(&roll, j, 1.5f, 2.0f);
        EXPECT_FLOAT_EQ(roll.pitch, rad((float)((randomTable[e + 3] & 255) + o + 60 + 64))) << j;
        EXPECT_FLOAT_EQ(roll.yaw, rad((float)((randomTable[e + 4] & 255) + o + 40)));
        EXPECT_FLOAT_EQ(roll.roll, rad((float)((randomTable[e + 2] & 255) + o + 20)));
    }
}

TEST(GunArithmetic, BackdropAndBulletFlight)
{
    EXPECT_FLOAT_EQ(backdropHeight(1080.0f / 1920.0f), 1.3333333f);
    EXPECT_FLOAT_EQ(backdropHeight(0.75f), 1.0f);
    EXPECT_EQ(bulletZ(2.5f), 262.5f);
    EXPECT_EQ(bulletZ(3.0f), 375.0f);
    EXPECT_EQ(bulletZ(4.0f), 375.0f);
    EXPECT_EQ(bulletZ(2.0f), 225.0f);
    EXPECT_EQ(bulletZ(-5.0f), 225.0f);
    EXPECT_EQ(bulletZ(NAN), 225.0f);
}

TEST(RodArithmetic, WobbleStartsAtRestAndStaysSmall)
{
    float a = 1.0f, b = 1.0f;
    rodWobble(0.0f, &a, &b);
    EXPECT_EQ(a, 0.0f);
    EXPECT_EQ(b, 0.0f);
    for (int i = 1; i < 400; i++) {
        rodWobble(i * 0.013f, &a, &b);
        ASSERT_LE(fabsf(a), 0.4f);
        ASSERT_LE(fabsf(b), 0.4f);
    }
    rodWobble(0.01f, &a, &b);
    EXPECT_FLOAT_EQ(a, 0.2f * (sinf(1.0f) + sinf(1.4f) * sinf(0.8f)));
    EXPECT_FLOAT_EQ(b, 0.2f * (sinf(1.2f) + sinf(1.5f) * sinf(0.9f)));
}

TEST(GreetingArithmetic, JugStatesByVar1)
{
    struct Case {
        float var1;
        int breaking;
        float t;
    } cases[] = {
        {3.5f, 3, 0.5f},   {0.0f, 0, 0.0f},       {-0.5f, 0, 0.0f},  {-1.0f, -1, 0.0f}, {-7.0f, -1, 0.0f},
        {16.0f, 16, 0.0f}, {15.999f, 15, 0.999f}, {1e30f, 17, 0.0f}, {NAN, 0, 0.0f},
    };
    for (const Case& c : cases)
        for (int i = 0; i < 16; i++) {
            float t = -1.0f;
            int state = jugState(i, c.var1, &t);
            int expected = i < c.breaking ? JugBroken : (i == c.breaking ? JugBreaking : JugWhole);
            ASSERT_EQ(state, expected) << "var1 " << c.var1 << " jug " << i;
            EXPECT_NEAR(t, i == c.breaking ? c.t : 0.0f, 1e-3f) << "var1 " << c.var1 << " jug " << i;
        }

    // The sixteen places: even coordinates on the square, all different.
    for (int j = 0; j < 16; j++) {
        float x = 0.0f, z = 0.0f;
        jugPlace(j, &x, &z);
        EXPECT_EQ(x, (float)(2 * (randomTable[300 + 3 * j] % 1024) - 1024));
        EXPECT_EQ(z, (float)(2 * (randomTable[301 + 3 * j] % 1024) - 1024));
        for (int k = 0; k < j; k++) {
            float x2 = 0.0f, z2 = 0.0f;
            jugPlace(k, &x2, &z2);
            EXPECT_FALSE(x == x2 && z == z2) << j << " and " << k;
        }
    }
}

// The field drawn nearest first: every jug once, each no nearer the eye than
// the one before; an eye standing on a jug's place draws that jug first.
TEST(FieldArithmetic, JugsDrawnNearestFirst)
{
    float places[16][2];
    for (int j = 0; j < 16; j++) jugPlace(j, &places[j][0], &places[j][1]);
    const float eyes[][2] = {{0.0f, 0.0f}, {-3000.0f, 500.0f}, {places[7][0], places[7][1]}};
    for (const auto& eye : eyes) {
        int order[16];
        jugsNearFirst(eye[0], eye[1], order);
        int seen[16] = {};
        double last = -1.0;
        for (int k = 0; k < 16; k++) {
            ASSERT_TRUE(order[k] >= 0 && order[k] < 16);
            seen[order[k]]++;
            double dx = places[order[k]][0] - eye[0], dz = places[order[k]][1] - eye[1];
            EXPECT_GE(dx * dx + dz * dz, last) << "eye " << eye[0] << " " << eye[1] << " at " << k;
            last = dx * dx + dz * dz;
        }
        for (int j = 0; j < 16; j++) EXPECT_EQ(seen[j], 1) << j;
    }
    int order[16];
    jugsNearFirst(places[7][0], places[7][1], order);
    EXPECT_EQ(order[0], 7);
}

TEST(CloudArithmetic, GlowFlashAndDarkening)
{
    EXPECT_NEAR(shroomGlow(0.5f), 0.3883483f, 1e-6f);
    EXPECT_NEAR(shroomGlow(0.1f), 1.107128f, 1e-5f);
    EXPECT_EQ(shroomGlow(1.0f), 0.0f);
    EXPECT_EQ(shroomGlow(0.0f), 3.0f);
    EXPECT_EQ(shroomGlow(-1.0f), 3.0f);   // below 0 counts as 0
    EXPECT_EQ(shroomGlow(NAN), 3.0f);

    EXPECT_EQ(flashColour(shroomGlow(0.5f)), 0x31313131u);   // byte 49
    EXPECT_EQ(flashColour(shroomGlow(0.1f)), 141u * 0x01010101u);
    EXPECT_EQ(flashColour(shroomGlow(1.0f)), 0u);
    // Near var1 0 the byte would pass 255: clamped, no carry into the next channel.
    EXPECT_EQ(flashColour(shroomGlow(0.0f)), 0xFFFFFFFFu);
    EXPECT_EQ(flashColour(shroomGlow(0.003f)), 0xFFFFFFFFu);

    EXPECT_EQ(darkenColour(1.5f), 0x7F7F7F7Fu);
    EXPECT_EQ(darkenColour(2.0f), 0u);
    EXPECT_EQ(darkenColour(1.0f), 0xFFFFFFFFu);
    EXPECT_EQ(darkenColour(2.5f), 0u);   // past the end: stays black
    EXPECT_EQ(darkenColour(0.5f), 0xFFFFFFFFu);
}

// ---- what the routines leave behind (real GL, stand-in meshes) -----------------------
