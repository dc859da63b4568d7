// The heads-up display for authors (F1; on by default with --edit): time,
// bar:beat:row, scene, the six track values with a short history each, frame
// time and rate, GL errors, the transport and the latest reload message, drawn
// with Dear ImGui over the finished frame just before it is shown.
#include "app/hud.h"
#include "app/hud_gl.h"
#include "app/transport.h"
#include "assets/assets.h"
#include "platform/platform.h"
#include "render/render.h"
#include "show/show.h"
#include "sync/sync.h"
#include <GL/glew.h>
#include <imgui.h>
#include <imgui_impl_glfw.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

// ---- state: the display ---------------------------------------------------------------
enum { HudTracks = ShowTrackCount, HudHistory = 60 };   // 60 frames: about 2.5 s of each track
static int hudShown;
static int hudReady;   // 1 once ImGui is set up on the main window
static ImGuiContext* hudContext;
static float trackHistory[HudTracks][HudHistory];
static int historyAt;
static float frameMs;   // smoothed time between two loop frames
static double lastFrameAt = -1.0;
static char hudMessage[512];
static char hudCameraLine[192];
static HudPanel hudPanel;   // another module's window drawn with the display's, or all null

void hudAddPanel(const HudPanel* panel) { hudPanel = *panel; }
static int panelShown(void) { return hudPanel.shown && hudPanel.draw && hudPanel.shown(); }

int hudVisible(void) { return hudShown; }
void showHud(int on) { hudShown = on ? 1 : 0; }

void hudMessagef(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(hudMessage, sizeof hudMessage, format, args);
    va_end(args);
}

void hudCameraKey(const char* line) { snprintf(hudCameraLine, sizeof hudCameraLine, "%s", line ? line : ""); }

void formatShowTime(float seconds, char* out, int size)
{
    if (!(seconds >= 0.0f)) seconds = 0.0f;
    long ms = lroundf(seconds * 1000.0f);
    snprintf(out, (size_t)size, "%02ld:%02ld.%03ld", ms / 60000, ms / 1000 % 60, ms % 1000);
}

void formatShowPosition(float seconds, int rowsPerBeat, int beatsPerBar, char* out, int size)
{
    if (rowsPerBeat <= 0) rowsPerBeat = 4;
    if (beatsPerBar <= 0) beatsPerBar = 4;
    float rowValue = rowForTime(seconds);
    int row = rowValue > 0.0f && rowValue < 1.0e8f ? (int)floorf(rowValue) : 0;
    int perBar = rowsPerBeat * beatsPerBar;
    snprintf(out, (size_t)size, "%d:%d:%d", row / perBar % 1000000, row % perBar / rowsPerBeat % 1000,
             row % rowsPerBeat % 1000);
}

// Notes one loop frame: the track values for the graphs and the frame time.
void hudNoteFrame(const ShowFrame* frame)
{
    for (int i = 0; i < HudTracks; i++) trackHistory[i][historyAt] = frame->tracks[i];
    historyAt = (historyAt + 1) % HudHistory;
    double now = monotonicSeconds();
    if (lastFrameAt >= 0.0) {
        float ms = (float)((now - lastFrameAt) * 1000.0);
        frameMs = frameMs > 0.0f ? 0.9f * frameMs + 0.1f * ms : ms;
    }
    lastFrameAt = now;
}

// Sets ImGui up on the main window once: display only (no input callbacks:
// the show's keys stay the show's). Returns 1 when ready.
int prepareHud(void)
{
    if (hudReady) return hudReady > 0;
    hudReady = -1;
    if (!mainWindow) return 0;
    ImGuiContext* previous = ImGui::GetCurrentContext();
    hudContext = ImGui::CreateContext();
    ImGui::SetCurrentContext(hudContext);
    ImGui::GetIO().IniFilename = nullptr;
    ImGui::StyleColorsDark();
    ImGui::GetStyle().Alpha = 0.9f;
    // Plain edges: anti-aliased lines and fills triple the triangles a
    // software rasterizer has to cover, for no gain in a small text panel.
    ImGui::GetStyle().AntiAliasedLines = false;
    ImGui::GetStyle().AntiAliasedLinesUseTex = false;
    ImGui::GetStyle().AntiAliasedFill = false;
    if (!ImGui_ImplGlfw_InitForOpenGL(mainWindow, false) || !hudRendererInit()) {
        logMessage("WARNING: the heads-up display could not be set up\n");
        ImGui::DestroyContext(hudContext);
        hudContext = nullptr;
        if (previous) ImGui::SetCurrentContext(previous);
        return 0;
    }
    hudReady = 1;
    return 1;
}

static void trackRow(const ShowFrame* frame, int i)
{
    char label[48];
    snprintf(label, sizeof label, "%-5s %8.3f", showTrackNames[i], (double)frame->tracks[i]);
    ImGui::TextUnformatted(label);
    ImGui::SameLine(120);
    char id[16];
    snprintf(id, sizeof id, "##t%d", i);
    ImGui::PlotLines(id, trackHistory[i], HudHistory, historyAt, nullptr, FLT_MAX, FLT_MAX, ImVec2(150, 18));
}

void formatFrameRate(float frameMs, long glErrors, char* out, int size)
{
    if (!out || size <= 0) return;
    snprintf(out, (size_t)size, "%.1f ms  %.1f fps  GL errors %ld", (double)frameMs,
             frameMs > 0.0f ? 1000.0 / frameMs : 0.0, glErrors);
}

static void hudContents(const ShowFrame* frame)
{
    char time[48], position[48];
    const Transport* transport = transportState();
    formatShowTime(frame->time, time, sizeof time);
    formatShowPosition(frame->time, demoConfig ? demoConfig->rowsPerBeat : 4, 4, position, sizeof position);
    ImGui::Text("%s  %s  scene %d", time, position, (int)frame->tracks[TrackScene]);
    for (int i = 0; i < HudTracks; i++) trackRow(frame, i);
    char rate[96];
    formatFrameRate(frameMs, glErrorCount(), rate, sizeof rate);
    ImGui::TextUnformatted(rate);
    if (transport->looping)
        ImGui::Text("%s  loop %.3f - %.3f s", transport->paused ? "paused" : "playing", (double)transport->loopFrom,
                    (double)transport->loopTo);
    else
        ImGui::TextUnformatted(transport->paused ? "paused" : "playing");
    if (hudMessage[0]) ImGui::TextWrapped("%s", hudMessage);
    if (hudCameraLine[0]) ImGui::TextWrapped("%s", hudCameraLine);
}

// The panel is drawn by ImGui into a texture of the window's size a few times
// a second, and that texture's panel rectangle is laid over every frame: the
// text changes slower than frames come, and one textured quad costs a
// software rasterizer far less than ImGui's dozen batches.
static const double panelRefreshSeconds = 0.25;
static GLuint panelTexture, panelFramebuffer;
static int panelWidth, panelHeight;   // the texture's size (the window's)
static float panelRects[2][4];        // x, y, width, height in pixels, from the top left
static int panelRectCount;            // the display's and, while open, the track editor's
static double panelDrawnAt = -1.0;

static void hudWindow(const ShowFrame* frame);

// ImGui's frame: the display at the top left and the track editor while it
// is open, drawn into the bound framebuffer.
static void renderPanel(const ShowFrame* frame)
{
    hudRendererNewFrame();
    ImGui_ImplGlfw_NewFrame();
    ImGui::NewFrame();
    panelRectCount = 0;
    if (hudShown) hudWindow(frame);
    if (panelShown())
        hudPanel.draw(frame, ImGui::GetIO().DisplaySize.x, ImGui::GetIO().DisplaySize.y, panelRects[panelRectCount++]);
    if (hudPanel.drawn) hudPanel.drawn();
    ImGui::Render();
    hudRendererDraw(ImGui::GetDrawData());
}

// The display's own window at the top left.
static void hudWindow(const ShowFrame* frame)
{
    ImGui::SetNextWindowPos(ImVec2(8, 8));
    // The panel lands in a transparent texture, whose alpha is the square of
    // ImGui's (its blend applies to alpha too): 0.78 here shows as about 0.7.
    ImGui::SetNextWindowBgAlpha(0.78f);
    ImGui::Begin("##hud", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoInputs |
                     ImGuiWindowFlags_NoFocusOnAppearing | ImGuiWindowFlags_NoNav);
    hudContents(frame);
    ImVec2 at = ImGui::GetWindowPos(), size = ImGui::GetWindowSize();
    float* rect = panelRects[panelRectCount++];
    rect[0] = at.x;
    rect[1] = at.y;
    rect[2] = size.x;
    rect[3] = size.y;
    ImGui::End();
}

// Returns 1 when the panel's texture is ready at width x height (drawn again
// when due), 0 when no framebuffer could be made for it.
static int refreshPanel(const ShowFrame* frame, int width, int height)
{
    if (!panelFramebuffer) {
        glGenTextures(1, &panelTexture);
        glGenFramebuffers(1, &panelFramebuffer);
    }
    if (width != panelWidth || height != panelHeight) {
        glBindTexture(GL_TEXTURE_2D, panelTexture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        // Clamped: a texture of the window's size (any size) is complete in WebGL 1 only so.
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, HudPanelFormat, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glBindFramebuffer(GL_FRAMEBUFFER, panelFramebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, panelTexture, 0);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return 0;
        panelWidth = width;
        panelHeight = height;
        panelDrawnAt = -1.0;
    }
    double now = monotonicSeconds();
    // The track editor is drawn again as soon as it changes: a typed key or
    // the next row should not wait for the display's refresh.
    if (panelDrawnAt >= 0.0 && now - panelDrawnAt < panelRefreshSeconds && !(hudPanel.changed && hudPanel.changed()))
        return 1;
    // ImGui draws fixed-function from client memory: no program, no buffers,
    // and no generic attribute array (attribute 0 would stand in for the
    // vertex array); the ones the frame left enabled come back afterwards.
    SavedVertexArrays arrays;
    setVertexArraysAside(&arrays);
    glUseProgram(0);
    glBindFramebuffer(GL_FRAMEBUFFER, panelFramebuffer);
    glViewport(0, 0, width, height);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    renderPanel(frame);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    restoreVertexArrays(&arrays);
    panelDrawnAt = now;
    return 1;
}

// The panel's rectangle of the texture over the frame (premultiplied colour),
// by a program of its own: the fixed-function path with its matrix stacks
// cost a software GL more state work than the quad's pixels.
static int panelProgram;   // 0 until made, -1 when it could not be

// Returns 1 when the program is ready (made once; a failure is logged once).
static int preparePanelProgram(void)
{
    if (panelProgram) return panelProgram > 0;
    int program = createShaderProgram(panelVertexShader, panelFragmentShader, 1);
    GLint linked = 0;
    if (program > 0) glGetProgramiv((GLuint)program, GL_LINK_STATUS, &linked);
    if (!linked) {
        if (program > 0) glDeleteProgram((GLuint)program);
        logMessage("WARNING: the heads-up display's panel program could not be made\n");
        panelProgram = -1;
        return 0;
    }
    panelProgram = program;
    glUseProgram((GLuint)program);   // the sampler reads unit 0 for good
    glUniform1i(glGetUniformLocation((GLuint)program, "panel"), 0);
    return 1;
}

static void layPanel(const float* rect, int width, int height)
{
    if (!preparePanelProgram()) return;
    float x0 = rect[0], y0 = rect[1], x1 = x0 + rect[2], y1 = y0 + rect[3];
    float w = (float)width, h = (float)height;
    // Window pixels from the top left to clip space; the texture's rows run bottom-up.
    float left = 2.0f * x0 / w - 1.0f, right = 2.0f * x1 / w - 1.0f;
    float top = 1.0f - 2.0f * y0 / h, bottom = 1.0f - 2.0f * y1 / h;
    float u0 = x0 / w, u1 = x1 / w, v0 = 1.0f - y0 / h, v1 = 1.0f - y1 / h;
    glViewport(0, 0, width, height);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glUseProgram((GLuint)panelProgram);
    glBindTexture(GL_TEXTURE_2D, panelTexture);
    drawPanelQuad(left, right, top, bottom, u0, u1, v0, v1);
    glUseProgram(0);
}

// Draws the display over the default framebuffer (the back buffer about to
// be shown); the caller keeps the engine's GL state around it.
static void drawHud(const ShowFrame* frame)
{
    if ((!hudShown && !panelShown()) || !prepareHud()) return;
    int width = 0, height = 0;
    if (!windowFramebufferSize(&width, &height)) return;
    ImGuiContext* previous = ImGui::GetCurrentContext();
    ImGui::SetCurrentContext(hudContext);
    if (refreshPanel(frame, width, height))
        for (int i = 0; i < panelRectCount; i++) layPanel(panelRects[i], width, height);
    if (previous && previous != hudContext) ImGui::SetCurrentContext(previous);
}

// ---- the display's cost ------------------------------------------------------------
static double hudSeconds;   // GL time of the display, summed for the log at the end
static long hudFrames;      // frames it was timed in
static long hudUntimedFrames;

double hudMillisecondsPerFrame(long* frames, long* untimed)
{
    if (frames) *frames = hudFrames;
    if (untimed) *untimed = hudUntimedFrames;
    return hudFrames > 0 ? hudSeconds * 1000.0 / (double)hudFrames : 0.0;
}

// Into the default framebuffer; the program, framebuffers, texture, blend and
// viewport the display changes are put back afterwards (the panel sets the
// vertex arrays aside itself, only when ImGui draws).
void drawHudOverFrame(const ShowFrame* frame, int timed)
{
    if (!hudShown && !panelShown()) return;
    // Timed to the end of its GL work (the frame's own work is finished
    // first), so the log can say what the display costs. The two finishes
    // cost a software rasterizer flushes the frame would not have had: the
    // bench measures untimed, as the difference of its frame times.
    double began = 0.0;
    if (timed) {
        glFinish();
        began = monotonicSeconds();
    }
    SavedGLState saved;
    saveGLState(&saved);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    drawHud(frame);
    restoreGLState(&saved);
    if (!timed) {
        hudUntimedFrames++;
        return;
    }
    glFinish();
    hudSeconds += monotonicSeconds() - began;
    hudFrames++;
}

void shutdownHud(void)
{
    long frames = 0, untimed = 0;
    double ms = hudMillisecondsPerFrame(&frames, &untimed);
    if (frames > 0) logMessage("Heads-up display: %.3f ms a frame over %ld frames\n", ms, frames);
    if (untimed > 0)
        logMessage("Heads-up display: drawn over %ld bench frames (its cost: the difference to a bench without it)\n",
                   untimed);
    if (panelFramebuffer) glDeleteFramebuffers(1, &panelFramebuffer);
    if (panelTexture) glDeleteTextures(1, &panelTexture);
    if (panelProgram > 0) glDeleteProgram((GLuint)panelProgram);
    panelFramebuffer = panelTexture = 0;
    panelProgram = 0;
    panelWidth = panelHeight = 0;
    if (hudReady <= 0) return;
    ImGui::SetCurrentContext(hudContext);
    hudRendererShutdown();
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext(hudContext);
    hudContext = nullptr;
    hudReady = 0;
}
