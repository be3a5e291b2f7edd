#include "functions/CVmFunction.h"

#include <ctime>

#include "functions/CVmCameraFunctions.h"
#include "functions/CVmConsoleFunctions.h"
#include "functions/CVmDeviceFunctions.h"
#include "functions/CVmFileFunctions.h"
#include "functions/CVmInputOutputFunctions.h"
#include "functions/CVmMathFunctions.h"
#include "functions/CVmNetworkFunctions.h"
#include "functions/CVmObjectFunctions.h"
#include "functions/CVmStringFunctions.h"
#include "functions/ScriptRandom.h"

CVmFunction::CVmFunction() {
    SeedScriptRandom(static_cast<uint32_t>(std::time(nullptr)));
    // The groups in the order of their first name in the table.
    m_sets.Append(new CVmFileFunctions());
    m_sets.Append(new CVmConsoleFunctions());
    m_sets.Append(new CVmCameraFunctions());
    m_sets.Append(new CVmNetworkFunctions());
    m_sets.Append(new CVmMathFunctions());
    m_sets.Append(new CVmObjectFunctions());
    m_sets.Append(new CVmInputOutputFunctions());
    m_sets.Append(new CVmDeviceFunctions());
    m_sets.Append(new CVmStringFunctions());
}
