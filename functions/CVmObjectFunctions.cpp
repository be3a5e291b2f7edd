#include "functions/CVmObjectFunctions.h"

// One line per built function (FunctionTable.h).
void CVmObjectFunctions::AddFunctions() {}
