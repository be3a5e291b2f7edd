#include "functions/CVmCameraFunctions.h"

// One line per built function (FunctionTable.h).
void CVmCameraFunctions::AddFunctions() {}
