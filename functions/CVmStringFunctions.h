// The global functions of string formatting, splitting and the value encoding.
#pragma once

#include "functions/FunctionTable.h"

class CVmStringFunctions : public CVmFunctionGroup {
public:
    CVmStringFunctions() : CVmFunctionGroup(FunctionGroup::String) {}

protected:
    void AddFunctions() override;
};
