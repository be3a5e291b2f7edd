#include "functions/CVmStringFunctions.h"

// One line per built function (FunctionTable.h).
void CVmStringFunctions::AddFunctions() {}
