#include "functions/CVmMathFunctions.h"

// One line per built function (FunctionTable.h).
void CVmMathFunctions::AddFunctions() {}
