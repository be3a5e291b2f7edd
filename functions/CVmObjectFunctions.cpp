#include "functions/CVmObjectFunctions.h"

#include <cstdio>
#include <cstdint>
#include <memory>
#include <string>

#include "functions/AamFileKind.h"
#include "media/script/CVmJoystick.h"
#include "media/script/CVmMouse.h"
#include "media/script/CVmVRAWav.h"
#include "meshes/script/CVmBillboard.h"
#include "meshes/script/CVmMaterial.h"
#include "meshes/script/CVmObj.h"
#include "platform/Clock.h"
#include "platform/PathResolver.h"
#include "platform/ScriptFile.h"
#include "scene/VRScene.h"
#include "scene/VRShaderProgram.h"
#include "scene/script/CVmCurve.h"
#include "scene/script/CVmFbo.h"
#include "scene/script/CVmHtmlPage.h"
#include "scene/script/CVmLight.h"
#include "scene/script/CVmShaderProgram.h"
#include "scene/script/CVmText.h"
#include "scene/script/CVmTexture.h"
#include "state/EngineState.h"
#include "vm/VirtualMachine.h"

namespace {

constexpr int32_t kMsgNotAString = 2013;     // "Param n. %i must be a string."
constexpr int32_t kMsgNotAnObject = 2014;    // "Param n. %i must be a '%s' object."
constexpr int32_t kMsgOutOfRange = 2015;     // "This numeric value must be between %i and %i."
constexpr int32_t kMsgBufferTooSmall = 2019; // "Parameters DimX and DimY exceed the size of the data buffer."
constexpr int32_t kMsgCannotLoad = 2032;     // "Cannot load the '%s' file."

// Stored textures hold 4 bytes per pixel, whatever channel count the script
// names, and make no mipmaps.
constexpr int32_t kStoredBytesPerPixel = 4;
constexpr int32_t kStoredFlags = kTexNoMipmaps;
// SetActiveTexture's flags when the script gives none (nearest filtering);
// kBindAgain is added to any.
constexpr int32_t kDefaultBindFlags = 1;

std::string WorkingFolder() { return g_engineState ? g_engineState->Paths().workingFolder : std::string(); }

// The record a texture object or a render target's colour texture shows, or
// null (no such object, or one without a record).
VRTexture* TextureOf(const CVmValue* value) {
    CVmClassBase* object = value && value->type == VmValueType::Object ? value->asObject : nullptr;
    if (auto* texture = dynamic_cast<CVmTexture*>(object)) return texture->Record();
    if (auto* target = dynamic_cast<CVmFbo*>(object)) return target->Target().texture;
    return nullptr;
}

}  // namespace

// One line per built function (FunctionTable.h).
void CVmObjectFunctions::AddFunctions() {
    AddFunction("LoadTexture", &CVmObjectFunctions::LoadTexture);
    AddFunction("CreateEmptyTexture", &CVmObjectFunctions::CreateEmptyTexture);
    AddFunction("StoreTexture", &CVmObjectFunctions::StoreTexture);
    AddFunction("SetActiveTexture", &CVmObjectFunctions::SetActiveTexture);
    AddFunction("NewShader", &CVmObjectFunctions::NewShader);
    AddFunction("NewAWav", &CVmObjectFunctions::NewAWav);
    AddFunction("NewLight", &CVmObjectFunctions::NewLight);
    AddFunction("NewMaterial", &CVmObjectFunctions::NewMaterial);
    AddFunction("NewObject", &CVmObjectFunctions::NewObject);
    AddFunction("GetAamType", &CVmObjectFunctions::GetAamType);
    AddFunction("NewText", &CVmObjectFunctions::NewText);
    AddFunction("NewHtmlPage", &CVmObjectFunctions::NewHtmlPage);
    AddFunction("NewBillBoard", &CVmObjectFunctions::NewBillBoard);
    AddFunction("NewCurve", &CVmObjectFunctions::NewCurve);
    AddFunction("NewJoystick", &CVmObjectFunctions::NewJoystick);
    AddFunction("NewMouse", &CVmObjectFunctions::NewMouse);
}

void CVmObjectFunctions::LoadTexture(CVmClassBase*, int) {
    std::string name;
    int32_t flags;
    if (!ReadParams(name, Optional(flags, 0))) return;
    if (VRScene* scene = RequireScene()) ReturnObject(new CVmTexture(scene->LoadTexture(name.c_str(), flags), flags));
}

void CVmObjectFunctions::CreateEmptyTexture(CVmClassBase*, int) {
    int32_t width, height, kind;
    VmVectorParam values;
    if (!ReadParams(width, height, kind, Optional(values))) return;
    // A kind outside 1 to 6, or a size no texture takes, gives an object
    // without a record.
    if (VRTextureManager* manager = RequireTextureManager())
        ReturnObject(new CVmTexture(
            manager->CreateProceduralTexture(width, height, kind, values.Data(), values.Count()), 0));
}

void CVmObjectFunctions::StoreTexture(CVmClassBase*, int) {
    CVmValue* pixels;
    int32_t width, height, channels;
    if (!ReadParams(pixels, width, height, Optional(channels, kStoredBytesPerPixel))) return;
    if (channels < 3 || channels > 4) return VmErrorMsg(kMsgOutOfRange, 3, 4);
    if (pixels->type != VmValueType::String) return VmErrorMsg(kMsgNotAString, 1);
    const CVmString& bytes = *pixels->asString;
    // In 64 bits: no product of two Integers wraps past the check.
    const int64_t needed = int64_t{width} * height * kStoredBytesPerPixel;
    if (width <= 0 || height <= 0 || needed > bytes.Length()) return VmErrorMsg(kMsgBufferTooSmall);
    VRScene* scene = RequireScene();
    if (!scene) return;
    const std::string name = "STORE_TEXTURE_" + std::to_string(static_cast<int32_t>(TickMilliseconds()));
    VRTexture* record = scene->StoreTexture(name.c_str(), reinterpret_cast<const uint8_t*>(bytes.CStr()), width,
                                            height, kStoredBytesPerPixel, kStoredFlags);
    ReturnObject(new CVmTexture(record, 0));
}

void CVmObjectFunctions::SetActiveTexture(CVmClassBase*, int) {
    CVmValue* texture = nullptr;
    int32_t flags, unit;
    if (!ReadParams(Optional(texture), Optional(flags, kDefaultBindFlags), Optional(unit, 0))) return;
    // Neither kind of object, and one that shows no record, are refused
    // alike: nothing is bound in their name.
    VRTexture* record = TextureOf(texture);
    if (!record) return VmErrorMsg(kMsgNotAnObject, 1, "Texture");
    if (VRScene* scene = RequireScene()) scene->SetActiveTexture(record, flags | kBindAgain, unit);
}

void CVmObjectFunctions::NewShader(CVmClassBase*, int) {
    CVmValue* vertexName = nullptr;
    std::string fragment;
    if (!ReadParams(Optional(vertexName), Optional(fragment))) return;
    if (!vertexName || vertexName->type != VmValueType::String) return VmErrorMsg(kMsgNotAString, 1);
    const bool hasFragment = ArgCount() >= 2;
    const std::string folder = WorkingFolder();
    const std::string vertex = folder + vertexName->asString->CStr();
    if (hasFragment) fragment = folder + fragment;
    ReturnObject(new CVmShaderProgram(
        SharedShaderLibrary().GetProgram(vertex.c_str(), hasFragment ? fragment.c_str() : nullptr)));
}

// A static source with nothing loaded; the class warns when it gets none.
void CVmObjectFunctions::NewAWav(CVmClassBase*, int) { ReturnObject(new CVmVRAWav(false)); }

void CVmObjectFunctions::NewLight(CVmClassBase*, int) {
    if (CVmLight* light = CVmLight::FromPool()) ReturnObject(light);
}

void CVmObjectFunctions::NewMaterial(CVmClassBase*, int) { ReturnObject(new CVmMaterial()); }

// NewObject(), NewObject(mesh or terrain): as the class's constructor.
void CVmObjectFunctions::NewObject(CVmClassBase*, int) { CVmObj::Make(*this, ArgCount()); }

// The first joystick that answers.
void CVmObjectFunctions::NewJoystick(CVmClassBase*, int) { ReturnObject(new CVmJoystick(-1)); }

// What the class's factory makes.
void CVmObjectFunctions::NewMouse(CVmClassBase*, int) { ReturnObject(new CVmMouse()); }

void CVmObjectFunctions::GetAamType(CVmClassBase*, int) {
    std::string name;
    if (!ReadParams(name)) return;
    // Only the header is read, so any size will do.
    ScriptFile opened = ScriptFile::Open(PathResolver::Shared().Resolve(WorkingFolder() + name), UINT64_MAX);
    if (!opened.IsOpen() && opened.GetStatus() != ScriptFile::NotFound)
        VmErrorStream() << "Cannot read the file: " << opened.Reason() << ".";
    std::unique_ptr<FILE, int (*)(FILE*)> file(opened.TakeStdio(), std::fclose);
    if (!file) return VmErrorMsg(kMsgCannotLoad, name.c_str());
    const int32_t kind = AamFileKind(file.get());
    if (kind < 0) VmErrorStream() << name << ": not a valid AAM file.";
    VmReturnInteger(kind);
}

// NewText(text, x, y) in the image font; NewText() the default text.
void CVmObjectFunctions::NewText(CVmClassBase*, int) {
    if (ArgCount() == 0) return ReturnObject(new CVmText());
    ReturnObject(new CVmText(GetParamString(1, false), GetParamFloat(2, false), GetParamFloat(3, false), nullptr, 0));
}

// NewHtmlPage() or NewHtmlPage(page file).
void CVmObjectFunctions::NewHtmlPage(CVmClassBase*, int) { ReturnObject(new CVmHtmlPage(GetParamString(1, false))); }

// NewBillBoard(texture name, width, height, x, y, z); with the name alone or
// one number more, 1 x 1 at the origin.
void CVmObjectFunctions::NewBillBoard(CVmClassBase*, int) { CVmBillboard::Make(*this, ArgCount() > 2); }

// NewCurve(points [, scale x, scale y, scale z [, tension]]).
void CVmObjectFunctions::NewCurve(CVmClassBase*, int) { CVmCurve::Make(*this); }
