#include "functions/CVmFunctionGL.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "functions/GLClientArrays.h"
#include "functions/GLConstants.h"
#include "functions/GLEntryPoint.h"
#include "functions/GLPixels.h"
#include "scene/GLEntryPoints.h"
#include "vm/VirtualMachine.h"

namespace {

// ---------------------------------------------------------------------------
// The plain forwarders: each reads its parameters in order, 'i' as an int
// and 'f' as a float, and makes one call with them.

struct GLArgs {
    int32_t i[9];
    float f[9];
};

struct Forwarder {
    const char* name;
    const char* params;
    void (*call)(const GLArgs& a);
};

// A draw reads vertices first ... first + count - 1 of every enabled array.
void DrawArrays(const GLArgs& a) {
    const int64_t last = a.i[1] >= 0 && a.i[2] > 0 ? int64_t{a.i[1]} + a.i[2] - 1 : -1;
    if (GLClientArrays::Shared().CoverVertices(last)) glDrawArrays(a.i[0], a.i[1], a.i[2]);
}

// clang-format off
const Forwarder kForwarders[] = {
    {"glClear", "i", [](const GLArgs& a) { glClear(a.i[0]); }},
    {"glEnable", "i", [](const GLArgs& a) { glEnable(a.i[0]); }},
    {"glDisable", "i", [](const GLArgs& a) { glDisable(a.i[0]); }},
    {"glHint", "ii", [](const GLArgs& a) { glHint(a.i[0], a.i[1]); }},
    {"glPushMatrix", "", [](const GLArgs&) { glPushMatrix(); }},
    {"glPopMatrix", "", [](const GLArgs&) { glPopMatrix(); }},
    {"glMatrixMode", "i", [](const GLArgs& a) { glMatrixMode(a.i[0]); }},
    {"glLoadIdentity", "", [](const GLArgs&) { glLoadIdentity(); }},
    {"glBegin", "i", [](const GLArgs& a) { glBegin(a.i[0]); }},
    {"glEnd", "", [](const GLArgs&) { glEnd(); }},
    {"glLineWidth", "f", [](const GLArgs& a) { glLineWidth(a.f[0]); }},
    {"glPointSize", "f", [](const GLArgs& a) { glPointSize(a.f[0]); }},
    {"glBindTexture", "ii", [](const GLArgs& a) { glBindTexture(a.i[0], a.i[1]); }},
    {"glTexParameterf", "iif", [](const GLArgs& a) { glTexParameterf(a.i[0], a.i[1], a.f[2]); }},
    {"glTexParameteri", "iii", [](const GLArgs& a) { glTexParameteri(a.i[0], a.i[1], a.i[2]); }},
    {"glTexEnvf", "iif", [](const GLArgs& a) { glTexEnvf(a.i[0], a.i[1], a.f[2]); }},
    {"glTexEnvi", "iii", [](const GLArgs& a) { glTexEnvi(a.i[0], a.i[1], a.i[2]); }},
    {"glTexGeni", "iii", [](const GLArgs& a) { glTexGeni(a.i[0], a.i[1], a.i[2]); }},
    {"glDeleteLists", "ii", [](const GLArgs& a) { glDeleteLists(a.i[0], a.i[1]); }},
    {"glCallList", "i", [](const GLArgs& a) { glCallList(a.i[0]); }},
    {"glListBase", "i", [](const GLArgs& a) { glListBase(a.i[0]); }},
    {"glNewList", "ii", [](const GLArgs& a) { glNewList(a.i[0], a.i[1]); }},
    {"glEndList", "", [](const GLArgs&) { glEndList(); }},
    {"glColorMask", "iiii", [](const GLArgs& a) { glColorMask(a.i[0] != 0, a.i[1] != 0, a.i[2] != 0, a.i[3] != 0); }},
    {"glOrtho", "ffffff", [](const GLArgs& a) { glOrtho(a.f[0], a.f[1], a.f[2], a.f[3], a.f[4], a.f[5]); }},
    {"glFrustum", "ffffff", [](const GLArgs& a) { glFrustum(a.f[0], a.f[1], a.f[2], a.f[3], a.f[4], a.f[5]); }},
    {"glBlendFunc", "ii", [](const GLArgs& a) { glBlendFunc(a.i[0], a.i[1]); }},
    {"glDepthFunc", "i", [](const GLArgs& a) { glDepthFunc(a.i[0]); }},
    {"glFlush", "", [](const GLArgs&) { glFlush(); }},
    {"glFinish", "", [](const GLArgs&) { glFinish(); }},
    {"glPushAttrib", "i", [](const GLArgs& a) { glPushAttrib(a.i[0]); }},
    {"glPopAttrib", "", [](const GLArgs&) { glPopAttrib(); }},
    {"glPolygonOffset", "ff", [](const GLArgs& a) { glPolygonOffset(a.f[0], a.f[1]); }},
    {"glPolygonMode", "ii", [](const GLArgs& a) { glPolygonMode(a.i[0], a.i[1]); }},
    {"gluPerspective", "ffff", [](const GLArgs& a) { gluPerspective(a.f[0], a.f[1], a.f[2], a.f[3]); }},
    {"gluLookAt", "fffffffff", [](const GLArgs& a) {
        gluLookAt(a.f[0], a.f[1], a.f[2], a.f[3], a.f[4], a.f[5], a.f[6], a.f[7], a.f[8]); }},
    {"glCopyTexImage2D", "iiiiiiii", [](const GLArgs& a) {
        glCopyTexImage2D(a.i[0], a.i[1], a.i[2], a.i[3], a.i[4], a.i[5], a.i[6], a.i[7]); }},
    {"glCopyTexSubImage2D", "iiiiiiii", [](const GLArgs& a) {
        glCopyTexSubImage2D(a.i[0], a.i[1], a.i[2], a.i[3], a.i[4], a.i[5], a.i[6], a.i[7]); }},
    {"glDrawBuffer", "i", [](const GLArgs& a) { glDrawBuffer(a.i[0]); }},
    {"glReadBuffer", "i", [](const GLArgs& a) { glReadBuffer(a.i[0]); }},
    {"glScissor", "iiii", [](const GLArgs& a) { glScissor(a.i[0], a.i[1], a.i[2], a.i[3]); }},
    {"glLineStipple", "ii", [](const GLArgs& a) { glLineStipple(a.i[0], static_cast<GLushort>(a.i[1])); }},
    {"glCullFace", "i", [](const GLArgs& a) { glCullFace(a.i[0]); }},
    {"glFrontFace", "i", [](const GLArgs& a) { glFrontFace(a.i[0]); }},
    {"glStencilFunc", "iii", [](const GLArgs& a) { glStencilFunc(a.i[0], a.i[1], a.i[2]); }},
    {"glStencilOp", "iii", [](const GLArgs& a) { glStencilOp(a.i[0], a.i[1], a.i[2]); }},
    {"glStencilMask", "i", [](const GLArgs& a) { glStencilMask(a.i[0]); }},
    {"glShadeModel", "i", [](const GLArgs& a) { glShadeModel(a.i[0]); }},
    {"glClearDepth", "f", [](const GLArgs& a) { glClearDepth(a.f[0]); }},
    {"glAccum", "if", [](const GLArgs& a) { glAccum(a.i[0], a.f[1]); }},
    {"glEnableClientState", "i", [](const GLArgs& a) { glEnableClientState(a.i[0]); }},
    {"glDisableClientState", "i", [](const GLArgs& a) { glDisableClientState(a.i[0]); }},
    {"glDrawArrays", "iii", DrawArrays},
    {"glBindFramebufferEXT", "ii", [](const GLArgs& a) {
        if (auto f = GLEntry(GLEntryPoints.glBindFramebufferEXT)) f(a.i[0], a.i[1]); }},
    {"glBindRenderbufferEXT", "ii", [](const GLArgs& a) {
        if (auto f = GLEntry(GLEntryPoints.glBindRenderbufferEXT)) f(a.i[0], a.i[1]); }},
    {"glRenderbufferStorageEXT", "iiii", [](const GLArgs& a) {
        if (auto f = GLEntry(GLEntryPoints.glRenderbufferStorageEXT)) f(a.i[0], a.i[1], a.i[2], a.i[3]); }},
    {"glFramebufferRenderbufferEXT", "iiii", [](const GLArgs& a) {
        if (auto f = GLEntry(GLEntryPoints.glFramebufferRenderbufferEXT)) f(a.i[0], a.i[1], a.i[2], a.i[3]); }},
};
// clang-format on
constexpr size_t kForwarderCount = std::size(kForwarders);
static_assert(kForwarderCount == 57, "57 plain forwarders");

// The most names a generator makes in one call.
constexpr int32_t kMaxGenerated = 65536;
// The longest String (or Vector, in bytes) a read-back answers.
constexpr int64_t kMaxReadBack = CVmString::kMaxLength;

// Up to four components of a Vector for a call that reads four floats
// whatever the Vector holds: the others are 0.
struct Four {
    explicit Four(const CVmVector& v) {
        for (int32_t i = 0; i < 4; ++i) values[i] = v.GetAt(i);
    }
    float values[4];
};

// The three GL variants a value parameter chooses by its type.
template <class I, class F, class V>
bool ByValueType(VmValueType type, I integer, F real, V vector) {
    switch (type) {
    case VmValueType::Integer: integer(); return true;
    case VmValueType::Real: real(); return true;
    case VmValueType::Vector: vector(); return true;
    default: return false;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Registration

template <size_t Row>
void CVmFunctionGL::Forward(CVmClassBase*, int) {
    const Forwarder& f = kForwarders[Row];
    GLArgs a{};
    for (int32_t k = 0; f.params[k]; ++k) {
        if (f.params[k] == 'i')
            a.i[k] = Int(k + 1);
        else
            a.f[k] = Float(k + 1);
    }
    f.call(a);
}

template <size_t... Row>
void CVmFunctionGL::AddForwarders(std::index_sequence<Row...>) {
    (AddFunction(kForwarders[Row].name, &CVmFunctionGL::Forward<Row>), ...);
}

bool CVmFunctionGL::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    using G = CVmFunctionGL;
    AddForwarders(std::make_index_sequence<kForwarderCount>());
    AddFunction("glGet", &G::Get);
    AddFunction("glGetError", &G::GetError);
    AddFunction("glGetString", &G::GetString);
    AddFunction("glGenLists", &G::GenLists);
    AddFunction("glGenTextures", &G::GenTextures);
    AddFunction("glGenFramebuffersEXT", &G::GenFramebuffers);
    AddFunction("glGenRenderbuffersEXT", &G::GenRenderbuffers);
    AddFunction("gluProject", &G::Project);
    AddFunction("gluUnProject", &G::UnProject);
    AddFunction("glReadPixels", &G::ReadPixels);
    AddFunction("glGetTexImage", &G::GetTexImage);
    AddFunction("glRotate", &G::Rotate);
    AddFunction("glScale", &G::Scale);
    AddFunction("glTranslate", &G::Translate);
    AddFunction("glMultMatrix", &G::MultMatrix);
    AddFunction("glLoadMatrix", &G::LoadMatrix);
    AddFunction("glVertex", &G::Vertex);
    AddFunction("glNormal", &G::Normal);
    AddFunction("glColor", &G::Color);
    AddFunction("glClearColor", &G::ClearColor);
    AddFunction("glTexCoord", &G::TexCoord);
    AddFunction("glVertexAttrib", &G::VertexAttrib);
    AddFunction("glMultiTexCoordARB", &G::MultiTexCoord);
    AddFunction("glMaterial", &G::Material);
    AddFunction("glLight", &G::Light);
    AddFunction("glLightModel", &G::LightModel);
    AddFunction("glFog", &G::Fog);
    AddFunction("glTexGenfv", &G::TexGen);
    AddFunction("glClipPlane", &G::ClipPlane);
    AddFunction("glViewport", &G::Viewport);
    AddFunction("glDepthMask", &G::DepthMask);
    AddFunction("glActiveTextureARB", &G::ActiveTexture);
    AddFunction("glDrawBuffers", &G::DrawBuffers);
    AddFunction("glBlendEquationEXT", &G::BlendEquation);
    AddFunction("glTexImage1D", &G::TexImage1D);
    AddFunction("glTexImage2D", &G::TexImage2D);
    AddFunction("glTexImage3D", &G::TexImage3D);
    AddFunction("glTexSubImage2D", &G::TexSubImage2D);
    AddFunction("glCallLists", &G::CallLists);
    AddFunction("glVertexPointer", &G::VertexPointer);
    AddFunction("glTexCoordPointer", &G::TexCoordPointer);
    AddFunction("glNormalPointer", &G::NormalPointer);
    AddFunction("glDrawElements", &G::DrawElements);
    AddFunction("glFramebufferTexture2DEXT", &G::FramebufferTexture2D);
    AddFunction("gluBuild2DMipMaps", &G::Nothing);
    AddFunction("glAlphaFunc", &G::Nothing);
    return true;
}

VmValueType CVmFunctionGL::TypeOf(int32_t k) {
    const CVmValue* p = GetParam(k);
    return p ? p->type : VmValueType::Void;
}

void CVmFunctionGL::Nothing(CVmClassBase*, int) {}

// ---------------------------------------------------------------------------
// Functions that answer

void CVmFunctionGL::Get(CVmClassBase*, int) {
    const int32_t pname = Int(1);
    const GLConstant* constant = FindGLConstant(pname);
    if (!constant) return VmErrorMsg(2050, 1);
    GLfloat values[16] = {};
    glGetFloatv(pname, values);
    switch (constant->kind) {
    case GLGetKind::Vector16: return VmReturnVector(values, 16);
    case GLGetKind::Vector4: return VmReturnVector(values, 4);
    case GLGetKind::Vector3: return VmReturnVector(values, 3);
    case GLGetKind::Vector2: return VmReturnVector(values, 2);
    case GLGetKind::Bool: return VmReturnBool(values[0] != 0.0f);
    case GLGetKind::Real: return VmReturnReal(values[0]);
    }
}

void CVmFunctionGL::GetError(CVmClassBase*, int) { VmReturnInteger(static_cast<int32_t>(glGetError())); }

void CVmFunctionGL::GetString(CVmClassBase*, int) {
    const GLubyte* text = glGetString(Int(1));
    VmReturnString(text ? reinterpret_cast<const char*>(text) : "");
}

void CVmFunctionGL::GenLists(CVmClassBase*, int) { VmReturnInteger(static_cast<int32_t>(glGenLists(Int(1)))); }

void CVmFunctionGL::Generate(GenerateNames generate) {
    const int32_t n = Int(1);
    CVmValue result;
    CVmArray* array = new CVmArray(0);
    result.SetArray(array);
    if (n > 0 && n <= kMaxGenerated && generate) {
        std::vector<GLuint> names(static_cast<size_t>(n));
        generate(n, names.data());
        CVmValue name;
        for (const GLuint id : names) {
            name.SetInteger(static_cast<int32_t>(id));
            array->Append(name);
        }
    }
    if (CVmValue* r = VmGetReturnSlot()) r->Move(result);
}

void CVmFunctionGL::GenTextures(CVmClassBase*, int) { Generate(glGenTextures); }

void CVmFunctionGL::GenFramebuffers(CVmClassBase*, int) {
    if (auto f = GLEntry(GLEntryPoints.glGenFramebuffersEXT)) Generate(f);
}

void CVmFunctionGL::GenRenderbuffers(CVmClassBase*, int) {
    if (auto f = GLEntry(GLEntryPoints.glGenRenderbuffersEXT)) Generate(f);
}

void CVmFunctionGL::ProjectWith(ProjectPoint project) {
    float point[3];
    const CVmVector* v = Vector(1);
    for (int32_t i = 0; i < 3; ++i) point[i] = v ? At(v, i) : Float(i + 1);
    GLdouble model[16] = {}, projection[16] = {};
    GLint viewport[4] = {};
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLdouble out[3] = {};
    float result[3] = {};
    if (project(point[0], point[1], point[2], model, projection, viewport, &out[0], &out[1], &out[2]) == GL_TRUE)
        for (int32_t i = 0; i < 3; ++i) result[i] = static_cast<float>(out[i]);
    VmReturnVector(result, 3);
}

void CVmFunctionGL::Project(CVmClassBase*, int) { ProjectWith(gluProject); }
void CVmFunctionGL::UnProject(CVmClassBase*, int) { ProjectWith(gluUnProject); }

bool CVmFunctionGL::PrepareReadBack(int32_t format, int32_t type, int32_t width, int32_t height, GLFormatList list,
                                    ReadBack& out) {
    const int32_t components = GLFormatComponents(format, list);
    if (!components) {
        VmErrorStream() << "Unknown format flag.";
        return false;
    }
    switch (type) {
    case GL_FLOAT:
    case GL_RGBA32F_ARB:
    case GL_RGBA16F_ARB: out.type = GL_FLOAT; break;
    case GL_BYTE:
    case GL_UNSIGNED_BYTE:
    case GL_SHORT:
    case GL_UNSIGNED_SHORT:
    case GL_INT:
    case GL_UNSIGNED_INT:
    case GL_BITMAP: out.type = type; break;
    default: VmErrorStream() << "Unknown type flag."; return false;
    }
    out.bytes = GLImageBytes(width, height, 1, GLPixelBytes(format, out.type));
    if (out.bytes < 0 || out.bytes > kMaxReadBack) {
        GLint largest = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
        VmErrorMsg(2015, 1, static_cast<int32_t>(largest));
        return false;
    }
    return true;
}

void CVmFunctionGL::FinishReadBack(const ReadBack& image, void (*read)(const GLint* args, GLenum type, void* into),
                                   const GLint* args) {
    const GLPixelStoreScope store(GLPixelStoreScope::Pack);
    if (image.type == GL_FLOAT) {
        // Zero where the GL writes nothing.
        std::vector<GLfloat> values(static_cast<size_t>(image.bytes / 4));
        read(args, GL_FLOAT, values.data());
        VmReturnVector(values.data(), static_cast<int32_t>(values.size()));
    } else {
        std::string bytes(static_cast<size_t>(image.bytes), '\0');
        read(args, image.type, &bytes[0]);
        VmReturnString(bytes.data(), static_cast<int32_t>(bytes.size()));
    }
}

void CVmFunctionGL::ReadPixels(CVmClassBase*, int) {
    const GLint args[6] = {Int(1), Int(2), Int(3), Int(4), Int(5), Int(6)};
    ReadBack image;
    if (!PrepareReadBack(args[4], args[5], args[2], args[3], GLFormatList::ReadPixels, image)) return;
    FinishReadBack(image, [](const GLint* a, GLenum type, void* into) {
        glReadPixels(a[0], a[1], a[2], a[3], a[4], type, into);
    }, args);
}

void CVmFunctionGL::GetTexImage(CVmClassBase*, int) {
    const GLint args[6] = {Int(1), Int(2), Int(3), Int(4), Int(5), Int(6)};
    ReadBack image;
    if (!PrepareReadBack(args[2], args[3], args[4], args[5], GLFormatList::GetTexImage, image)) return;
    // The GL writes the whole level: it must fit in what the script asked.
    GLenum face = args[0];
    int64_t faces = 1;
    if (face == GL_TEXTURE_CUBE_MAP) {
        face = GL_TEXTURE_CUBE_MAP_POSITIVE_X;
        faces = 6;
    }
    GLint size[3] = {-1, -1, -1};
    glGetTexLevelParameteriv(face, args[1], GL_TEXTURE_WIDTH, &size[0]);
    glGetTexLevelParameteriv(face, args[1], GL_TEXTURE_HEIGHT, &size[1]);
    glGetTexLevelParameteriv(face, args[1], GL_TEXTURE_DEPTH, &size[2]);
    if (size[0] < 0 || size[1] < 0 || size[2] < 0) return;  // no such level: the GL has its error
    if (int64_t{size[0]} * size[1] * std::max(size[2], 1) * faces > int64_t{args[4]} * args[5]) {
        VmErrorStream() << "The texture level is larger than the requested size.";
        return;
    }
    FinishReadBack(image, [](const GLint* a, GLenum type, void* into) {
        glGetTexImage(a[0], a[1], a[2], type, into);
    }, args);
}

// ---------------------------------------------------------------------------
// Functions that take a Vector or numbers

void CVmFunctionGL::Rotate(CVmClassBase*, int) {
    if (ArgCount() == 1 && TypeOf(1) == VmValueType::Void) return;
    const float angle = Float(1);
    if (const CVmVector* axis = Vector(2))
        glRotatef(angle, At(axis, 0), At(axis, 1), At(axis, 2));
    else
        glRotatef(angle, Float(2), Float(3), Float(4));
}

void CVmFunctionGL::Scale(CVmClassBase*, int) {
    if (ArgCount() != 1) return glScalef(Float(1), Float(2), Float(3));
    switch (TypeOf(1)) {
    case VmValueType::Void: return;
    case VmValueType::Integer:
    case VmValueType::Real: {
        const float s = Float(1);
        return glScalef(s, s, s);
    }
    case VmValueType::Vector: {
        const CVmVector* v = Vector(1);
        return glScalef(At(v, 0), At(v, 1), At(v, 2));
    }
    default:
        if (g_currentVM) g_currentVM->Error(-1);
        return;
    }
}

void CVmFunctionGL::Translate(CVmClassBase*, int) {
    if (ArgCount() == 1 && TypeOf(1) == VmValueType::Void) return;
    if (const CVmVector* v = Vector(1))
        glTranslatef(At(v, 0), At(v, 1), At(v, 2));
    else
        glTranslatef(Float(1), Float(2), Float(3));
}

void CVmFunctionGL::MultMatrix(CVmClassBase*, int) {
    const CVmVector* m = Vector(1);
    if (!m || m->count != 16) return VmErrorMsg(2027, 1, 16);
    glMultMatrixf(m->data);
}

void CVmFunctionGL::LoadMatrix(CVmClassBase*, int) {
    const CVmVector* m = Vector(1);
    if (!m || m->count < 16) return VmErrorMsg(2027, 1, 16);
    glLoadMatrixf(m->data);
}

void CVmFunctionGL::Vertex(CVmClassBase*, int) {
    if (const CVmVector* v = Vector(1)) {
        if (v->count == 3) return glVertex3fv(v->data);
        if (v->count == 4) return glVertex4fv(v->data);
        return VmErrorMsg(2028, 1);
    }
    switch (ArgCount()) {
    case 2: return glVertex2f(Float(1), Float(2));
    case 3: return glVertex3f(Float(1), Float(2), Float(3));
    case 4: return glVertex4f(Float(1), Float(2), Float(3), Float(4));
    default: return;
    }
}

void CVmFunctionGL::Normal(CVmClassBase*, int) {
    if (const CVmVector* v = Vector(1)) {
        if (v->count != 3) return VmErrorMsg(2027, 1, 3);
        return glNormal3fv(v->data);
    }
    glNormal3f(Float(1), Float(2), Float(3));
}

void CVmFunctionGL::Color(CVmClassBase*, int) {
    if (const CVmVector* v = Vector(1)) {
        if (v->count == 3) return glColor3fv(v->data);
        if (v->count == 4) return glColor4fv(v->data);
        return VmErrorMsg(2028, 1);
    }
    if (ArgCount() > 3) return glColor4f(Float(1), Float(2), Float(3), Float(4));
    glColor3f(Float(1), Float(2), Float(3));
}

void CVmFunctionGL::ClearColor(CVmClassBase*, int) {
    // A wrong count still sets the clear colour: opaque black.
    if (const CVmVector* v = Vector(1)) {
        if (v->count == 3) return glClearColor(v->data[0], v->data[1], v->data[2], 1.0f);
        if (v->count == 4) return glClearColor(v->data[0], v->data[1], v->data[2], v->data[3]);
        VmErrorMsg(2028, 1);
        return glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    }
    if (ArgCount() == 3) return glClearColor(Float(1), Float(2), Float(3), 1.0f);
    if (ArgCount() == 4) return glClearColor(Float(1), Float(2), Float(3), Float(4));
    VmErrorStream() << "Three or four color components must be specified";
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
}

void CVmFunctionGL::TexCoord(CVmClassBase*, int) {
    if (const CVmVector* v = Vector(1)) {
        switch (v->count) {
        case 1: return glTexCoord1fv(v->data);
        case 2: return glTexCoord2fv(v->data);
        case 3: return glTexCoord3fv(v->data);
        case 4: return glTexCoord4fv(v->data);
        default: return;
        }
    }
    switch (ArgCount()) {
    case 1: return glTexCoord1f(Float(1));
    case 2: return glTexCoord2f(Float(1), Float(2));
    case 3: return glTexCoord3f(Float(1), Float(2), Float(3));
    default: return glTexCoord4f(Float(1), Float(2), Float(3), Float(4));
    }
}

void CVmFunctionGL::VertexAttrib(CVmClassBase*, int) {
    const GLuint index = static_cast<GLuint>(Int(1));
    if (Int(1) == -1) return;  // an attribute the shader lacks
    const GLEntryPointTable& gl = GLEntryPoints;
    if (const CVmVector* v = Vector(2)) {
        switch (v->count) {
        case 1: if (auto f = GLEntry(gl.glVertexAttrib1fvARB)) f(index, v->data); return;
        case 2: if (auto f = GLEntry(gl.glVertexAttrib2fvARB)) f(index, v->data); return;
        case 3: if (auto f = GLEntry(gl.glVertexAttrib3fvARB)) f(index, v->data); return;
        case 4: if (auto f = GLEntry(gl.glVertexAttrib4fvARB)) f(index, v->data); return;
        default: VmErrorStream() << "Vector size must be in range [1,4]"; return;
        }
    }
    switch (ArgCount()) {
    case 2: if (auto f = GLEntry(gl.glVertexAttrib1fARB)) f(index, Float(2)); return;
    case 3: if (auto f = GLEntry(gl.glVertexAttrib2fARB)) f(index, Float(2), Float(3)); return;
    case 4: if (auto f = GLEntry(gl.glVertexAttrib3fARB)) f(index, Float(2), Float(3), Float(4)); return;
    case 5: if (auto f = GLEntry(gl.glVertexAttrib4fARB)) f(index, Float(2), Float(3), Float(4), Float(5)); return;
    default: return;
    }
}

void CVmFunctionGL::MultiTexCoord(CVmClassBase*, int) {
    const GLenum target = Int(1);
    const GLEntryPointTable& gl = GLEntryPoints;
    if (const CVmVector* v = Vector(2)) {
        switch (v->count) {
        case 1: if (auto f = GLEntry(gl.glMultiTexCoord1fvARB)) f(target, v->data); return;
        case 2: if (auto f = GLEntry(gl.glMultiTexCoord2fvARB)) f(target, v->data); return;
        case 3: if (auto f = GLEntry(gl.glMultiTexCoord3fvARB)) f(target, v->data); return;
        case 4: if (auto f = GLEntry(gl.glMultiTexCoord4fvARB)) f(target, v->data); return;
        default: return;
        }
    }
    switch (ArgCount()) {
    case 2: if (auto f = GLEntry(gl.glMultiTexCoord1fARB)) f(target, Float(2)); return;
    case 3: if (auto f = GLEntry(gl.glMultiTexCoord2fARB)) f(target, Float(2), Float(3)); return;
    case 4: if (auto f = GLEntry(gl.glMultiTexCoord3fARB)) f(target, Float(2), Float(3), Float(4)); return;
    default:
        if (auto f = GLEntry(gl.glMultiTexCoord4fARB)) f(target, Float(2), Float(3), Float(4), Float(5));
        return;
    }
}

void CVmFunctionGL::Material(CVmClassBase*, int) {
    const GLenum face = Int(1), pname = Int(2);
    if (const CVmVector* v = Vector(3)) return glMaterialfv(face, pname, Four(*v).values);
    glMaterialf(face, pname, Float(3));
}

void CVmFunctionGL::Light(CVmClassBase*, int) {
    const GLenum light = Int(1), pname = Int(2);
    if (!ByValueType(
            TypeOf(3), [&] { glLighti(light, pname, Int(3)); }, [&] { glLightf(light, pname, Float(3)); },
            [&] { glLightfv(light, pname, Four(*Vector(3)).values); }))
        VmErrorStream() << "param 3 format unsupported";
}

void CVmFunctionGL::PnameAndValue(void (*integer)(GLenum, GLint), void (*real)(GLenum, GLfloat),
                                  void (*vector)(GLenum, const GLfloat*)) {
    const GLenum pname = Int(1);
    if (!ByValueType(
            TypeOf(2), [&] { integer(pname, Int(2)); }, [&] { real(pname, Float(2)); },
            [&] { vector(pname, Four(*Vector(2)).values); }))
        VmErrorStream() << "Param n. 2 must be a integer or real or vector";
}

void CVmFunctionGL::LightModel(CVmClassBase*, int) { PnameAndValue(glLightModeli, glLightModelf, glLightModelfv); }
void CVmFunctionGL::Fog(CVmClassBase*, int) { PnameAndValue(glFogi, glFogf, glFogfv); }

void CVmFunctionGL::TexGen(CVmClassBase*, int) {
    const GLenum coord = Int(1), pname = Int(2);
    const CVmVector* v = Vector(3);
    if (!v) return VmErrorMsg(2012, 3);
    glTexGenfv(coord, pname, Four(*v).values);
}

void CVmFunctionGL::ClipPlane(CVmClassBase*, int) {
    const GLenum plane = Int(1);
    const CVmVector* v = Vector(2);
    GLdouble equation[4];
    for (int32_t i = 0; i < 4; ++i) equation[i] = v ? At(v, i) : Float(i + 2);
    glClipPlane(plane, equation);
}

void CVmFunctionGL::Viewport(CVmClassBase*, int) {
    if (const CVmVector* v = Vector(1))
        return glViewport(VmTruncate(At(v, 0)), VmTruncate(At(v, 1)), VmTruncate(At(v, 2)), VmTruncate(At(v, 3)));
    glViewport(Int(1), Int(2), Int(3), Int(4));
}

void CVmFunctionGL::DepthMask(CVmClassBase*, int) {
    const CVmValue* p = GetParam(1);
    const bool on = (p && p->type == VmValueType::Bool && p->asBool) || Int(1) > 0;
    glDepthMask(on ? GL_TRUE : GL_FALSE);
}

void CVmFunctionGL::ActiveTexture(CVmClassBase*, int) {
    // Units are counted from 0 or named by their enums.
    int32_t unit = Int(1);
    if (unit <= static_cast<int32_t>(GL_TEXTURE0_ARB) - 1) unit += GL_TEXTURE0_ARB;
    if (auto f = GLEntry(GLEntryPoints.glActiveTextureARB)) f(unit);
}

void CVmFunctionGL::DrawBuffers(CVmClassBase*, int) {
    constexpr int32_t kMaxDrawBuffers = 20;
    const int32_t n = ArgCount();
    if (n > kMaxDrawBuffers) {
        VmErrorStream() << "Too many draw buffers (at most " << kMaxDrawBuffers << ")";
        return;
    }
    GLenum buffers[kMaxDrawBuffers] = {};
    for (int32_t k = 0; k < n; ++k) buffers[k] = Int(k + 1);
    if (auto f = GLEntry(GLEntryPoints.glDrawBuffersARB)) f(n, buffers);
}

void CVmFunctionGL::BlendEquation(CVmClassBase*, int) {
    int32_t mode = 0;
    if (!ReadParams(mode)) return;
    if (auto f = GLEntry(GLEntryPoints.glBlendEquationEXT)) f(mode);
}
