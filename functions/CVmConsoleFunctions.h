// The global functions of the console, the display, the cursor and the frame pacing.
#pragma once

#include "functions/FunctionTable.h"

class CVmConsoleFunctions : public CVmFunctionGroup {
public:
    CVmConsoleFunctions() : CVmFunctionGroup(FunctionGroup::Console) {}

protected:
    void AddFunctions() override;
};
