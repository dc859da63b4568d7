// The track editor of an --edit run: F2 opens a grid of rows by tracks at the
// right of the picture, the keyboard and mouse drive the editor model, the
// show follows the cursor (and the cursor the playing show), and Ctrl+S writes
// the timeline text and the track files.
#include "app/editor.h"
#include "app/hud.h"
#include "app/transport.h"
#include "platform/platform.h"
#include "show/show.h"
#include "sync/sync.h"
#include "sync/timeline_write.h"
#include "sync/track_edit.h"
#include <GLFW/glfw3.h>
#include <imgui.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// ---- state: the editor ---------------------------------------------------------------
enum { EditorPathSize = 1024 };
static TrackEditor model;                   // the keys as edited (large: kept off the stack)
static Timeline loaded;                     // the timeline read when the editor opens
static int editorOn;                        // 1 in an edit run: F2 works
static int editorShown;                     // 1 while the panel is open
static char timelinePath[EditorPathSize];   // the text Ctrl+S writes
static char trackDir[EditorPathSize];       // the data directory: the track files
// Escape closed the editor or asked about unsaved edits: the loop's next
// look at Escape (the window's keys are sticky: it sees a tap that is over)
// and every look while the key stays down are the editor's.
static int escapeHeld, escapeReleased;
static int quitAsked;                   // unsaved edits were asked about once
static int showRow = -1;                // the row of the frame on screen
static int changes = 1, drawnChanges;   // a count of what the panel shows, and the count drawn
// The grid as last drawn, for the mouse: its top-left, row height and size.
struct GridLayout {
    float left, top, rowHeight, labelWidth, columnWidth;
    int firstRow, rows, columns;
};
static GridLayout grid;
// The pointer as of the latest motion event: a click is placed where the
// pointer was when it was pressed, not where it is when the frame polls.
static double pointerX, pointerY;
static int pointerKnown;
// The cost: loop frames while the show plays, with the editor closed and open.
struct FrameCost {
    double seconds;
    long frames;
};
static FrameCost playingCost[2];   // [0] closed, [1] open
static double lastFollowAt = -1.0;

static void changed(void) { changes++; }

// The editor's message line (the model's, where it reports too).
static void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
static void say(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(model.message, sizeof model.message, format, args);
    va_end(args);
}

int trackEditorOpen(void) { return editorShown; }
// The panel's hooks in the display: it draws the editor's window beside its own.
static int panelChanged(void) { return changes != drawnChanges; }
static void panelDrawn(void) { drawnChanges = changes; }

// ---- the show and the cursor ------------------------------------------------------------

// The show time of a row, the first time whose row the player rounds to it.
static float rowTime(int row)
{
    float time = (float)rowSeconds(&model.timeline, (double)row);
    for (int i = 0; i < 64 && floorf(rowForTime(time)) < (float)row; i++) time = nextafterf(time, INFINITY);
    return time;
}

// The show goes where the cursor is.
static void showCursorRow(void)
{
    transportSeek(rowTime(model.cursorRow));
    changed();
}

// The configured track of each timeline track, or null.
static void liveTracks(SyncTrack** live)
{
    for (int t = 0; t < MaxTimelineTracks; t++) {
        live[t] = nullptr;
        if (!demoConfig || t >= loaded.trackCount) continue;
        for (int i = 0; i < MaxTracks && demoConfig->trackNames[i]; i++)
            if (strcmp(demoConfig->trackNames[i], timelineTrackName(&loaded, t)) == 0) live[t] = syncTracks[i];
    }
}

// Reads the timeline into the model, unless edits are waiting for a save.
// Returns 1 when the model holds a timeline.
static int loadEditedTimeline(void)
{
    if (model.dirty) return 1;
    char error[512];
    if (!demoConfig || !demoConfig->vocabulary) {
        hudMessagef("editor: the show has no vocabulary");
        return 0;
    }
    if (!loadTimeline(timelinePath, demoConfig->vocabulary, &loaded, error, sizeof error)) {
        hudMessagef("editor: %s", error);
        logMessage("editor: %s\n", error);
        return 0;
    }
    if (loaded.bpm != demoConfig->bpm || loaded.rowsPerBeat != demoConfig->rowsPerBeat) {
        hudMessagef("editor: %s has another tempo than the show", timelinePath);
        return 0;
    }
    SyncTrack* live[MaxTimelineTracks];
    liveTracks(live);
    return editorLoad(&model, &loaded, live);
}

static void onMouseButton(GLFWwindow* window, int button, int action, int mods);
static void onPointer(GLFWwindow* window, double x, double y);
static void drawTrackEditor(const ShowFrame* frame, float width, float height, float* rect);

int startTrackEditor(const char* sources)
{
    const char* data = dataDirectoryInUse();
    snprintf(trackDir, sizeof trackDir, "%s", data && data[0] ? data : ".");
    size_t n = strlen(trackDir);
    while (n > 1 && trackDir[n - 1] == '/') trackDir[--n] = 0;
    const char* file = demoConfig && demoConfig->vocabulary ? demoConfig->vocabulary->timelineFile : "timeline.txt";
    int length = snprintf(timelinePath, sizeof timelinePath, "%s/%s", sources && sources[0] ? sources : trackDir, file);
    // A cut path would name another file, and saving would write there.
    if (length < 0 || (size_t)length >= sizeof timelinePath) {
        logMessage("ERROR: track editor: the timeline's path is too long\n");
        timelinePath[0] = 0;
        return 0;
    }
    editorOn = 1;
    HudPanel panel = {trackEditorOpen, panelChanged, drawTrackEditor, panelDrawn};
    hudAddPanel(&panel);
    if (mainWindow) {
        glfwSetCursorPosCallback(mainWindow, onPointer);
        glfwSetMouseButtonCallback(mainWindow, onMouseButton);
    }
    return 1;
}

void stopTrackEditor(void)
{
    const FrameCost* c = playingCost;
    if (c[1].frames > 0)
        logMessage("editor: frames while playing: %ld with the editor closed at %.2f ms, %ld open at %.2f ms\n",
                   c[0].frames, c[0].frames ? c[0].seconds * 1000.0 / (double)c[0].frames : 0.0, c[1].frames,
                   c[1].seconds * 1000.0 / (double)c[1].frames);
    editorRelease(&model);
    editorOn = editorShown = 0;
}

static void openEditor(int open)
{
    if (open && !loadEditedTimeline()) return;
    editorShown = open;
    if (open) {
        int row = showRow >= 0 ? showRow : 0;
        editorSetCursor(&model, row, 0);
        model.markRow = -1;
        logMessage("editor: open on %s at row %d\n", timelinePath, model.cursorRow);
    } else {
        logMessage("editor: closed\n");
    }
    changed();
}

void trackEditorFollow(const ShowFrame* frame)
{
    double at = monotonicSeconds();
    if (lastFollowAt >= 0.0 && !transportState()->paused) {
        playingCost[editorShown].seconds += at - lastFollowAt;
        playingCost[editorShown].frames++;
    }
    lastFollowAt = at;
    float row = rowForTime(frame->time);
    int now = row > 0.0f && row < 1.0e8f ? (int)floorf(row) : 0;
    // The cursor follows every move of the show: its playing, a transport
    // key taken before the editor opened; the editor's own moves seek the
    // show to the cursor, so they agree. Not while a block is being marked.
    if (now == showRow) return;
    showRow = now;
    if (!editorShown) return;
    if (model.markRow < 0) editorSetCursor(&model, showRow, model.cursorColumn);
    changed();
}

// ---- saving ----------------------------------------------------------------------------

// Writes the timeline text, then every track file. Returns 1 saved; 0 with
// the reason on the display (the files untouched when the text could not be
// written).
static int saveEdits(void)
{
    static unsigned char trackBytes[4 + 9 * MaxTimelineKeys];
    unsigned char* text = nullptr;
    size_t size = 0;
    char error[600];
    if (readWholeFile(timelinePath, 1u << 20, &text, &size) != 1 || strlen((char*)text) != size) {
        free(text);
        say("not saved: cannot read %s", timelinePath);
        return 0;
    }
    char* out = nullptr;
    size_t outSize = 0;
    int ok = rewriteTimelineText((const char*)text, timelinePath, &model.timeline, &out, &outSize, error, sizeof error);
    free(text);
    if (ok) ok = replaceFileWhole(timelinePath, out, outSize, error, sizeof error);
    free(out);
    for (int t = 0; ok && t < model.timeline.trackCount; t++) {
        char path[EditorPathSize + 64];
        snprintf(path, sizeof path, "%s/sync_%s.track", trackDir, timelineTrackName(&model.timeline, t));
        int bytes = encodeTrack(&model.timeline.tracks[t], trackBytes);
        ok = replaceFileWhole(path, (const char*)trackBytes, (size_t)bytes, error, sizeof error);
    }
    if (!ok) {
        say("not saved: %s", error);
        return 0;
    }
    model.dirty = 0;
    quitAsked = 0;
    say("saved %s and the track files", timelinePath);
    return 1;
}

// Escape taken by the editor: held until the loop has seen it and it is up.
static void holdEscape(void)
{
    escapeHeld = 1;
    escapeReleased = 0;
}

int trackEditorHoldsQuit(void)
{
    if (!editorOn || !model.dirty || quitAsked) return 0;
    quitAsked = 1;
    holdEscape();
    hudMessagef("unsaved track edits: Ctrl+S in the editor (F2) saves; quit again to leave without saving");
    say("unsaved edits: Ctrl+S saves; quit again to leave without them");
    logMessage("editor: unsaved edits: asked before quitting\n");
    changed();
    return 1;
}

int trackEditorHoldsEscape(void)
{
    if (editorShown) return 1;
    if (!escapeHeld) return 0;
    if (escapeReleased) escapeHeld = 0;
    return 1;
}

// ---- keys --------------------------------------------------------------------------------

// The character a key types into the number, or 0.
static char typedChar(int key)
{
    if (key >= GLFW_KEY_0 && key <= GLFW_KEY_9) return (char)('0' + key - GLFW_KEY_0);
    if (key >= GLFW_KEY_KP_0 && key <= GLFW_KEY_KP_9) return (char)('0' + key - GLFW_KEY_KP_0);
    switch (key) {
    case GLFW_KEY_PERIOD:
    case GLFW_KEY_KP_DECIMAL: return '.';
    case GLFW_KEY_MINUS:
    case GLFW_KEY_KP_SUBTRACT: return '-';
    case GLFW_KEY_E: return 'e';
    default: return 0;
    }
}

// Space: plays from the cursor, or pauses where the show is.
static void playFromCursor(void)
{
    if (transportState()->paused) {
        transportSeek(rowTime(model.cursorRow));
        transportPause(0);
    } else {
        transportPause(1);
    }
}

// Ctrl with a letter. Returns 1 when it was one of the editor's.
static int controlKey(int key)
{
    switch (key) {
    case GLFW_KEY_C: editorCopy(&model); return 1;
    case GLFW_KEY_V: editorPaste(&model); return 1;
    case GLFW_KEY_Z: editorUndo(&model); return 1;
    case GLFW_KEY_Y: editorRedo(&model); return 1;
    case GLFW_KEY_S: saveEdits(); return 1;
    case GLFW_KEY_UP: editorJumpKey(&model, -1); return 2;
    case GLFW_KEY_DOWN: editorJumpKey(&model, 1); return 2;
    default: return 0;
    }
}

// A key while the panel is open; returns 2 when the cursor moved (the show follows).
static int panelKey(int key, int mods)
{
    int shift = mods & GLFW_MOD_SHIFT;
    if (mods & GLFW_MOD_CONTROL) return controlKey(key);
    char c = typedChar(key);
    if (c) {
        editorType(&model, c);
        return 1;
    }
    switch (key) {
    case GLFW_KEY_UP: shift ? editorExtendBlock(&model, -1) : editorMoveRow(&model, -1); return 2;
    case GLFW_KEY_DOWN: shift ? editorExtendBlock(&model, 1) : editorMoveRow(&model, 1); return 2;
    case GLFW_KEY_PAGE_UP: editorMoveRow(&model, -editorBarRows(&model)); return 2;
    case GLFW_KEY_PAGE_DOWN: editorMoveRow(&model, editorBarRows(&model)); return 2;
    case GLFW_KEY_LEFT: editorMoveColumn(&model, -1); return 1;
    case GLFW_KEY_RIGHT: editorMoveColumn(&model, 1); return 1;
    case GLFW_KEY_ENTER:
    case GLFW_KEY_KP_ENTER: editorEnter(&model); return 1;
    case GLFW_KEY_BACKSPACE: editorBackspace(&model); return 1;
    case GLFW_KEY_I: editorCycleType(&model); return 1;
    case GLFW_KEY_DELETE: editorDeleteKey(&model); return 1;
    case GLFW_KEY_SPACE: playFromCursor(); return 1;
    default: return 1;   // every other key is the editor's while it is open
    }
}

int trackEditorKey(int key, int mods, int action)
{
    if (!editorOn) return 0;
    if (key == GLFW_KEY_ESCAPE && !editorShown) {
        // A new press ends the show (the loop's); the release frees a held one.
        if (action == GLFW_PRESS) escapeHeld = 0;
        if (action == GLFW_RELEASE) escapeReleased = 1;
        return 0;
    }
    if (action == GLFW_RELEASE) {
        if (key == GLFW_KEY_ESCAPE) escapeReleased = 1;
        return 0;
    }
    if (key == GLFW_KEY_F2) {
        if (action == GLFW_PRESS) openEditor(!editorShown);
        return 1;
    }
    if (!editorShown || key == GLFW_KEY_F1 || key == GLFW_KEY_F5) return 0;
    if (key == GLFW_KEY_ESCAPE) {
        if (action == GLFW_PRESS) {
            holdEscape();
            openEditor(0);
        }
        return 1;
    }
    // A key's message (a refusal, a save, a copy) replaces the last one, and is logged.
    model.message[0] = 0;
    if (panelKey(key, mods) == 2) showCursorRow();
    if (model.message[0]) logMessage("editor: %s\n", model.message);
    changed();
    return 1;
}

static void onPointer(GLFWwindow* window, double x, double y)
{
    (void)window;
    pointerX = x;
    pointerY = y;
    pointerKnown = 1;
}

// A click on a row: the cursor, and the show, go there. One poll can bring a
// click and the motion after it: the click takes the position noted before it.
static void onMouseButton(GLFWwindow* window, int button, int action, int mods)
{
    (void)mods;
    if (!editorShown || button != GLFW_MOUSE_BUTTON_LEFT || action != GLFW_PRESS || grid.rows <= 0) return;
    double x = pointerX, y = pointerY;
    if (!pointerKnown) glfwGetCursorPos(window, &x, &y);
    float dx = (float)x - grid.left, dy = (float)y - grid.top;
    if (dx < 0 || dy < 0 || dy >= grid.rowHeight * (float)grid.rows) return;
    int column = dx < grid.labelWidth ? model.cursorColumn : (int)((dx - grid.labelWidth) / grid.columnWidth);
    if (column >= grid.columns) return;
    model.markRow = -1;
    editorSetCursor(&model, grid.firstRow + (int)(dy / grid.rowHeight), column);
    showCursorRow();
    char at[48];
    formatTimelinePosition(&model.timeline, model.cursorRow, at, sizeof at);
    logMessage("editor: click on row %d (%s), track %s\n", model.cursorRow, at,
               timelineTrackName(&model.timeline, model.cursorColumn));
}

// ---- the panel --------------------------------------------------------------------------

static const char keyTypeMarks[4] = {'_', '/', '~', '^'};   // step, linear, smooth, ramp
static const ImU32 moveColours[4] = {IM_COL32(0, 0, 0, 0), IM_COL32(70, 110, 210, 90), IM_COL32(60, 170, 110, 90),
                                     IM_COL32(210, 130, 50, 90)};

static void drawHeader(ImDrawList* draw, ImVec2 at)
{
    draw->AddText(at, IM_COL32(160, 160, 160, 255), "bar:bt:r");
    for (int t = 0; t < model.timeline.trackCount; t++) {
        ImU32 colour = t == model.cursorColumn ? IM_COL32(255, 230, 120, 255) : IM_COL32(200, 200, 200, 255);
        draw->AddText(ImVec2(at.x + grid.labelWidth + grid.columnWidth * (float)t + 4, at.y), colour,
                      timelineTrackName(&model.timeline, t));
    }
}

static int isSceneStart(int row)
{
    const TimelineKey* k = editorKeyAt(&model, 0, row);
    return k && row != model.timeline.endRow;
}

// One row: its background (beat, bar, current row, the marked block), its
// position, the scene-start mark, then every track's cell.
static void drawRow(ImDrawList* draw, int row, float y)
{
    float x0 = grid.left, x1 = grid.left + grid.labelWidth + grid.columnWidth * (float)grid.columns;
    int perBeat = model.timeline.rowsPerBeat, perBar = editorBarRows(&model);
    int lo = model.markRow < 0 ? -1 : model.markRow < model.cursorRow ? model.markRow : model.cursorRow;
    int hi = model.markRow < 0 ? -1 : model.markRow > model.cursorRow ? model.markRow : model.cursorRow;
    if (row % perBar == 0)
        draw->AddRectFilled(ImVec2(x0, y), ImVec2(x1, y + grid.rowHeight), IM_COL32(255, 255, 255, 28));
    else if (row % perBeat == 0)
        draw->AddRectFilled(ImVec2(x0, y), ImVec2(x1, y + grid.rowHeight), IM_COL32(255, 255, 255, 12));
    if (row >= lo && row <= hi)
        draw->AddRectFilled(ImVec2(x0, y), ImVec2(x1, y + grid.rowHeight), IM_COL32(150, 80, 200, 80));
    if (row == showRow) draw->AddRectFilled(ImVec2(x0, y), ImVec2(x1, y + grid.rowHeight), IM_COL32(40, 90, 160, 110));
    char label[32];
    snprintf(label, sizeof label, "%d:%d:%d", row / perBar, row % perBar / perBeat, row % perBeat);
    int scene = isSceneStart(row);
    draw->AddText(ImVec2(x0 + 2, y), scene ? IM_COL32(255, 210, 80, 255) : IM_COL32(150, 150, 150, 255), label);
    if (scene) draw->AddLine(ImVec2(x0, y), ImVec2(x1, y), IM_COL32(255, 210, 80, 200));
    if (row == model.timeline.endRow)
        draw->AddText(ImVec2(x0 + grid.labelWidth + 4, y), IM_COL32(255, 120, 120, 255), "end");
    for (int t = 0; t < grid.columns; t++) {
        float cx = x0 + grid.labelWidth + grid.columnWidth * (float)t;
        EditorCell cell;
        editorCell(&model, t, row, &cell);
        if (cell.moving && cell.moveType > 0)
            draw->AddRectFilled(ImVec2(cx + 1, y), ImVec2(cx + grid.columnWidth - 1, y + grid.rowHeight),
                                moveColours[cell.moveType]);
        if (cell.key) {
            char text[24];
            snprintf(text, sizeof text, "%.4g%c", (double)cell.key->value, keyTypeMarks[cell.key->type & 3]);
            draw->AddText(ImVec2(cx + 4, y), IM_COL32(255, 255, 255, 255), text);
        }
        if (t == model.cursorColumn && row == model.cursorRow)
            draw->AddRect(ImVec2(cx, y), ImVec2(cx + grid.columnWidth, y + grid.rowHeight),
                          IM_COL32(255, 230, 120, 255));
    }
}

// The cursor column's value over the visible rows, its keys as points.
static void drawGraph(ImDrawList* draw, ImVec2 at, float width, float height)
{
    draw->AddRectFilled(at, ImVec2(at.x + width, at.y + height), IM_COL32(0, 0, 0, 90));
    float lo = INFINITY, hi = -INFINITY;
    EditorCell cell;
    for (int r = 0; r < grid.rows; r++) {
        editorCell(&model, model.cursorColumn, grid.firstRow + r, &cell);
        lo = fminf(lo, cell.value);
        hi = fmaxf(hi, cell.value);
    }
    if (!(hi >= lo)) return;
    if (hi - lo < 1e-6f) {
        lo -= 0.5f;
        hi += 0.5f;
    }
    float stepX = grid.rows > 1 ? width / (float)(grid.rows - 1) : width;
    ImVec2 previous;
    for (int r = 0; r < grid.rows; r++) {
        editorCell(&model, model.cursorColumn, grid.firstRow + r, &cell);
        ImVec2 p(at.x + stepX * (float)r, at.y + height - 2 - (height - 4) * (cell.value - lo) / (hi - lo));
        if (r > 0) draw->AddLine(previous, p, IM_COL32(120, 200, 255, 255));
        if (cell.key)
            draw->AddRectFilled(ImVec2(p.x - 2, p.y - 2), ImVec2(p.x + 2, p.y + 2), IM_COL32(255, 230, 120, 255));
        if (grid.firstRow + r == showRow)
            draw->AddLine(ImVec2(p.x, at.y), ImVec2(p.x, at.y + height), IM_COL32(255, 255, 255, 90));
        previous = p;
    }
    char range[64];
    snprintf(range, sizeof range, "%s %.4g .. %.4g", timelineTrackName(&model.timeline, model.cursorColumn), (double)lo,
             (double)hi);
    draw->AddText(ImVec2(at.x + 2, at.y), IM_COL32(200, 200, 200, 255), range);
}

static void drawTrackEditor(const ShowFrame* frame, float width, float height, float* rect)
{
    (void)frame;
    float line = ImGui::GetTextLineHeight() + 1.0f;
    grid.labelWidth = 62.0f;
    grid.columnWidth = 52.0f;
    grid.columns = model.timeline.trackCount;
    grid.rowHeight = line;
    float panelWidth = grid.labelWidth + grid.columnWidth * (float)grid.columns + 16.0f;
    float panelHeight = height - 16.0f;
    float graphHeight = panelHeight > 300 ? 64.0f : 40.0f;
    grid.rows = (int)((panelHeight - 16.0f - line * 4 - graphHeight - 8.0f) / line);
    if (grid.rows < 4) grid.rows = 4;
    int last = editorLastRow(&model);
    grid.firstRow = model.cursorRow - grid.rows / 2;
    if (grid.firstRow > last - grid.rows + 1) grid.firstRow = last - grid.rows + 1;
    if (grid.firstRow < 0) grid.firstRow = 0;
    ImGui::SetNextWindowPos(ImVec2(width - panelWidth - 8.0f, 8.0f));
    ImGui::SetNextWindowSize(ImVec2(panelWidth, panelHeight));
    ImGui::SetNextWindowBgAlpha(0.85f);
    ImGui::Begin("##editor", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoInputs | ImGuiWindowFlags_NoFocusOnAppearing |
                     ImGuiWindowFlags_NoNav);
    ImDrawList* draw = ImGui::GetWindowDrawList();
    ImVec2 at = ImGui::GetCursorScreenPos();
    grid.left = at.x;
    drawHeader(draw, at);
    grid.top = at.y + line;
    int shown = grid.rows < last - grid.firstRow + 1 ? grid.rows : last - grid.firstRow + 1;
    for (int r = 0; r < shown; r++) drawRow(draw, grid.firstRow + r, grid.top + line * (float)r);
    float below = grid.top + line * (float)grid.rows + 4.0f;
    float gridWidth = grid.labelWidth + grid.columnWidth * (float)grid.columns;
    drawGraph(draw, ImVec2(at.x, below), gridWidth, graphHeight);
    below += graphHeight + 2.0f;
    // The cursor's place and the unsaved mark, then the typed number or the
    // latest message, wrapped onto two lines at most.
    char status[EditMessageSize + 64];
    snprintf(status, sizeof status, "%d:%d:%d %s%s  _ step / linear ~ smooth ^ ramp",
             model.cursorRow / editorBarRows(&model),
             model.cursorRow % editorBarRows(&model) / model.timeline.rowsPerBeat,
             model.cursorRow % model.timeline.rowsPerBeat, timelineTrackName(&model.timeline, model.cursorColumn),
             model.dirty ? "  unsaved" : "");
    draw->AddText(ImVec2(at.x, below), IM_COL32(180, 180, 180, 255), status);
    if (model.inputLength > 0)
        snprintf(status, sizeof status, "> %s_", model.input);
    else
        snprintf(status, sizeof status, "%s", model.message);
    ImU32 colour = model.inputLength > 0 ? IM_COL32(255, 255, 255, 255) : IM_COL32(255, 200, 120, 255);
    ImVec4 clip(at.x, below + line, at.x + gridWidth, below + line * 3);
    draw->AddText(ImGui::GetFont(), ImGui::GetFontSize(), ImVec2(at.x, below + line), colour, status, nullptr,
                  gridWidth, &clip);
    ImVec2 pos = ImGui::GetWindowPos(), size = ImGui::GetWindowSize();
    rect[0] = pos.x;
    rect[1] = pos.y;
    rect[2] = size.x;
    rect[3] = size.y;
    ImGui::End();
}
