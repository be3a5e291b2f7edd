#include "ScriptClasses.h"

#include <cstring>
#include <string>

#include "engine/EngineMachine.h"
#include "vm/VirtualMachine.h"
#include "xml/script/CVmXml.h"

const char* const kScriptClassOrder[34] = {
    "CVmMouse",    "CVmJoystick",   "CVmMMAvi",         "CVmMMMidi",    "CVmMMMp3",      "CVmVRAWav",
    "CVmMenu",     "CVmWebBrowser", "CFileManager",     "CVmBillboard", "CVmLight",      "CVmMesh",
    "CVmNewMesh",  "CVmObj",        "CVmHtmlPage",      "CVmCurve",     "CVmMaterial",   "CVmText",
    "CVmTexture",  "CVmTerrain",    "CVmCharacter",     "CVmAvatar",    "CVmShaderProgram", "CVmPBuffer",
    "CVmFbo",      "CVmProceduralFactory", "CVmCamera", "CVmVRPN",      "CVmVRPNServer", "CVmXml",
    "byteBuffer",  "sharedByteBuffer", "CVmExternDLL",  "CVmIEWindow",
};

namespace {

// A class whose methods are not built yet: it keeps its name and its place
// in the order, answers the hidden members, and constructs nothing.
class CPendingClassRegistration : public CVmRegisterClass {
public:
    explicit CPendingClassRegistration(const char* name) : m_name(name) {}
    const char* GetClassName() override { return m_name.c_str(); }

private:
    std::string m_name;
};

// A function set whose functions are not built yet.
class CPendingFunctionSet : public CVmRegisterFunction {};

struct ClassFactory {
    const char* name;
    CVmRegisterClass* (*create)();
};

// The classes that are built, by name.
const ClassFactory kBuiltClasses[] = {
    {CVmXml::kClassName,
     [] { return static_cast<CVmRegisterClass*>(new CVmXml::CRegister(g_engineMachine ? &g_engineMachine->m_workingFolder : nullptr)); }},
};

}  // namespace

CVmRegisterClass* CreateClassRegistration(const char* className) {
    for (const ClassFactory& f : kBuiltClasses)
        if (std::strcmp(f.name, className) == 0) return f.create();
    return new CPendingClassRegistration(className);
}

void RegisterFunctionSets(CVirtualMachine& vm) {
    vm.RegisterFunctions(new CPendingFunctionSet());  // CVmFunction
    vm.RegisterFunctions(new CPendingFunctionSet());  // CVmFunctionGL
}

void RegisterScriptClasses(CVirtualMachine& vm) {
    for (const char* name : kScriptClassOrder) vm.RegisterClass(CreateClassRegistration(name));
}
