// The GL extension entry points the engine calls through pointers, fetched
// by the scene when it initialises GL, each group only when the extension
// string names its extension. A pointer of an absent group stays null.
//
// The list is the one place that names them: QEM_GL_ENTRY_POINTS(X) expands
// X(group bit of GLExtensionFlags, pointer type, name) for each, in the order
// they are fetched.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>

// clang-format off
#define QEM_GL_ENTRY_POINTS(X) \
    X(0x1, PFNGLCOMPRESSEDTEXIMAGE2DARBPROC, glCompressedTexImage2DARB) \
    X(0x1, PFNGLTEXIMAGE3DPROC, glTexImage3D) \
    X(0x1, PFNGLCOMPRESSEDTEXIMAGE3DARBPROC, glCompressedTexImage3DARB) \
    X(0x4, PFNGLMULTITEXCOORD1FARBPROC, glMultiTexCoord1fARB) \
    X(0x4, PFNGLMULTITEXCOORD1FVARBPROC, glMultiTexCoord1fvARB) \
    X(0x4, PFNGLMULTITEXCOORD2FARBPROC, glMultiTexCoord2fARB) \
    X(0x4, PFNGLMULTITEXCOORD2FVARBPROC, glMultiTexCoord2fvARB) \
    X(0x4, PFNGLMULTITEXCOORD3FARBPROC, glMultiTexCoord3fARB) \
    X(0x4, PFNGLMULTITEXCOORD3FVARBPROC, glMultiTexCoord3fvARB) \
    X(0x4, PFNGLMULTITEXCOORD4FARBPROC, glMultiTexCoord4fARB) \
    X(0x4, PFNGLMULTITEXCOORD4FVARBPROC, glMultiTexCoord4fvARB) \
    X(0x4, PFNGLACTIVETEXTUREARBPROC, glActiveTextureARB) \
    X(0x8, PFNGLGENPROGRAMSARBPROC, glGenProgramsARB) \
    X(0x8, PFNGLDELETEPROGRAMSARBPROC, glDeleteProgramsARB) \
    X(0x8, PFNGLBINDPROGRAMARBPROC, glBindProgramARB) \
    X(0x8, PFNGLPROGRAMSTRINGARBPROC, glProgramStringARB) \
    X(0x8, PFNGLPROGRAMENVPARAMETER4FARBPROC, glProgramEnvParameter4fARB) \
    X(0x8, PFNGLPROGRAMLOCALPARAMETER4FARBPROC, glProgramLocalParameter4fARB) \
    X(0x8, PFNGLPROGRAMLOCALPARAMETER4FVARBPROC, glProgramLocalParameter4fvARB) \
    X(0x2000, PFNGLPROGRAMPARAMETERIEXTPROC, glProgramParameteriEXT) \
    /* The shader-object functions come with the vertex-shader bit. */ \
    X(0x10, PFNGLDELETEOBJECTARBPROC, glDeleteObjectARB) \
    X(0x10, PFNGLGETHANDLEARBPROC, glGetHandleARB) \
    X(0x10, PFNGLDETACHOBJECTARBPROC, glDetachObjectARB) \
    X(0x10, PFNGLCREATESHADEROBJECTARBPROC, glCreateShaderObjectARB) \
    X(0x10, PFNGLSHADERSOURCEARBPROC, glShaderSourceARB) \
    X(0x10, PFNGLCOMPILESHADERARBPROC, glCompileShaderARB) \
    X(0x10, PFNGLCREATEPROGRAMOBJECTARBPROC, glCreateProgramObjectARB) \
    X(0x10, PFNGLATTACHOBJECTARBPROC, glAttachObjectARB) \
    X(0x10, PFNGLLINKPROGRAMARBPROC, glLinkProgramARB) \
    X(0x10, PFNGLUSEPROGRAMOBJECTARBPROC, glUseProgramObjectARB) \
    X(0x10, PFNGLVALIDATEPROGRAMARBPROC, glValidateProgramARB) \
    X(0x10, PFNGLUNIFORM1FARBPROC, glUniform1fARB) \
    X(0x10, PFNGLUNIFORM2FARBPROC, glUniform2fARB) \
    X(0x10, PFNGLUNIFORM3FARBPROC, glUniform3fARB) \
    X(0x10, PFNGLUNIFORM4FARBPROC, glUniform4fARB) \
    X(0x10, PFNGLUNIFORM1IARBPROC, glUniform1iARB) \
    X(0x10, PFNGLUNIFORM2IARBPROC, glUniform2iARB) \
    X(0x10, PFNGLUNIFORM3IARBPROC, glUniform3iARB) \
    X(0x10, PFNGLUNIFORM4IARBPROC, glUniform4iARB) \
    X(0x10, PFNGLUNIFORM1FVARBPROC, glUniform1fvARB) \
    X(0x10, PFNGLUNIFORM2FVARBPROC, glUniform2fvARB) \
    X(0x10, PFNGLUNIFORM3FVARBPROC, glUniform3fvARB) \
    X(0x10, PFNGLUNIFORM4FVARBPROC, glUniform4fvARB) \
    X(0x10, PFNGLUNIFORM1IVARBPROC, glUniform1ivARB) \
    X(0x10, PFNGLUNIFORM2IVARBPROC, glUniform2ivARB) \
    X(0x10, PFNGLUNIFORM3IVARBPROC, glUniform3ivARB) \
    X(0x10, PFNGLUNIFORM4IVARBPROC, glUniform4ivARB) \
    X(0x10, PFNGLUNIFORMMATRIX2FVARBPROC, glUniformMatrix2fvARB) \
    X(0x10, PFNGLUNIFORMMATRIX3FVARBPROC, glUniformMatrix3fvARB) \
    X(0x10, PFNGLUNIFORMMATRIX4FVARBPROC, glUniformMatrix4fvARB) \
    X(0x10, PFNGLGETOBJECTPARAMETERFVARBPROC, glGetObjectParameterfvARB) \
    X(0x10, PFNGLGETOBJECTPARAMETERIVARBPROC, glGetObjectParameterivARB) \
    X(0x10, PFNGLGETINFOLOGARBPROC, glGetInfoLogARB) \
    X(0x10, PFNGLGETATTACHEDOBJECTSARBPROC, glGetAttachedObjectsARB) \
    X(0x10, PFNGLGETUNIFORMLOCATIONARBPROC, glGetUniformLocationARB) \
    X(0x10, PFNGLGETACTIVEUNIFORMARBPROC, glGetActiveUniformARB) \
    X(0x10, PFNGLGETUNIFORMFVARBPROC, glGetUniformfvARB) \
    X(0x10, PFNGLGETUNIFORMIVARBPROC, glGetUniformivARB) \
    X(0x10, PFNGLGETSHADERSOURCEARBPROC, glGetShaderSourceARB) \
    X(0x10, PFNGLVERTEXATTRIB1FVARBPROC, glVertexAttrib1fvARB) \
    X(0x10, PFNGLVERTEXATTRIB2FVARBPROC, glVertexAttrib2fvARB) \
    X(0x10, PFNGLVERTEXATTRIB3FVARBPROC, glVertexAttrib3fvARB) \
    X(0x10, PFNGLVERTEXATTRIB4FVARBPROC, glVertexAttrib4fvARB) \
    X(0x10, PFNGLVERTEXATTRIB1FARBPROC, glVertexAttrib1fARB) \
    X(0x10, PFNGLVERTEXATTRIB2FARBPROC, glVertexAttrib2fARB) \
    X(0x10, PFNGLVERTEXATTRIB3FARBPROC, glVertexAttrib3fARB) \
    X(0x10, PFNGLVERTEXATTRIB4FARBPROC, glVertexAttrib4fARB) \
    X(0x10, PFNGLBINDATTRIBLOCATIONARBPROC, glBindAttribLocationARB) \
    X(0x10, PFNGLGETACTIVEATTRIBARBPROC, glGetActiveAttribARB) \
    X(0x10, PFNGLGETATTRIBLOCATIONARBPROC, glGetAttribLocationARB) \
    X(0x100, PFNGLBLENDEQUATIONEXTPROC, glBlendEquationEXT) \
    X(0x200, PFNGLBINDFRAMEBUFFEREXTPROC, glBindFramebufferEXT) \
    X(0x200, PFNGLBINDRENDERBUFFEREXTPROC, glBindRenderbufferEXT) \
    X(0x200, PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC, glCheckFramebufferStatusEXT) \
    X(0x200, PFNGLDELETEFRAMEBUFFERSEXTPROC, glDeleteFramebuffersEXT) \
    X(0x200, PFNGLDELETERENDERBUFFERSEXTPROC, glDeleteRenderbuffersEXT) \
    X(0x200, PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC, glFramebufferRenderbufferEXT) \
    X(0x200, PFNGLFRAMEBUFFERTEXTURE2DEXTPROC, glFramebufferTexture2DEXT) \
    X(0x200, PFNGLGENERATEMIPMAPEXTPROC, glGenerateMipmapEXT) \
    X(0x200, PFNGLGENFRAMEBUFFERSEXTPROC, glGenFramebuffersEXT) \
    X(0x200, PFNGLGENRENDERBUFFERSEXTPROC, glGenRenderbuffersEXT) \
    X(0x200, PFNGLRENDERBUFFERSTORAGEEXTPROC, glRenderbufferStorageEXT) \
    X(0x200, PFNGLDRAWBUFFERSARBPROC, glDrawBuffersARB) \
    X(0x200 | 0x800, PFNGLRENDERBUFFERSTORAGEMULTISAMPLEEXTPROC, glRenderbufferStorageMultisampleEXT) \
    X(0x200 | 0x800, PFNGLBLITFRAMEBUFFEREXTPROC, glBlitFramebufferEXT)
// clang-format on

// The pointers, members named after the functions (global variables of
// those names would stand in for the GL library's own symbols).
struct GLEntryPointTable {
#define QEM_GL_ENTRY_MEMBER(group, type, name) type name = nullptr;
    QEM_GL_ENTRY_POINTS(QEM_GL_ENTRY_MEMBER)
#undef QEM_GL_ENTRY_MEMBER
};

extern GLEntryPointTable GLEntryPoints;

// Fetches every group whose bits are all in `flags` and clears the others.
// glTexImage3D is also fetched whenever bit 0x80 (GL 1.2) is set.
void FetchGLEntryPoints(uint32_t flags);
