// The global functions of string formatting, splitting and the value encoding.
#pragma once

#include "functions/FunctionTable.h"

class CVmStringFunctions : public CVmFunctionGroup {
public:
    CVmStringFunctions() : CVmFunctionGroup(FunctionGroup::String) {}

protected:
    void AddFunctions() override;

private:
    void Sprintf(CVmClassBase* object, int mode);
    void Sscanf(CVmClassBase* object, int mode);
    void Split(CVmClassBase* object, int mode);
    void PackVector(CVmClassBase* object, int mode);
    void UnpackVector(CVmClassBase* object, int mode);
    void VarStringEncode(CVmClassBase* object, int mode);
    void VarStringDecode(CVmClassBase* object, int mode);

    // Parameter k as a String, else message 2013 naming it; null then.
    const CVmString* StringParam(int32_t k);
};
