// The heads-up display for authors (F1; on by default with --edit): time,
// bar:beat:row, scene, the six track values with a short history each, frame
// time and rate, GL errors, the transport and the latest reload message, drawn
// with Dear ImGui over the finished frame just before it is shown.
#include "app/app.h"
#include "platform/platform.h"
#include "sync/sync.h"
#include <imgui.h>
#include <imgui_impl_glfw.h>
#include <imgui_impl_opengl2.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

// ---- state: the display ---------------------------------------------------------------
enum { HudTracks = 6, HudHistory = 120 };
static int hudShown;
static int hudReady;   // 1 once ImGui is set up on the main window
static ImGuiContext* hudContext;
static float trackHistory[HudTracks][HudHistory];
static int historyAt;
static float frameMs;   // smoothed time between two loop frames
static double lastFrameAt = -1.0;
static char hudMessage[512];
static char hudCameraLine[192];

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
void hudNoteFrame(void)
{
    for (int i = 0; i < HudTracks; i++) trackHistory[i][historyAt] = syncValues[i];
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
static int prepareHud(void)
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
    if (!ImGui_ImplGlfw_InitForOpenGL(mainWindow, false) || !ImGui_ImplOpenGL2_Init()) {
        logMessage("WARNING: the heads-up display could not be set up\n");
        ImGui::DestroyContext(hudContext);
        hudContext = nullptr;
        if (previous) ImGui::SetCurrentContext(previous);
        return 0;
    }
    hudReady = 1;
    return 1;
}

static void trackRow(int i)
{
    static const char* const names[HudTracks] = {"scene", "part", "var0", "var1", "post1", "post2"};
    char label[48];
    snprintf(label, sizeof label, "%-5s %8.3f", names[i], (double)syncValues[i]);
    ImGui::TextUnformatted(label);
    ImGui::SameLine(120);
    char id[16];
    snprintf(id, sizeof id, "##t%d", i);
    ImGui::PlotLines(id, trackHistory[i], HudHistory, historyAt, nullptr, FLT_MAX, FLT_MAX, ImVec2(150, 18));
}

static void hudContents(void)
{
    char time[48], position[48];
    formatShowTime(frameTime, time, sizeof time);
    formatShowPosition(frameTime, demoConfig ? demoConfig->rowsPerBeat : 4, 4, position, sizeof position);
    ImGui::Text("%s  %s  scene %d", time, position, (int)syncValues[TrackScene]);
    for (int i = 0; i < HudTracks; i++) trackRow(i);
    ImGui::Text("%.1f ms  %.1f fps  GL errors %ld", (double)frameMs, frameMs > 0.0f ? 1000.0 / frameMs : 0.0,
                glErrorCount());
    if (transport.looping)
        ImGui::Text("%s  loop %.3f - %.3f s", transport.paused ? "paused" : "playing", (double)transport.loopFrom,
                    (double)transport.loopTo);
    else
        ImGui::TextUnformatted(transport.paused ? "paused" : "playing");
    if (hudMessage[0]) ImGui::TextWrapped("%s", hudMessage);
    if (hudCameraLine[0]) ImGui::TextWrapped("%s", hudCameraLine);
}

// Draws the display into the bound framebuffer (the back buffer about to be
// shown); the caller keeps the engine's GL state around it.
void drawHud(void)
{
    if (!hudShown || !prepareHud()) return;
    ImGuiContext* previous = ImGui::GetCurrentContext();
    ImGui::SetCurrentContext(hudContext);
    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    ImGui::NewFrame();
    ImGui::SetNextWindowPos(ImVec2(8, 8));
    ImGui::SetNextWindowBgAlpha(0.55f);
    ImGui::Begin("##hud", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoInputs |
                     ImGuiWindowFlags_NoFocusOnAppearing | ImGuiWindowFlags_NoNav);
    hudContents();
    ImGui::End();
    ImGui::Render();
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
    if (previous && previous != hudContext) ImGui::SetCurrentContext(previous);
}

void shutdownHud(void)
{
    long frames = 0;
    double ms = hudMillisecondsPerFrame(&frames);
    if (frames > 0) logMessage("Heads-up display: %.3f ms a frame over %ld frames\n", ms, frames);
    if (hudReady <= 0) return;
    ImGui::SetCurrentContext(hudContext);
    ImGui_ImplOpenGL2_Shutdown();
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext(hudContext);
    hudContext = nullptr;
    hudReady = 0;
}
