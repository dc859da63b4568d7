// The display-mode dialog's rules as pure functions: which monitor modes are
// listed, which entry is preselected, what its keys do and what "Run" makes of
// the choice.
// (The dialog window itself is driven with xdotool in tests/app/program_dialog.sh.)
#include "platform/platform.h"
#include <gtest/gtest.h>
#include <vector>

namespace {

VideoModeInfo mode(int w, int h, int bits = 8) { return VideoModeInfo{w, h, bits, bits, bits}; }

std::vector<DisplayMode> listOf(const std::vector<VideoModeInfo>& modes, int* selected, int capacity = MaxDisplayModes)
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
        mode(640, 480, 5), mode(640, 480), mode(640, 480),     mode(800, 600), VideoModeInfo{800, 600, 8, 8, 10},
        mode(800, 600),    mode(640, 480), mode(1024, 768, 6),
    };
    std::vector<DisplayMode> list = listOf(modes, &selected);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].width, 640);
    EXPECT_EQ(list[1].width, 800);   // 800 × 600 twice in a row (a 10-bit mode between) once
    EXPECT_EQ(list[2].width, 640);   // the same size after others comes again
    EXPECT_EQ(list[2].height, 480);
    EXPECT_EQ(selected, -1);   // no 1280 × 720: nothing selected
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

TEST(ModePreselect, TheDesktopModeWhenNo1280x720IsListed)
{
    // The list of an Xvfb screen: one mode, its own size.
    int selected = 0;
    std::vector<DisplayMode> single = listOf({mode(1920, 1080)}, &selected);
    EXPECT_EQ(selected, -1);
    EXPECT_EQ(preselectMode(single.data(), (int)single.size(), selected, 1920, 1080), 0);

    // Of two entries of the desktop's size (a run broken by another size) the last.
    std::vector<DisplayMode> list =
        listOf({mode(1600, 900), mode(800, 600), mode(1600, 900), mode(1024, 768)}, &selected);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(preselectMode(list.data(), 4, selected, 1600, 900), 2);
    EXPECT_EQ(preselectMode(list.data(), 4, selected, 1024, 768), 3);
    // A desktop size the list lacks (or turned around) leaves nothing selected.
    EXPECT_EQ(preselectMode(list.data(), 4, selected, 900, 1600), -1);
    EXPECT_EQ(preselectMode(list.data(), 4, selected, 2560, 1440), -1);
    // An empty list has nothing to select.
    EXPECT_EQ(preselectMode(list.data(), 0, -1, 1600, 900), -1);
    EXPECT_EQ(preselectMode(nullptr, 4, -1, 1600, 900), -1);
}

TEST(ModePreselect, A1280x720EntryStaysChosenOverTheDesktop)
{
    int selected = -1;
    std::vector<DisplayMode> list = listOf({mode(1920, 1080), mode(1280, 720), mode(1024, 768)}, &selected);
    ASSERT_EQ(selected, 1);
    EXPECT_EQ(preselectMode(list.data(), 3, selected, 1920, 1080), 1);
    // An index outside the list does not count as a choice.
    EXPECT_EQ(preselectMode(list.data(), 3, 3, 1920, 1080), 0);
    EXPECT_EQ(preselectMode(list.data(), 3, -5, 1024, 768), 2);
}

DialogInput inputOf(int count, int selected, int checked = 0, int focus = ControlResolution)
{
    return DialogInput{count, selected, checked, focus};
}

TEST(DialogKeys, UpAndDownStepThroughTheResolutionsAndStopAtTheEnds)
{
    DialogInput in = inputOf(3, 1);
    EXPECT_EQ(dialogKeyPress(&in, DialogKeyDown), -2);
    EXPECT_EQ(in.selected, 2);
    dialogKeyPress(&in, DialogKeyDown);
    EXPECT_EQ(in.selected, 2);   // the last entry stays
    for (int i = 0; i < 4; i++) dialogKeyPress(&in, DialogKeyUp);
    EXPECT_EQ(in.selected, 0);   // the first entry stays
    EXPECT_EQ(in.fullscreenChecked, 0);
    EXPECT_EQ(in.focus, ControlResolution);

    // From nothing selected: Down takes the first, Up the last.
    in = inputOf(3, -1);
    dialogKeyPress(&in, DialogKeyDown);
    EXPECT_EQ(in.selected, 0);
    in = inputOf(3, -1);
    dialogKeyPress(&in, DialogKeyUp);
    EXPECT_EQ(in.selected, 2);
    in = inputOf(3, 7);   // out of range counts as nothing
    dialogKeyPress(&in, DialogKeyDown);
    EXPECT_EQ(in.selected, 0);
    // An empty list keeps nothing selected; arrows work whatever has the focus.
    in = inputOf(0, -1);
    dialogKeyPress(&in, DialogKeyDown);
    dialogKeyPress(&in, DialogKeyUp);
    EXPECT_EQ(in.selected, -1);
    in = inputOf(2, 0, 0, ControlCancel);
    dialogKeyPress(&in, DialogKeyDown);
    EXPECT_EQ(in.selected, 1);
}

TEST(DialogKeys, TabMovesTheFocusRoundAndSpaceActsOnIt)
{
    DialogInput in = inputOf(2, 0);
    const int order[] = {ControlFullscreen, ControlRun, ControlCancel, ControlResolution};
    for (int want : order) {
        EXPECT_EQ(dialogKeyPress(&in, DialogKeyTab), -2);
        EXPECT_EQ(in.focus, want);
    }
    dialogKeyPress(&in, DialogKeyBackTab);
    EXPECT_EQ(in.focus, ControlCancel);
    dialogKeyPress(&in, DialogKeyBackTab);
    EXPECT_EQ(in.focus, ControlRun);

    // Space toggles the box from the list or the box itself...
    in = inputOf(2, 0);
    EXPECT_EQ(dialogKeyPress(&in, DialogKeySpace), -2);
    EXPECT_EQ(in.fullscreenChecked, 1);
    dialogKeyPress(&in, DialogKeyTab);
    EXPECT_EQ(dialogKeyPress(&in, DialogKeySpace), -2);
    EXPECT_EQ(in.fullscreenChecked, 0);
    // ...and presses a focused button without touching the box.
    dialogKeyPress(&in, DialogKeyTab);
    EXPECT_EQ(dialogKeyPress(&in, DialogKeySpace), 1);
    dialogKeyPress(&in, DialogKeyTab);
    EXPECT_EQ(dialogKeyPress(&in, DialogKeySpace), 0);
    EXPECT_EQ(in.fullscreenChecked, 0);
    EXPECT_EQ(in.selected, 0);
}

TEST(DialogKeys, EnterRunsAndEscapeCancelsWhateverHasTheFocus)
{
    for (int focus = ControlResolution; focus < DialogControls; focus++) {
        DialogInput in = inputOf(2, 1, 1, focus);
        EXPECT_EQ(dialogKeyPress(&in, DialogKeyEnter), 1) << focus;
        EXPECT_EQ(dialogKeyPress(&in, DialogKeyEscape), 0) << focus;
        EXPECT_EQ(in.selected, 1);
        EXPECT_EQ(in.fullscreenChecked, 1);
        EXPECT_EQ(in.focus, focus);
    }
    DialogInput in = inputOf(2, 1);
    EXPECT_EQ(dialogKeyPress(&in, 99), -2);
    EXPECT_EQ(dialogKeyPress(&in, -1), -2);
    EXPECT_EQ(in.selected, 1);
    EXPECT_EQ(in.focus, ControlResolution);
}

}   // namespace
