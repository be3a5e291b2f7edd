// The global functions of the constructors of textures, meshes and other script objects.
#pragma once

#include "functions/FunctionTable.h"

class CVmObjectFunctions : public CVmFunctionGroup {
public:
    CVmObjectFunctions() : CVmFunctionGroup(FunctionGroup::Object) {}

protected:
    void AddFunctions() override;

private:
    void NewText(CVmClassBase* object, int mode);
    void NewHtmlPage(CVmClassBase* object, int mode);
};
