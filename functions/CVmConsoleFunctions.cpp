#include "functions/CVmConsoleFunctions.h"

#include <cmath>
#include <optional>
#include <vector>

#include "media/VRAlib.h"
#include "platform/GlutMainLoop.h"
#include "platform/ScreenMode.h"
#include "platform/Thread.h"
#include "platform/WindowCursor.h"
#include "scene/VRScene.h"
#include "state/Console.h"
#include "state/EngineState.h"
#include "vm/VirtualMachine.h"

namespace {

constexpr int32_t kLastCursor = kCursorShapeCount - 1;

DisplayState* Window() { return g_engineState ? &g_engineState->Display() : nullptr; }

CConsole* Console() {
    DisplayState* window = Window();
    return window ? window->console : nullptr;
}

// Shows the current cursor, or none while the display count is below 0.
void ShowCurrentCursor(const DisplayState& window) {
    ShowCursorOver(window.nativeWindow, window.cursor, window.cursorDisplayCount < 0);
}

}  // namespace

void CVmConsoleFunctions::AddFunctions() {
    using F = CVmConsoleFunctions;
    AddFunction("ConsoleFont", &F::ConsoleFont);
    AddFunction("ConsoleColor", &F::ConsoleColor);
    AddFunction("ConsoleWidth", &F::ConsoleWidth);
    AddFunction("ConsoleText", &F::ConsoleText);
    AddFunction("ConsoleRect", &F::ConsoleRect);
    AddFunction("ConsoleFilledRect", &F::ConsoleFilledRect);
    AddFunction("ConsoleLines", &F::ConsoleLines);
    AddFunction("ConsoleFinish", &F::ConsoleFinish);
    AddFunction("SwapBuffers", &F::SwapBuffers);
    AddFunction("SetFade", &F::SetFade);
    AddFunction("SetFadeValue", &F::SetFade);
    AddFunction("SetClearColor", &F::SetClearColor);
    AddFunction("SetAmbientLight", &F::SetAmbientLight);
    AddFunction("SetAudio3DParam", &F::SetAudio3DParam);
    AddFunction("SetScreenRatio", &F::SetScreenRatio);
    AddFunction("LoadBackground", &F::LoadBackground);
    AddFunction("SetFrameRate", &F::SetFrameRate);
    AddFunction("SetTimeStep", &F::SetTimeStep);
    AddFunction("SetScreenResolution", &F::SetScreenResolution);
    AddFunction("SetCursorShape", &F::SetCursorShape);
    AddFunction("ShowCursor", &F::ShowCursor);
    AddFunction("SetCursorPos", &F::SetCursorPos);
}

int32_t CVmConsoleFunctions::ToPixels(float fraction, int32_t side) {
    const float p = fraction * static_cast<float>(side) + 0.5f;
    // Far outside the window, or no number at all: held to the int range.
    if (std::isnan(p)) return 0;
    if (p <= -2147483648.0f) return INT32_MIN;
    if (p >= 2147483648.0f) return INT32_MAX;
    return static_cast<int32_t>(p);
}

// ---------------------------------------------------------------------------
// The console

void CVmConsoleFunctions::ConsoleFont(CVmClassBase*, int) {
    // Without a name the current font stays.
    const char* name = nullptr;
    if (!ReadParam(1, name, false)) return;
    const int32_t size = GetParamInt(2, false);
    if (CConsole* console = Console()) console->SetFont(name, size);
}

void CVmConsoleFunctions::ConsoleColor(CVmClassBase*, int) {
    float rgba[4] = {0, 0, 0, 1};
    const int32_t n = ArgCount();
    VmVectorParam vector;
    if (n == 1 && ReadParam(1, vector, false)) {
        if (vector.Count() != 3 && vector.Count() != 4) return VmErrorMsg(2028, 1);
        for (int32_t i = 0; i < vector.Count(); ++i) rgba[i] = vector[i];
    } else if (n <= 4) {
        for (int32_t k = 1; k <= n; ++k) rgba[k - 1] = GetParamFloat(k, false);
    }
    if (CConsole* console = Console())
        for (int i = 0; i < 4; ++i) console->color[i] = rgba[i];
}

void CVmConsoleFunctions::ConsoleWidth(CVmClassBase*, int) {
    float width;
    if (!ReadParams(width)) return;
    if (CConsole* console = Console()) console->lineWidth = width;
}

void CVmConsoleFunctions::ConsoleText(CVmClassBase*, int) {
    float x, y;
    if (!ReadParams(x, y)) return;
    const char* text = nullptr;
    if (!ReadParam(3, text, false)) return VmErrorMsg(2013, 3);
    CConsole* console = Console();
    if (!console) return;
    const DisplayState& window = *Window();
    console->AddText(ToPixels(x, window.clientWidth), ToPixels(y, window.clientHeight), text, -1, -1);
}

void CVmConsoleFunctions::AddRect(bool filled) {
    float x, y, w, h;
    if (!ReadParams(x, y, w, h)) return;
    CConsole* console = Console();
    if (!console) return;
    const DisplayState& window = *Window();
    const int32_t px = ToPixels(x, window.clientWidth), py = ToPixels(y, window.clientHeight);
    const int32_t pw = ToPixels(w, window.clientWidth), ph = ToPixels(h, window.clientHeight);
    if (filled)
        console->AddFilledRect(px, py, pw, ph);
    else
        console->AddRect(px, py, pw, ph);
}

void CVmConsoleFunctions::ConsoleRect(CVmClassBase*, int) { AddRect(false); }

void CVmConsoleFunctions::ConsoleFilledRect(CVmClassBase*, int) { AddRect(true); }

void CVmConsoleFunctions::ConsoleLines(CVmClassBase*, int) {
    VmVectorParam points;
    if (!ReadParam(1, points, false)) return VmErrorMsg(2012, 1);
    CConsole* console = Console();
    if (!console) return;
    const DisplayState& window = *Window();
    // Pairs of components; an odd last one is no point.
    const int32_t n = points.Count() / 2;
    std::vector<int32_t> pixels(2 * static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        pixels[2 * i] = ToPixels(points[2 * i], window.clientWidth);
        pixels[2 * i + 1] = ToPixels(points[2 * i + 1], window.clientHeight);
    }
    console->AddLines(pixels.data(), n);
}

void CVmConsoleFunctions::ConsoleFinish(CVmClassBase*, int) {
    if (CConsole* console = Console()) console->Draw();
}

void CVmConsoleFunctions::SwapBuffers(CVmClassBase*, int) {
    // Only the thread that draws the window shows its frame; elsewhere (the
    // timer thread) the frame that follows draws the console.
    DisplayState* window = Window();
    if (!window || CurrentThreadId() != window->windowThread) return;
    if (window->console) window->console->Draw();
    SwapWindowBuffers();
}

// ---------------------------------------------------------------------------
// The scene's display settings

void CVmConsoleFunctions::SetFade(CVmClassBase*, int) {
    float value;
    if (!ReadParams(value)) return;
    if (DisplayState* window = Window()) window->fadeValue = value > 1.0f ? 1.0f : value > 0.0f ? value : 0.0f;
}

void CVmConsoleFunctions::SetClearColor(CVmClassBase*, int) {
    float r, g, b;
    if (!ReadParams(r, g, b)) return;
    if (VRScene* scene = RequireScene()) scene->SetClearColor(r, g, b);
}

void CVmConsoleFunctions::SetAmbientLight(CVmClassBase*, int) {
    float r, g, b;
    if (!ReadParams(r, g, b)) return;
    if (VRScene* scene = RequireScene()) scene->SetAmbientLight(r, g, b);
}

// The running sound back end's factors; its answer.
void CVmConsoleFunctions::SetAudio3DParam(CVmClassBase*, int) {
    const char* name = GetParamString(1, false);
    VmReturnInteger(AudioSet3DParam(name ? name : "", GetParamFloat(2, false)));
}

void CVmConsoleFunctions::SetScreenRatio(CVmClassBase*, int) {
    float ratio;
    if (!ReadParams(ratio)) return;
    if (VRScene* scene = RequireScene()) scene->SetScreenRatio(ratio);
}

void CVmConsoleFunctions::LoadBackground(CVmClassBase*, int) {
    const char* name = nullptr;
    if (!ReadParam(1, name, false)) return VmErrorMsg(2013, 1);
    int32_t mode;
    if (!ReadParam(2, Optional(mode, 1))) return;
    if (VRScene* scene = RequireScene()) scene->LoadBackground(name, mode);
}

// ---------------------------------------------------------------------------
// Pacing and the screen

void CVmConsoleFunctions::SetFrameRate(CVmClassBase*, int) {
    int32_t fps;
    if (!ReadParams(fps) || !g_engineState) return;
    if (fps == 0)
        g_engineState->Timing().framePeriod = 0;
    else
        g_engineState->Timing().SetFrameRate(fps);
}

void CVmConsoleFunctions::SetTimeStep(CVmClassBase*, int) {
    int32_t ms;
    if (ReadParams(ms) && g_engineState) g_engineState->Timing().SetTimeStep(ms);
}

void CVmConsoleFunctions::SetScreenResolution(CVmClassBase*, int) {
    int32_t width, height;
    if (!ReadParams(width, height)) return;
    const int32_t n = ArgCount();
    // More than four parameters ask for no change at all.
    if (n > 4) return VmReturnBool(true);
    std::optional<int32_t> bits, rate;
    if (n >= 3) bits = GetParamInt(3, false);
    if (n == 4) rate = GetParamInt(4, false);
    VmReturnBool(ChangeScreenMode(width, height, bits, rate));
}

// ---------------------------------------------------------------------------
// The cursor

void CVmConsoleFunctions::SetCursorShape(CVmClassBase*, int) {
    int32_t shape;
    if (!ReadParams(shape)) return;
    if (shape < 0 || shape > kLastCursor) return VmErrorMsg(2015, 0, kLastCursor);
    DisplayState* window = Window();
    if (!window) return;
    window->cursor = shape;
    ShowCurrentCursor(*window);
}

void CVmConsoleFunctions::ShowCursor(CVmClassBase*, int) {
    bool show;
    if (!ReadParams(show)) return;
    DisplayState* window = Window();
    if (!window) return;
    window->cursorDisplayCount += show ? 1 : -1;
    ShowCurrentCursor(*window);
}

void CVmConsoleFunctions::SetCursorPos(CVmClassBase*, int) {
    float x, y;
    if (!ReadParams(x, y)) return;
    if (DisplayState* window = Window()) MovePointerOver(window->nativeWindow, x, y);
}
