// The global functions of files, folders, downloads, cookies and modules.
#pragma once

#include "functions/FunctionTable.h"

class CVmFileFunctions : public CVmFunctionGroup {
public:
    CVmFileFunctions() : CVmFunctionGroup(FunctionGroup::File) {}

protected:
    void AddFunctions() override;
};
