// The global functions of the console, the display, the cursor and the frame
// pacing.
//
// Console positions and sizes are fractions of the window: x and widths are
// multiplied by the client width, y and heights by the client height, 0.5 is
// added and the result truncated to whole pixels (y from the bottom edge, as
// the console draws). Without an engine (a bare script machine) the
// functions read their parameters and do nothing.
#pragma once

#include <cstdint>

#include "functions/FunctionTable.h"

class CVmConsoleFunctions : public CVmFunctionGroup {
public:
    CVmConsoleFunctions() : CVmFunctionGroup(FunctionGroup::Console) {}

    // A fraction of a window's side in whole pixels.
    static int32_t ToPixels(float fraction, int32_t side);

protected:
    void AddFunctions() override;

private:
    void ConsoleFont(CVmClassBase* object, int mode);
    void ConsoleColor(CVmClassBase* object, int mode);
    void ConsoleWidth(CVmClassBase* object, int mode);
    void ConsoleText(CVmClassBase* object, int mode);
    void ConsoleRect(CVmClassBase* object, int mode);
    void ConsoleFilledRect(CVmClassBase* object, int mode);
    void ConsoleLines(CVmClassBase* object, int mode);
    void ConsoleFinish(CVmClassBase* object, int mode);
    void SwapBuffers(CVmClassBase* object, int mode);
    void SetFade(CVmClassBase* object, int mode);
    void SetClearColor(CVmClassBase* object, int mode);
    void SetAmbientLight(CVmClassBase* object, int mode);
    void SetAudio3DParam(CVmClassBase* object, int mode);
    void SetScreenRatio(CVmClassBase* object, int mode);
    void LoadBackground(CVmClassBase* object, int mode);
    void SetFrameRate(CVmClassBase* object, int mode);
    void SetTimeStep(CVmClassBase* object, int mode);
    void SetScreenResolution(CVmClassBase* object, int mode);
    void SetCursorShape(CVmClassBase* object, int mode);
    void ShowCursor(CVmClassBase* object, int mode);
    void SetCursorPos(CVmClassBase* object, int mode);

    // ConsoleRect and ConsoleFilledRect.
    void AddRect(bool filled);
};
