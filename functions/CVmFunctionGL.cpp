#include "functions/CVmFunctionGL.h"

// The groups of the table, in its order, one line each.
CVmFunctionGL::CVmFunctionGL() {}
