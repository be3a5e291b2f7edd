// The global functions of networking.
#pragma once

#include "functions/FunctionTable.h"

class CVmNetworkFunctions : public CVmFunctionGroup {
public:
    CVmNetworkFunctions() : CVmFunctionGroup(FunctionGroup::Network) {}

protected:
    void AddFunctions() override;
};
