// Tracker modules through the sound layer: the first ten Zxx events in order,
// and every Z row reported by the module layer, also after a seek.
#include "sync/music_fixture.h"

TEST(Music, ModuleDeliversFirstTenZxxEventsInOrder)
{
    InDirectory here("music_ModuleDeliversFirstTenZxxEventsInOrder");   // its files, away from any data folder
    writeFile("zxx.s3m", makeS3m(zCells, 2, zTempo));
    resetOutput("capture_module.raw");
    ASSERT_EQ(startMusic("zxx.s3m", 0.0f), 1);
    ASSERT_TRUE(currentSong);
    EXPECT_EQ(currentStream, nullptr);
    EXPECT_TRUE(waitForModuleTime(currentSong, 1250));
    stopMusic();
    soundShutdown();
    ASSERT_EQ(zxxEventCount(), 10);
    for (int i = 0; i < 10; i++) {
        const ZxxEvent* e = zxxEventAt(i);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->parameter, zCells[i].param) << i;
        EXPECT_EQ(e->order, zCells[i].pattern) << i;   // order i plays pattern i
        EXPECT_EQ(e->pattern, zCells[i].pattern) << i;
        EXPECT_EQ(e->row, zCells[i].row) << i;
        double rowMs = (zCells[i].pattern * 64 + zCells[i].row) * zRowMs;
        EXPECT_NEAR(e->time, rowMs, zRowMs + 1) << i;
    }
    EXPECT_EQ(zxxEventAt(10), nullptr);
    ZxxEvent extra = {1, 2, 3, 4, 5};
    EXPECT_EQ(pushZxxEvent(&extra), 0);   // the ring keeps the first ten
    EXPECT_EQ(zxxEventCount(), 10);
}

TEST(Music, ModuleLayerReportsEveryZRowAndSeeks)
{
    InDirectory here("music_ModuleLayerReportsEveryZRowAndSeeks");   // its files, away from any data folder
    writeFile("zxx_layer.s3m", makeS3m(zCells, 2, zTempo));
    resetOutput("capture_layer.raw");
    ASSERT_EQ(soundInit(44100), 1);
    SoundModule* m = soundModuleLoad("zxx_layer.s3m");
    ASSERT_TRUE(m);
    seenZ.clear();
    ASSERT_EQ(soundModuleSetZxxCallback(m, recordZ), 1);
    ASSERT_EQ(soundModulePlay(m, 0), 1);
    EXPECT_TRUE(waitForModuleTime(m, 1250));
    EXPECT_EQ(soundModuleFree(m), 1);         // stops the callback before returning
    ASSERT_EQ(seenZ.size(), zCells.size());   // the 11th and 12th reach the layer
    for (size_t i = 0; i < zCells.size(); i++) {
        EXPECT_EQ(seenZ[i].parameter, zCells[i].param) << i;
        EXPECT_EQ(seenZ[i].order, zCells[i].pattern) << i;
        EXPECT_EQ(seenZ[i].row, zCells[i].row) << i;
    }

    // Started 0.7 s in (order 1, row 6): the first effect seen is order 1 row 30.
    m = soundModuleLoad("zxx_layer.s3m");
    ASSERT_TRUE(m);
    seenZ.clear();
    soundModuleSetZxxCallback(m, recordZ);
    ASSERT_EQ(soundModulePlay(m, 700), 1);
    EXPECT_TRUE(waitForModuleTime(m, 1250));
    soundModuleFree(m);
    ASSERT_EQ(seenZ.size(), 4u);
    EXPECT_EQ(seenZ[0].parameter, 0x18);
    EXPECT_EQ(seenZ[0].order, 1);
    EXPECT_EQ(seenZ[0].row, 30);
    EXPECT_EQ(soundLiveObjects(), 0);
    soundShutdown();
}
