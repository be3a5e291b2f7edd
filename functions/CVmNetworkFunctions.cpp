#include "functions/CVmNetworkFunctions.h"

// One line per built function (FunctionTable.h).
void CVmNetworkFunctions::AddFunctions() {}
