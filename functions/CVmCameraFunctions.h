// The global functions of the cameras and the scene.
#pragma once

#include "functions/FunctionTable.h"

class CVmCameraFunctions : public CVmFunctionGroup {
public:
    CVmCameraFunctions() : CVmFunctionGroup(FunctionGroup::Camera) {}

protected:
    void AddFunctions() override;
};
