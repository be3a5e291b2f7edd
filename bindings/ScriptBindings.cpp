#include "bindings/ScriptBindings.h"

#include <iterator>
#include <string>

#include "functions/CVmFunction.h"
#include "functions/CVmFunctionGL.h"
#include "functions/GLConstants.h"
#include "media/script/CVmJoystick.h"
#include "media/script/CVmMouse.h"
#include "media/script/CVmVRAWav.h"
#include "media/script/CVmVRPN.h"
#include "media/script/CVmVRPNServer.h"
#include "meshes/script/CVmBillboard.h"
#include "meshes/script/CVmMaterial.h"
#include "meshes/script/CVmObj.h"
#include "runtime/script/CFileManager.h"
#include "runtime/script/CVmExternDLL.h"
#include "runtime/script/byteBuffer.h"
#include "runtime/script/sharedByteBuffer.h"
#include "scene/script/CVmCamera.h"
#include "scene/script/CVmCurve.h"
#include "scene/script/CVmFbo.h"
#include "scene/script/CVmHtmlPage.h"
#include "scene/script/CVmLight.h"
#include "scene/script/CVmPBuffer.h"
#include "scene/script/CVmShaderProgram.h"
#include "scene/script/CVmTerrain.h"
#include "scene/script/CVmText.h"
#include "scene/script/CVmTexture.h"
#include "vm/VirtualMachine.h"
#include "xml/script/CVmXml.h"

namespace {

// The registration of a class whose methods are not built yet.
class CPendingClassRegistration : public CVmRegisterClass {
public:
    explicit CPendingClassRegistration(const char* name) : m_name(name) {}
    const char* GetClassName() override { return m_name.c_str(); }

private:
    std::string m_name;
};

// A built class X: X::kClassName and a new X::CRegister.
template <class X>
constexpr VmClassBinding Built() {
    return {X::kClassName, [] { return static_cast<CVmRegisterClass*>(new typename X::CRegister()); }};
}

constexpr VmClassBinding Pending(const char* name) { return {name, nullptr}; }

}  // namespace

// The classes in registration order. Building a class turns its Pending line
// into Built<X>().
const VmClassBinding kScriptClasses[] = {
    Built<CVmMouse>(),
    Built<CVmJoystick>(),
    Pending("CVmMMAvi"),
    Pending("CVmMMMidi"),
    Pending("CVmMMMp3"),
    Built<CVmVRAWav>(),
    Pending("CVmMenu"),
    Pending("CVmWebBrowser"),
    Built<CFileManager>(),
    Built<CVmBillboard>(),
    Built<CVmLight>(),
    Pending("CVmMesh"),
    Pending("CVmNewMesh"),
    Built<CVmObj>(),
    Built<CVmHtmlPage>(),
    Built<CVmCurve>(),
    Built<CVmMaterial>(),
    Built<CVmText>(),
    Built<CVmTexture>(),
    Built<CVmTerrain>(),
    Pending("CVmCharacter"),
    Pending("CVmAvatar"),
    Built<CVmShaderProgram>(),
    Built<CVmPBuffer>(),
    Built<CVmFbo>(),
    Pending("CVmProceduralFactory"),
    Built<CVmCamera>(),
    Built<CVmVRPN>(),
    Built<CVmVRPNServer>(),
    Built<CVmXml>(),
    Built<byteBuffer>(),
    Built<sharedByteBuffer>(),
    Built<CVmExternDLL>(),
    Pending("CVmIEWindow"),
};
static_assert(std::size(kScriptClasses) == kScriptClassCount, "the engine registers 34 script classes");

void RegisterScriptBindings(CVirtualMachine& vm) {
    vm.RegisterFunctions(new CVmFunction());
    vm.RegisterFunctions(new CVmFunctionGL());
    for (const VmClassBinding& c : kScriptClasses)
        vm.RegisterClass(c.create ? c.create() : new CPendingClassRegistration(c.name));
}

void RegisterGLConstantTable(CVirtualMachine& vm) {
    for (const GLConstant& c : kGLConstants) vm.AddConstant(c.name, c.value);
}
