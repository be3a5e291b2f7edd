// The GL functions of scripts (the set CVmFunctionGL): GL and GLU calls
// under their own names, on the GL context current on the calling thread.
//
// Parameters are read the GL's way, silently: an "int" is an Integer or a
// truncated Real, a "float" an Integer or a Real, and anything else (a Bool
// included) or a missing parameter reads as 0. Functions that take a Vector
// or numbers look for the Vector first. Values a GL call reads through a
// pointer always come from storage at least as long as the GL reads: a
// Vector shorter than the call needs is copied and padded with zeros or
// refused, a String or byteBuffer shorter than the image is refused. After
// an error message no GL call is made.
//
// The plain forwarders (a name, its parameters and one GL call) are rows of
// one table and share one handler; the others have a handler each.
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <utility>

#include "functions/GLPixels.h"
#include "vm/VmRegister.h"

class CVmFunctionGL : public CVmRegisterFunction {
public:
    bool RegisterMethods(int32_t n) override;

private:
    // The shared readers.
    int32_t Int(int32_t k) { return GetParamInt(k, false); }
    float Float(int32_t k) { return GetParamFloat(k, false); }
    CVmVector* Vector(int32_t k) { return GetParamVector(k, false); }
    // Component i of a Vector, 0 past its end.
    static float At(const CVmVector* v, int32_t i) { return v ? v->GetAt(i) : 0.0f; }
    // The type of parameter k (Void when missing).
    VmValueType TypeOf(int32_t k);

    // The forwarder of that row of the table.
    template <size_t Row>
    void Forward(CVmClassBase* object, int mode);
    template <size_t... Row>
    void AddForwarders(std::index_sequence<Row...>);
    // Registered names that make no GL call.
    void Nothing(CVmClassBase* object, int mode);

    // Functions that answer.
    void Get(CVmClassBase* object, int mode);
    void GetError(CVmClassBase* object, int mode);
    void GetString(CVmClassBase* object, int mode);
    void GenLists(CVmClassBase* object, int mode);
    void GenTextures(CVmClassBase* object, int mode);
    void GenFramebuffers(CVmClassBase* object, int mode);
    void GenRenderbuffers(CVmClassBase* object, int mode);
    void Project(CVmClassBase* object, int mode);
    void UnProject(CVmClassBase* object, int mode);
    void ReadPixels(CVmClassBase* object, int mode);
    void GetTexImage(CVmClassBase* object, int mode);

    // Functions that take a Vector or numbers.
    void Rotate(CVmClassBase* object, int mode);
    void Scale(CVmClassBase* object, int mode);
    void Translate(CVmClassBase* object, int mode);
    void MultMatrix(CVmClassBase* object, int mode);
    void LoadMatrix(CVmClassBase* object, int mode);
    void Vertex(CVmClassBase* object, int mode);
    void Normal(CVmClassBase* object, int mode);
    void Color(CVmClassBase* object, int mode);
    void ClearColor(CVmClassBase* object, int mode);
    void TexCoord(CVmClassBase* object, int mode);
    void VertexAttrib(CVmClassBase* object, int mode);
    void MultiTexCoord(CVmClassBase* object, int mode);
    void Material(CVmClassBase* object, int mode);
    void Light(CVmClassBase* object, int mode);
    void LightModel(CVmClassBase* object, int mode);
    void Fog(CVmClassBase* object, int mode);
    void TexGen(CVmClassBase* object, int mode);
    void ClipPlane(CVmClassBase* object, int mode);
    void Viewport(CVmClassBase* object, int mode);
    void DepthMask(CVmClassBase* object, int mode);
    void ActiveTexture(CVmClassBase* object, int mode);
    void DrawBuffers(CVmClassBase* object, int mode);
    void BlendEquation(CVmClassBase* object, int mode);

    // Images, lists and arrays (CVmFunctionGLBuffers.cpp).
    void TexImage1D(CVmClassBase* object, int mode);
    void TexImage2D(CVmClassBase* object, int mode);
    void TexImage3D(CVmClassBase* object, int mode);
    void TexSubImage2D(CVmClassBase* object, int mode);
    void CallLists(CVmClassBase* object, int mode);
    void VertexPointer(CVmClassBase* object, int mode);
    void TexCoordPointer(CVmClassBase* object, int mode);
    void NormalPointer(CVmClassBase* object, int mode);
    void DrawElements(CVmClassBase* object, int mode);
    void FramebufferTexture2D(CVmClassBase* object, int mode);

    // The shapes some of them share.
    using GenerateNames = void (*)(int32_t n, uint32_t* names);
    void Generate(GenerateNames generate);
    using ProjectPoint = int (*)(double, double, double, const double*, const double*, const int*, double*, double*,
                                 double*);
    void ProjectWith(ProjectPoint project);
    // The result of a read-back: a String of that many bytes, or a Vector
    // of floats (type GL_FLOAT) of a quarter as many.
    struct ReadBack {
        GLenum type = 0;
        int64_t bytes = 0;
    };
    // Checks format, type and size (reporting what is wrong) and sizes the
    // result; false when there is none.
    bool PrepareReadBack(int32_t format, int32_t type, int32_t width, int32_t height, GLFormatList list,
                         ReadBack& out);
    // Makes the read (the GL call with the handler's arguments, the type and
    // the result's storage) with rows packed tight and answers the result.
    void FinishReadBack(const ReadBack& image, void (*read)(const GLint* args, GLenum type, void* into),
                        const GLint* args);
    // glLightModel and glFog: pname, then a value whose type chooses the
    // call.
    void PnameAndValue(void (*integer)(GLenum, GLint), void (*real)(GLenum, GLfloat),
                       void (*vector)(GLenum, const GLfloat*));
    // glTexImage1D (dimensions 1) and glTexImage3D (3): the data is a String
    // or a CVmTexture's stored pixels.
    void TexImage(int32_t dimensions);
    // The pointer functions: the Vector of parameter vectorParam copied
    // into the set's array of that GLClientArrays kind.
    void PointArray(int32_t kind, int32_t size, int32_t type, int32_t stride, int32_t vectorParam);
};
