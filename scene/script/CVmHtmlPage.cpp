#include "CVmHtmlPage.h"

#include "scene/script/SceneDrawCheck.h"
#include "vm/VirtualMachine.h"

bool CVmHtmlPage::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("Load", &CRegister::Load);
    AddMethod("Draw", &CRegister::Draw);
    AddMethod("Componi", &CRegister::Compose);
    AddMethod("Compose", &CRegister::Compose);
    return true;
}

VRHtmlPage* CVmHtmlPage::CRegister::Target(CVmClassBase* object, int mode) {
    if (!RequireMethodCall(mode) || !object) return nullptr;
    return static_cast<CVmHtmlPage*>(object)->m_page.get();
}

void CVmHtmlPage::CRegister::Create(CVmClassBase*, int) {
    ReturnObject(new CVmHtmlPage(GetParamString(1, false)));
}

void CVmHtmlPage::CRegister::Load(CVmClassBase* object, int mode) {
    VRHtmlPage* page = Target(object, mode);
    if (!page) return;
    if (const char* file = GetParamString(1, false)) page->Load(file);
}

void CVmHtmlPage::CRegister::Draw(CVmClassBase* object, int mode) {
    VRHtmlPage* page = Target(object, mode);
    if (!page) return;
    if (!RequireInScene()) return;
    page->Draw();
}

void CVmHtmlPage::CRegister::Compose(CVmClassBase* object, int mode) {
    if (VRHtmlPage* page = Target(object, mode)) page->Compose(GetParamInt(1, false));
}
