// The display-mode dialog's rules as pure functions: which monitor modes are
// listed, which entry is preselected, and what "Run" makes of the choice.
// (The dialog window itself is driven with xdotool in tests/program_dialog.sh.)
#include "platform/platform.h"
#include <gtest/gtest.h>
#include <vector>

namespace {

VideoModeInfo mode(int w, int h, int bits = 8) { return VideoModeInfo{w, h, bits, bits, bits}; }

std::vector<DisplayMode> listOf(const std::vector<VideoModeInfo>& modes, int* selected,
                                int capacity = MaxDisplayModes)
{
    std::vector<DisplayMode> out(capacity > 0 ? capacity : 1);
    int n = buildModeList(modes.data(), (int)modes.size(), out.data(), capacity, 1280, 720, selected);
    out.resize(n);
    return out;
}

TEST(ModeList, KeepsOnly888ModesAndListsARunOfOneSizeOnce)
{
    int selected = 99;
    std::vector<VideoModeInfo> modes = {
        mode(640, 480, 5), mode(640, 480), mode(640, 480), mode(800, 600),
        VideoModeInfo{800, 600, 8, 8, 10}, mode(800, 600), mode(640, 480), mode(1024, 768, 6),
    };
    std::vector<DisplayMode> list = listOf(modes, &selected);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].width, 640);
    EXPECT_EQ(list[1].width, 800);   // 800 × 600 twice in a row (a 10-bit mode between) once
    EXPECT_EQ(list[2].width, 640);   // the same size after others comes again
    EXPECT_EQ(list[2].height, 480);
    EXPECT_EQ(selected, -1);         // no 1280 × 720: nothing selected
}

TEST(ModeList, PreselectsTheLast1280x720Entry)
{
    int selected = -1;
    std::vector<DisplayMode> list =
        listOf({mode(1280, 720), mode(1920, 1080), mode(1280, 720), mode(1280, 720), mode(640, 360)}, &selected);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(selected, 2);
    EXPECT_EQ(list[2].width, 1280);
    EXPECT_EQ(list[2].height, 720);

    listOf({mode(720, 1280), mode(1280, 720, 5)}, &selected);
    EXPECT_EQ(selected, -1);   // turned around or at the wrong depth does not count
}

TEST(ModeList, StopsAtCapacityAndTakesNothingFromNothing)
{
    std::vector<VideoModeInfo> many;
    for (int i = 0; i < 10; i++) many.push_back(mode(100 + i, 100));
    many.push_back(mode(1280, 720));
    int selected = 0;
    std::vector<DisplayMode> list = listOf(many, &selected, 4);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[3].width, 103);
    EXPECT_EQ(selected, -1);   // the 1280 × 720 beyond capacity is never listed nor selected

    DisplayMode out[1];
    EXPECT_EQ(buildModeList(nullptr, 5, out, 1, 1280, 720, &selected), 0);
    EXPECT_EQ(selected, -1);
    EXPECT_EQ(buildModeList(many.data(), 0, out, 1, 1280, 720, &selected), 0);
}

TEST(ModeChoice, RunTakesTheSelectedEntryAndTheBox)
{
    DisplayMode modes[2] = {{800, 600}, {1920, 1080}};
    DisplayChoice choice = {1280, 720, 32, 1};
    applyModeChoice(&choice, modes, 2, 1, 1);
    EXPECT_EQ(choice.width, 1920);
    EXPECT_EQ(choice.height, 1080);
    EXPECT_EQ(choice.windowed, 0);
    applyModeChoice(&choice, modes, 2, 0, 0);
    EXPECT_EQ(choice.width, 800);
    EXPECT_EQ(choice.windowed, 1);
    EXPECT_EQ(choice.bitsPerPixel, 32);
}

TEST(ModeChoice, RunWithNothingSelectedPlays1280x720InAWindow)
{
    DisplayMode modes[1] = {{1920, 1080}};
    for (int selected : {-1, 1, 4096, -7}) {
        DisplayChoice choice = {0, 0, 32, 0};
        applyModeChoice(&choice, modes, 1, selected, 1);
        EXPECT_EQ(choice.width, 1280) << selected;
        EXPECT_EQ(choice.height, 720);
        EXPECT_EQ(choice.windowed, 1);
    }
}

}  // namespace
