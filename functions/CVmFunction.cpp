#include "functions/CVmFunction.h"

// The groups of the table, in its order, one line each:
//   m_sets.Append(new CVmConsoleFunctions());
CVmFunction::CVmFunction() {}
