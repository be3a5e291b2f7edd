// The global functions of serial ports, trackers, application windows and engine information.
#pragma once

#include "functions/FunctionTable.h"

class CVmDeviceFunctions : public CVmFunctionGroup {
public:
    CVmDeviceFunctions() : CVmFunctionGroup(FunctionGroup::Device) {}

protected:
    void AddFunctions() override;
};
