// The display-mode dialog: a small fixed-size GLFW window drawn with Dear
// ImGui (banner, resolution list, full-screen box, Run and Cancel), and the
// pure rules that build its mode list, pick its first entry, drive it from
// the keyboard and turn a Run into a choice.
#include "platform/platform.h"
#include <GL/gl.h>
#include <GLFW/glfw3.h>
#include <imgui.h>
#include <imgui_impl_glfw.h>
#include <imgui_impl_opengl2.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

enum { BannerWidth = 279, BannerHeight = 93, DialogWidth = 279, DialogHeight = 185 };

int buildModeList(const VideoModeInfo* modes, int modeCount, DisplayMode* out, int capacity, int wantWidth,
                  int wantHeight, int* selected)
{
    int count = 0;
    if (selected) *selected = -1;
    if (!modes || !out) return 0;
    for (int i = 0; i < modeCount && count < capacity; i++) {
        const VideoModeInfo* m = &modes[i];
        if (m->redBits != 8 || m->greenBits != 8 || m->blueBits != 8) continue;
        if (count > 0 && out[count - 1].width == m->width && out[count - 1].height == m->height) continue;
        out[count].width = m->width;
        out[count].height = m->height;
        if (selected && m->width == wantWidth && m->height == wantHeight) *selected = count;
        count++;
    }
    return count;
}

void applyModeChoice(DisplayChoice* choice, const DisplayMode* modes, int count, int selected, int fullscreenChecked)
{
    if (selected < 0 || selected >= count) {
        choice->width = 1280;
        choice->height = 720;
        choice->windowed = 1;
        return;
    }
    choice->width = modes[selected].width;
    choice->height = modes[selected].height;
    choice->windowed = fullscreenChecked ? 0 : 1;
}

int preselectMode(const DisplayMode* modes, int count, int selected, int desktopWidth, int desktopHeight)
{
    if (selected >= 0 && selected < count) return selected;
    int found = -1;
    for (int i = 0; modes && i < count; i++)
        if (modes[i].width == desktopWidth && modes[i].height == desktopHeight) found = i;
    return found;
}

int dialogKeyPress(DialogInput* input, int key)
{
    switch (key) {
    case DialogKeyUp:
        if (input->count <= 0)
            input->selected = -1;
        else if (input->selected < 0 || input->selected >= input->count)
            input->selected = input->count - 1;
        else if (input->selected > 0)
            input->selected--;
        return -2;
    case DialogKeyDown:
        if (input->count <= 0)
            input->selected = -1;
        else if (input->selected < 0 || input->selected >= input->count)
            input->selected = 0;
        else if (input->selected < input->count - 1)
            input->selected++;
        return -2;
    case DialogKeyTab: input->focus = (input->focus + 1) % DialogControls; return -2;
    case DialogKeyBackTab: input->focus = (input->focus + DialogControls - 1) % DialogControls; return -2;
    case DialogKeySpace:
        if (input->focus == ControlRun) return 1;
        if (input->focus == ControlCancel) return 0;
        input->fullscreenChecked = !input->fullscreenChecked;
        return -2;
    case DialogKeyEnter: return 1;
    case DialogKeyEscape: return 0;
    default: return -2;
    }
}

// ---- the banner: our own art, drawn in code --------------------------------------

// 5 × 7 glyphs of the letters of the name, one row per byte, bit 4 leftmost.
static const unsigned char glyphK[7] = {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11};
static const unsigned char glyphE[7] = {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F};
static const unsigned char glyphS[7] = {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E};
static const unsigned char glyphT[7] = {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04};
static const unsigned char glyphR[7] = {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11};
static const unsigned char glyphL[7] = {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F};
static const unsigned char* const nameGlyphs[7] = {glyphK, glyphE, glyphS, glyphT, glyphR, glyphE, glyphL};

struct Point {
    float x, y;
};
// A hovering kestrel seen from below: wings spread, tail fanned.
static const Point birdOutline[] = {
    {55, 28}, {59, 32}, {60, 40}, {98, 33}, {88, 42}, {62, 52}, {61, 62}, {66, 76},
    {55, 73}, {44, 76}, {49, 62}, {48, 52}, {22, 42}, {12, 33}, {50, 40}, {51, 32},
};

static int insidePolygon(const Point* poly, int n, float x, float y)
{
    int inside = 0;
    for (int i = 0, j = n - 1; i < n; j = i++) {
        if ((poly[i].y > y) != (poly[j].y > y) &&
            x < (poly[j].x - poly[i].x) * (y - poly[i].y) / (poly[j].y - poly[i].y) + poly[i].x)
            inside = !inside;
    }
    return inside;
}

static int glyphPixel(int x, int y, int originX, int originY, int scale)
{
    int gx = x - originX, gy = y - originY;
    if (gx < 0 || gy < 0 || gy >= 7 * scale) return 0;
    int letter = gx / (6 * scale);
    int column = (gx % (6 * scale)) / scale;
    if (letter >= 7 || column >= 5) return 0;
    return (nameGlyphs[letter][gy / scale] >> (4 - column)) & 1;
}

static void setPixel(unsigned char* p, float r, float g, float b)
{
    p[0] = (unsigned char)(r < 0 ? 0 : r > 255 ? 255 : r);
    p[1] = (unsigned char)(g < 0 ? 0 : g > 255 ? 255 : g);
    p[2] = (unsigned char)(b < 0 ? 0 : b > 255 ? 255 : b);
}

// Dusk sky, a low sun behind wooded hills, the bird and the name.
static void paintBanner(unsigned char* rgb)
{
    const int textScale = 4, textX = 110, textY = 18;
    const int birdCount = (int)(sizeof birdOutline / sizeof birdOutline[0]);
    for (int y = 0; y < BannerHeight; y++) {
        for (int x = 0; x < BannerWidth; x++) {
            unsigned char* p = rgb + 3 * (y * BannerWidth + x);
            float t = (float)y / (BannerHeight - 1);
            float r = 38 + 190 * t, g = 24 + 92 * t * t, b = 64 - 20 * t;
            float dx = x - 200.0f, dy = y - 80.0f, sun = sqrtf(dx * dx + dy * dy);
            if (sun < 20) {
                r = 255;
                g = 196;
                b = 110;
            } else if (sun < 40) {
                float k = (40 - sun) / 20;
                r += (255 - r) * k * 0.4f;
                g += (170 - g) * k * 0.3f;
            }
            float hill = 80 + 5 * sinf(x / 17.0f) + 3 * sinf(x / 5.3f + 1.0f);
            if (y > hill) {
                r = 28;
                g = 18;
                b = 26;
            }
            if (insidePolygon(birdOutline, birdCount, x + 0.5f, y + 0.5f)) {
                r = 24;
                g = 14;
                b = 20;
            }
            if (glyphPixel(x - 2, y - 2, textX, textY, textScale)) {
                r = 40;
                g = 20;
                b = 30;
            }
            if (glyphPixel(x, y, textX, textY, textScale)) {
                r = 250;
                g = 236;
                b = 200;
            }
            setPixel(p, r, g, b);
        }
    }
}

// ---- the dialog window -----------------------------------------------------------

static void centreOnPrimaryMonitor(GLFWwindow* window)
{
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
    if (mode) glfwSetWindowPos(window, (mode->width - DialogWidth) / 2, (mode->height - DialogHeight) / 2);
}

// Lists the primary monitor's modes; *selected is the wanted size's entry, or
// the desktop's when the wanted size is not offered, or -1.
static int listMonitorModes(DisplayMode* out, int capacity, int wantWidth, int wantHeight, int* selected)
{
    static VideoModeInfo infos[MaxDisplayModes];
    int count = 0;
    *selected = -1;
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* modes = monitor ? glfwGetVideoModes(monitor, &count) : nullptr;
    if (!modes || count <= 0) return 0;
    if (count > MaxDisplayModes) count = MaxDisplayModes;
    for (int i = 0; i < count; i++)
        infos[i] = {modes[i].width, modes[i].height, modes[i].redBits, modes[i].greenBits, modes[i].blueBits};
    int listed = buildModeList(infos, count, out, capacity, wantWidth, wantHeight, selected);
    const GLFWvidmode* desktop = glfwGetVideoMode(monitor);
    if (desktop) *selected = preselectMode(out, listed, *selected, desktop->width, desktop->height);
    return listed;
}

enum { KeyQueueSize = 32 };
struct DialogState {
    DisplayMode modes[MaxDisplayModes];
    char labels[MaxDisplayModes][24];
    DialogInput input;
    int keys[KeyQueueSize];   // DialogKey presses since the last frame
    int keyCount;
    unsigned int bannerTexture;
};
static DialogState dialogState;

static bool modeLabel(void* data, int index, const char** text)
{
    const DialogState* s = (const DialogState*)data;
    if (index < 0 || index >= s->input.count) return false;
    *text = s->labels[index];
    return true;
}

// A frame round the control that has the keyboard focus.
static void markFocus(const DialogState* s, int control)
{
    if (s->input.focus != control) return;
    ImVec2 from = ImGui::GetItemRectMin(), to = ImGui::GetItemRectMax();
    ImGui::GetWindowDrawList()->AddRect(ImVec2(from.x - 2, from.y - 2), ImVec2(to.x + 2, to.y + 2),
                                        ImGui::GetColorU32(ImGuiCol_NavHighlight), 2.0f, 0, 2.0f);
}

// GLFW key callback (ImGui's backend calls it before its own): queues presses
// and repeats of the dialog's keys for the next frame; a full queue drops them.
static void onDialogKey(GLFWwindow* window, int key, int scancode, int action, int mods)
{
    (void)window;
    (void)scancode;
    if (action == GLFW_RELEASE) return;
    int k = -1;
    switch (key) {
    case GLFW_KEY_UP: k = DialogKeyUp; break;
    case GLFW_KEY_DOWN: k = DialogKeyDown; break;
    case GLFW_KEY_TAB: k = (mods & GLFW_MOD_SHIFT) ? DialogKeyBackTab : DialogKeyTab; break;
    case GLFW_KEY_SPACE: k = DialogKeySpace; break;
    case GLFW_KEY_ENTER:
    case GLFW_KEY_KP_ENTER: k = DialogKeyEnter; break;
    case GLFW_KEY_ESCAPE: k = DialogKeyEscape; break;
    default: return;
    }
    // Enter and Escape end the dialog: only their presses count.
    if (action == GLFW_REPEAT && (k == DialogKeyEnter || k == DialogKeyEscape)) return;
    DialogState* s = &dialogState;
    if (s->keyCount < KeyQueueSize) s->keys[s->keyCount++] = k;
}

static void rightAlignedLabel(const char* text, float columnWidth)
{
    float w = ImGui::CalcTextSize(text).x;
    ImGui::SetCursorPosX(ImGui::GetCursorPosX() + columnWidth - w);
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted(text);
    ImGui::SameLine();
}

// Draws one frame of the dialog. Returns 1 Run, 0 Cancel, -2 still open.
static int dialogFrame(DialogState* s)
{
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    ImGui::Begin("##modes", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
                     ImGuiWindowFlags_NoBringToFrontOnFocus);
    ImGui::PopStyleVar();
    ImGui::Image((ImTextureID)(intptr_t)s->bannerTexture, ImVec2(BannerWidth, BannerHeight));
    ImGui::Dummy(ImVec2(0, 2));
    rightAlignedLabel("Resolution:", 112);
    ImGui::SetNextItemWidth(130);
    ImGui::Combo("##resolution", &s->input.selected, modeLabel, s, s->input.count, 10);
    if (ImGui::IsItemActivated()) s->input.focus = ControlResolution;
    markFocus(s, ControlResolution);
    rightAlignedLabel("Fullscreen:", 112);
    bool checked = s->input.fullscreenChecked != 0;
    if (ImGui::Checkbox("##fullscreen", &checked)) s->input.focus = ControlFullscreen;
    s->input.fullscreenChecked = checked ? 1 : 0;
    markFocus(s, ControlFullscreen);
    ImGui::SetCursorPos(ImVec2(10, DialogHeight - 30));
    int result = -2;
    if (ImGui::Button("Run", ImVec2(75, 22))) result = 1;
    markFocus(s, ControlRun);
    ImGui::SameLine(DialogWidth - 85);
    if (ImGui::Button("Cancel", ImVec2(75, 22))) result = 0;
    markFocus(s, ControlCancel);
    ImGui::End();
    return result;
}

// Applies the keys queued since the last frame, in order, up to the first
// that ends the dialog. Returns 1 Run, 0 Cancel, -2 still open.
static int dialogKeys(DialogState* s)
{
    int result = -2;
    for (int i = 0; i < s->keyCount && result == -2; i++) result = dialogKeyPress(&s->input, s->keys[i]);
    s->keyCount = 0;
    return result;
}

static unsigned int makeBannerTexture(void)
{
    static unsigned char pixels[BannerWidth * BannerHeight * 3];
    paintBanner(pixels);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, BannerWidth, BannerHeight, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    return texture;
}

// Runs the dialog's own loop until Run, Cancel, Enter, Escape or the close box.
static int dialogLoop(GLFWwindow* window, DialogState* s)
{
    int result = -2;
    while (result == -2) {
        glfwWaitEventsTimeout(0.05);
        if (glfwWindowShouldClose(window)) return 0;
        result = dialogKeys(s);
        ImGui_ImplOpenGL2_NewFrame();
        ImGui_ImplGlfw_NewFrame();
        ImGui::NewFrame();
        int clicked = dialogFrame(s);
        if (result == -2) result = clicked;
        ImGui::Render();
        int w, h;
        glfwGetFramebufferSize(window, &w, &h);
        glViewport(0, 0, w, h);
        glClearColor(0.12f, 0.1f, 0.12f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
        glfwSwapBuffers(window);
    }
    return result;
}

int runModeDialog(DisplayChoice* choice)
{
    DialogState* s = &dialogState;
    s->input.count = listMonitorModes(s->modes, MaxDisplayModes, choice->width, choice->height, &s->input.selected);
    for (int i = 0; i < s->input.count; i++)
        snprintf(s->labels[i], sizeof s->labels[i], "%d * %d", s->modes[i].width, s->modes[i].height);
    s->input.fullscreenChecked = choice->windowed == 0;
    s->input.focus = ControlResolution;
    s->keyCount = 0;

    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(DialogWidth, DialogHeight, "Wrenfold Demo System", nullptr, nullptr);
    if (!window) return -1;
    centreOnPrimaryMonitor(window);
    glfwShowWindow(window);
    glfwFocusWindow(window);
    glfwMakeContextCurrent(window);
    glfwSwapInterval(1);
    glfwSetKeyCallback(window, onDialogKey);
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr;
    ImGui::StyleColorsDark();
    ImGui_ImplGlfw_InitForOpenGL(window, true);
    ImGui_ImplOpenGL2_Init();
    s->bannerTexture = makeBannerTexture();

    int result = dialogLoop(window, s);
    if (result == 1) applyModeChoice(choice, s->modes, s->input.count, s->input.selected, s->input.fullscreenChecked);

    glDeleteTextures(1, &s->bannerTexture);
    ImGui_ImplOpenGL2_Shutdown();
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext();
    glfwMakeContextCurrent(nullptr);
    glfwDestroyWindow(window);
    return result;
}
