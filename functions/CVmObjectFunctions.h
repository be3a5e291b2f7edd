// The global functions of the constructors of textures, meshes and other
// script objects: each makes an engine-library object and answers it in a
// new script object of its class. Besides them, SetActiveTexture binds a
// texture for drawing and GetAamType tells the kind of an AAM model file.
#pragma once

#include "functions/FunctionTable.h"

class CVmObjectFunctions : public CVmFunctionGroup {
public:
    CVmObjectFunctions() : CVmFunctionGroup(FunctionGroup::Object) {}

protected:
    void AddFunctions() override;

private:
    void LoadTexture(CVmClassBase* object, int mode);
    void CreateEmptyTexture(CVmClassBase* object, int mode);
    void StoreTexture(CVmClassBase* object, int mode);
    void SetActiveTexture(CVmClassBase* object, int mode);
    void NewShader(CVmClassBase* object, int mode);
    void NewAWav(CVmClassBase* object, int mode);
    void NewLight(CVmClassBase* object, int mode);
    void NewMaterial(CVmClassBase* object, int mode);
    void NewObject(CVmClassBase* object, int mode);
    void GetAamType(CVmClassBase* object, int mode);
    void NewText(CVmClassBase* object, int mode);
    void NewHtmlPage(CVmClassBase* object, int mode);
    void NewBillBoard(CVmClassBase* object, int mode);
    void NewCurve(CVmClassBase* object, int mode);
    void NewJoystick(CVmClassBase* object, int mode);
    void NewMouse(CVmClassBase* object, int mode);
};
