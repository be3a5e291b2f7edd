#include "GLEntryPoints.h"

#include "platform/GlContext.h"

GLEntryPointTable GLEntryPoints;

namespace {

constexpr uint32_t kGL12 = 0x80;

template <class T>
T Fetch(const char* name) {
    return reinterpret_cast<T>(GlEntryPoint(name));
}

}  // namespace

void FetchGLEntryPoints(uint32_t flags) {
#define QEM_GL_ENTRY_FETCH(group, type, name) \
    GLEntryPoints.name = (flags & (group)) == uint32_t(group) ? Fetch<type>(#name) : nullptr;
    QEM_GL_ENTRY_POINTS(QEM_GL_ENTRY_FETCH)
#undef QEM_GL_ENTRY_FETCH
    if (flags & kGL12) GLEntryPoints.glTexImage3D = Fetch<PFNGLTEXIMAGE3DPROC>("glTexImage3D");
}
