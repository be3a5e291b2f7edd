#include "functions/CVmFileFunctions.h"

// One line per built function (FunctionTable.h).
void CVmFileFunctions::AddFunctions() {}
