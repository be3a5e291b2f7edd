// The global functions of math: vectors, matrices, quaternions, curves.
#pragma once

#include "functions/FunctionTable.h"

class CVmMathFunctions : public CVmFunctionGroup {
public:
    CVmMathFunctions() : CVmFunctionGroup(FunctionGroup::Math) {}

protected:
    void AddFunctions() override;
};
