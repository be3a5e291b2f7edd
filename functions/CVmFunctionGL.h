// The GL functions of scripts (the set CVmFunctionGL), built like
// CVmFunction: one nested set per group of its table, in the table's order.
#pragma once

#include "vm/VmRegister.h"

class CVmFunctionGL : public CVmRegisterFunction {
public:
    CVmFunctionGL();
};
