// The engine's global functions (the set CVmFunction). The set registers
// nothing itself: each group of its table is a function set of its own, in
// its own file, and the set holds the groups as nested sets in the table's
// order, so a name binds to the first group that has it.
#pragma once

#include "vm/VmRegister.h"

class CVmFunction : public CVmRegisterFunction {
public:
    CVmFunction();
};
