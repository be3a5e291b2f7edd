#include "functions/CVmConsoleFunctions.h"

// One line per built function (FunctionTable.h).
void CVmConsoleFunctions::AddFunctions() {}
