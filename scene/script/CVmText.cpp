#include "CVmText.h"

#include "scene/script/SceneDrawCheck.h"
#include "vm/VirtualMachine.h"

bool CVmText::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("SetColor", &CRegister::SetColor);
    AddMethod("Load", &CRegister::Load);
    AddMethod("SetPosition", &CRegister::SetPosition);
    AddMethod("SetScale", &CRegister::SetScale);
    AddMethod("Draw", &CRegister::Draw);
    return true;
}

VRText* CVmText::CRegister::Target(CVmClassBase* object, int mode) {
    if (!RequireMethodCall(mode) || !object) return nullptr;
    return &static_cast<CVmText*>(object)->m_text;
}

// CVmText() or CVmText(text, x, y[, font name[, character set]]); a missing
// or non-String font name is the image font.
void CVmText::CRegister::Create(CVmClassBase*, int) {
    if (ArgCount() == 0) return ReturnObject(new CVmText());
    const char* text = GetParamString(1, false);
    const char* font = GetParamString(4, false);
    ReturnObject(new CVmText(text, GetParamFloat(2, false), GetParamFloat(3, false), font, GetParamInt(5, false)));
}

// Alpha 0 (or none) is opaque.
void CVmText::CRegister::SetColor(CVmClassBase* object, int mode) {
    VRText* t = Target(object, mode);
    if (!t) return;
    const float alpha = GetParamFloat(4, false);
    t->SetColor(GetParamFloat(1, false), GetParamFloat(2, false), GetParamFloat(3, false), alpha == 0 ? 1.0f : alpha);
}

void CVmText::CRegister::Load(CVmClassBase* object, int mode) {
    if (VRText* t = Target(object, mode)) t->SetText(GetParamString(1, false));
}

void CVmText::CRegister::SetPosition(CVmClassBase* object, int mode) {
    VRText* t = Target(object, mode);
    if (!t) return;
    VmVectorParam v;
    if (ReadParam(1, v, false))
        t->SetPosition(v[0], v[1], v[2]);
    else
        t->SetPosition(GetParamFloat(1, false), GetParamFloat(2, false), GetParamFloat(3, false));
}

void CVmText::CRegister::SetScale(CVmClassBase* object, int mode) {
    VRText* t = Target(object, mode);
    if (!t) return;
    if (ArgCount() == 1) {
        const float s = GetParamFloat(1, false);
        t->SetScale(s, s);
    } else if (ArgCount() == 2) {
        t->SetScale(GetParamFloat(1, false), GetParamFloat(2, false));
    } else {
        VmErrorStream() << "Wrong parameters";
    }
}

void CVmText::CRegister::Draw(CVmClassBase* object, int mode) {
    VRText* t = Target(object, mode);
    if (!t) return;
    if (!RequireInScene()) return;
    t->Draw(GetParamInt(1, false));
}
