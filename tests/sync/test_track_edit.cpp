// The track editor's model: keys typed, changed and removed with the player's
// tracks rebuilt at once, input refused with a message and nothing changed,
// the cursor's moves and their limits, a copied block pasted (and refused on
// keys already there), and more than a hundred steps undone and redone.
#include "sync/timeline_fixture.h"
#include "sync/track_edit.h"
#include <gtest/gtest.h>
#include <string.h>

static TrackEditor editor;
static SyncTrack liveTracks[MaxTimelineTracks];

// Scene 1 on rows 0-63 (var0: 0 at row 0, 4 at row 32), scene 2 on 64-127, the end on 128.
static const char* const twoScenes = "tempo 130\n"
                                     "scene 1 at 0 music intro\n"
                                     "var0 0 0 step\n"
                                     "var0 2 4 step\n"
                                     "scene 2 at 4 music night\n"
                                     "end at 8\n";

static void load(const char* text)
{
    ASSERT_TRUE(parse(text));
    SyncTrack* live[MaxTimelineTracks];
    for (int t = 0; t < MaxTimelineTracks; t++) live[t] = &liveTracks[t];
    editorRelease(&editor);
    memset(&editor, 0, sizeof editor);
    ASSERT_TRUE(editorLoad(&editor, &parsed, live));
}

static void type(const char* text)
{
    for (const char* p = text; *p; p++) editorType(&editor, *p);
}

static int var0(void) { return trackIndex("var0"); }

TEST(TrackEdit, KeysSetCycledAndDeletedRebuildThePlayersTrack)
{
    load(twoScenes);
    EXPECT_EQ(liveTracks[var0()].keyCount, 2);
    editorSetCursor(&editor, 16, var0());
    type("2.57");
    editorBackspace(&editor);   // the 7 taken back
    ASSERT_TRUE(editorEnter(&editor)) << editor.message;
    ASSERT_EQ(liveTracks[var0()].keyCount, 3);
    EXPECT_EQ(liveTracks[var0()].keys[1].row, 16);
    EXPECT_EQ(liveTracks[var0()].keys[1].value, 2.5f);
    EXPECT_EQ(liveTracks[var0()].keys[1].type, KeyStep);
    EXPECT_EQ(trackValue(&liveTracks[var0()], 24.0), 2.5f);   // held by the step
    EXPECT_EQ(editor.dirty, 1);
    // Linear from 2.5 on row 16 to 4 on row 32: halfway is 3.25.
    ASSERT_TRUE(editorCycleType(&editor));
    EXPECT_EQ(liveTracks[var0()].keys[1].type, KeyLinear);
    EXPECT_FLOAT_EQ(trackValue(&liveTracks[var0()], 24.0), 3.25f);
    EXPECT_TRUE(editorCycleType(&editor));
    EXPECT_TRUE(editorCycleType(&editor));
    EXPECT_TRUE(editorCycleType(&editor));
    EXPECT_EQ(editorKeyAt(&editor, var0(), 16)->type, KeyStep);   // ramp goes round to step
    // A new value keeps the key's type.
    ASSERT_TRUE(editorCycleType(&editor));
    type("-1");
    ASSERT_TRUE(editorEnter(&editor));
    EXPECT_EQ(editorKeyAt(&editor, var0(), 16)->value, -1.0f);
    EXPECT_EQ(editorKeyAt(&editor, var0(), 16)->type, KeyLinear);
    EditorCell cell;
    editorCell(&editor, var0(), 20, &cell);
    EXPECT_EQ(cell.key, nullptr);
    EXPECT_EQ(cell.moveType, KeyLinear);
    EXPECT_EQ(cell.moving, 1);
    EXPECT_FLOAT_EQ(cell.value, -1.0f + 5.0f * 4.0f / 16.0f);
    ASSERT_TRUE(editorDeleteKey(&editor));
    EXPECT_EQ(liveTracks[var0()].keyCount, 2);
    EXPECT_FALSE(editorDeleteKey(&editor));
    EXPECT_STREQ(editor.message, "no key here to delete");
}

TEST(TrackEdit, BadInputIsRefusedWithAMessageAndChangesNothing)
{
    load(twoScenes);
    struct Case {
        int track, row;
        const char* typed;
        const char* message;   // a part of it
    } cases[] = {
        {2, 8, "abc", "'abc' is not a number"},
        {2, 8, "1.2.3", "'1.2.3' is not a number"},
        {2, 8, "", "type a number first"},
        {2, 8, "1e50", "out of a track value's range"},
        {2, 8, "0.123456789123", "more digits than a track value keeps"},
        {2, 128, "1", "outside the scenes"},   // the end row
        {0, 64, "10", "not a scene number 1 to 9"},
        {0, 64, "0", "not a scene number 1 to 9"},
        {0, 64, "2.5", "not a scene number"},
        {0, 70, "3", "a scene starts only on a 'scene' line"},
        {0, 128, "3", "the end of the show"},
        {0, 64, "9", "decides how the show ends"},
    };
    for (const Case& c : cases) {
        editorSetCursor(&editor, c.row, c.track);
        type(c.typed);
        EXPECT_FALSE(editorEnter(&editor)) << c.typed;
        EXPECT_NE(strstr(editor.message, c.message), nullptr) << c.typed << ": " << editor.message;
        EXPECT_EQ(editor.inputLength, 0);
    }
    // The key types run from step to ramp: one past either end is refused.
    EXPECT_FALSE(editorSetKey(&editor, var0(), 16, 1.0f, KeyRamp + 1));
    EXPECT_NE(strstr(editor.message, "no key type"), nullptr) << editor.message;
    EXPECT_FALSE(editorSetKey(&editor, var0(), 16, 1.0f, KeyStep - 1));
    EXPECT_EQ(editor.undoCount, 0);
    EXPECT_EQ(editor.dirty, 0);
    EXPECT_EQ(liveTracks[0].keyCount, 3);
    EXPECT_EQ(liveTracks[var0()].keyCount, 2);
    // A scene start may change its scene, within the numbers, by a step only.
    editorSetCursor(&editor, 64, 0);
    type("3");
    EXPECT_TRUE(editorEnter(&editor)) << editor.message;
    EXPECT_EQ(liveTracks[0].keys[1].value, 3.0f);
    EXPECT_FALSE(editorCycleType(&editor));
    EXPECT_FALSE(editorDeleteKey(&editor));
    EXPECT_EQ(editor.undoCount, 1);

    // A show whose first scene starts at bar 1 (row 16) and ends at bar 3
    // (row 48): a key on the row before it or on the end is refused, on the
    // first and the last row of the scenes it is taken.
    load("tempo 130\nscene 1 at 1 music intro\nend at 3\n");
    const int rows[] = {15, 16, 47, 48};
    const int taken[] = {0, 1, 1, 0};
    for (int i = 0; i < 4; i++) {
        editorSetCursor(&editor, rows[i], var0());
        type("1");
        EXPECT_EQ(editorEnter(&editor), taken[i]) << "row " << rows[i] << ": " << editor.message;
        if (!taken[i]) {
            EXPECT_NE(strstr(editor.message, "outside the scenes"), nullptr) << editor.message;
        }
    }
    EXPECT_EQ(liveTracks[var0()].keyCount, 2);
}

TEST(TrackEdit, CursorMovesStopAtTheGridsEdges)
{
    load(twoScenes);
    editorSetCursor(&editor, 5, 0);
    editorMoveRow(&editor, -10);
    EXPECT_EQ(editor.cursorRow, 0);
    editorMoveRow(&editor, editorBarRows(&editor) * 3);
    EXPECT_EQ(editor.cursorRow, 48);
    editorMoveRow(&editor, 1000);
    EXPECT_EQ(editor.cursorRow, 128);   // the end row is the last
    editorMoveColumn(&editor, -1);
    EXPECT_EQ(editor.cursorColumn, 0);
    editorMoveColumn(&editor, 99);
    EXPECT_EQ(editor.cursorColumn, ShowTrackCount - 1);
    editorSetCursor(&editor, 10, var0());
    EXPECT_TRUE(editorJumpKey(&editor, 1));
    EXPECT_EQ(editor.cursorRow, 32);
    EXPECT_FALSE(editorJumpKey(&editor, 1));   // no key after the last
    EXPECT_EQ(editor.cursorRow, 32);
    EXPECT_TRUE(editorJumpKey(&editor, -1));
    EXPECT_EQ(editor.cursorRow, 0);
    EXPECT_FALSE(editorJumpKey(&editor, -1));
}

TEST(TrackEdit, ABlockOfRowsIsCopiedAndPastedOnlyOntoFreeRows)
{
    load(twoScenes);
    int var1 = trackIndex("var1");
    ASSERT_TRUE(editorSetKey(&editor, var1, 33, 7.0f, KeySmooth));
    editorSetCursor(&editor, 30, 2);
    editorExtendBlock(&editor, 4);   // rows 30 to 34: var0 on 32, var1 on 33
    ASSERT_TRUE(editorCopy(&editor));
    EXPECT_EQ(editor.clipRows, 5);
    EXPECT_EQ(editor.clipCount, 2);
    editorSetCursor(&editor, 80, 2);
    ASSERT_TRUE(editorPaste(&editor)) << editor.message;
    EXPECT_EQ(editorKeyAt(&editor, var0(), 82)->value, 4.0f);
    EXPECT_EQ(editorKeyAt(&editor, var1, 83)->type, KeySmooth);
    EXPECT_EQ(liveTracks[var1].keyCount, 2);
    // Onto a row with a key of the same track: refused whole.
    EXPECT_FALSE(editorPaste(&editor));
    EXPECT_NE(strstr(editor.message, "var0 already has a key on row 5:0:2"), nullptr) << editor.message;
    EXPECT_EQ(liveTracks[var0()].keyCount, 3);
    // Past the end of the show: refused whole.
    editorSetCursor(&editor, 125, 2);
    EXPECT_FALSE(editorPaste(&editor));
    EXPECT_EQ(editorKeyAt(&editor, var0(), 127), nullptr);
    // The paste is one step.
    ASSERT_TRUE(editorUndo(&editor));
    EXPECT_EQ(editorKeyAt(&editor, var0(), 82), nullptr);
    EXPECT_EQ(editorKeyAt(&editor, var1, 83), nullptr);
    EXPECT_EQ(liveTracks[var1].keyCount, 1);
    ASSERT_TRUE(editorRedo(&editor));
    EXPECT_EQ(liveTracks[var1].keyCount, 2);
    EXPECT_EQ(liveTracks[var0()].keys[2].row, 82);
}

TEST(TrackEdit, MoreThanAHundredStepsUndoneAndRedone)
{
    load(twoScenes);
    int var1 = trackIndex("var1");
    for (int i = 0; i < 130; i++) ASSERT_TRUE(editorSetKey(&editor, var1, i % 60, (float)i, i % 4));
    // 128 steps are kept: undoing them all leaves the first two edits.
    for (int i = 0; i < EditUndoSteps; i++) ASSERT_TRUE(editorUndo(&editor)) << i;
    EXPECT_FALSE(editorUndo(&editor));
    ASSERT_EQ(liveTracks[var1].keyCount, 2);
    EXPECT_EQ(liveTracks[var1].keys[1].value, 1.0f);
    for (int i = 0; i < EditUndoSteps; i++) ASSERT_TRUE(editorRedo(&editor)) << i;
    EXPECT_FALSE(editorRedo(&editor));
    ASSERT_EQ(liveTracks[var1].keyCount, 60);
    EXPECT_EQ(liveTracks[var1].keys[9].value, 129.0f);   // row 9: the 130th edit
    EXPECT_EQ(liveTracks[var1].keys[9].type, 129 % 4);
    EXPECT_EQ(liveTracks[var1].keys[10].value, 70.0f);
    // A new edit drops what could be redone.
    ASSERT_TRUE(editorUndo(&editor));
    ASSERT_TRUE(editorSetKey(&editor, var1, 61, 1.0f, KeyStep));
    EXPECT_FALSE(editorRedo(&editor));
}
