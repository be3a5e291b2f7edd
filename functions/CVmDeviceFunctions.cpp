#include "functions/CVmDeviceFunctions.h"

// One line per built function (FunctionTable.h).
void CVmDeviceFunctions::AddFunctions() {}
