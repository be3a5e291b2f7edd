#include "functions/GLClientArrays.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

#include "vm/VirtualMachine.h"

namespace {

// How the GL tells the state of an array of each kind.
struct ArrayState {
    GLenum enabled, pointer, size, type, stride, binding;
};
const ArrayState kStates[GLClientArrays::kKinds] = {
    {GL_VERTEX_ARRAY, GL_VERTEX_ARRAY_POINTER, GL_VERTEX_ARRAY_SIZE, GL_VERTEX_ARRAY_TYPE, GL_VERTEX_ARRAY_STRIDE,
     GL_VERTEX_ARRAY_BUFFER_BINDING},
    {GL_NORMAL_ARRAY, GL_NORMAL_ARRAY_POINTER, 0, GL_NORMAL_ARRAY_TYPE, GL_NORMAL_ARRAY_STRIDE,
     GL_NORMAL_ARRAY_BUFFER_BINDING},
    {GL_TEXTURE_COORD_ARRAY, GL_TEXTURE_COORD_ARRAY_POINTER, GL_TEXTURE_COORD_ARRAY_SIZE, GL_TEXTURE_COORD_ARRAY_TYPE,
     GL_TEXTURE_COORD_ARRAY_STRIDE, GL_TEXTURE_COORD_ARRAY_BUFFER_BINDING},
};

// The arrays a script can enable but never gives values to.
const GLenum kOtherArrays[] = {GL_COLOR_ARRAY, GL_INDEX_ARRAY, GL_EDGE_FLAG_ARRAY, GL_FOG_COORD_ARRAY,
                               GL_SECONDARY_COLOR_ARRAY};

// Bytes of one element of `size` components of the type; -1 for a type
// arrays do not take.
int64_t ElementBytes(int64_t size, GLint type) {
    if (size < 1) return -1;
    switch (type) {
    case GL_BYTE:
    case GL_UNSIGNED_BYTE: return size;
    case GL_SHORT:
    case GL_UNSIGNED_SHORT:
    case GL_HALF_FLOAT: return 2 * size;
    case GL_INT:
    case GL_UNSIGNED_INT:
    case GL_FLOAT:
    case GL_FIXED: return 4 * size;
    case GL_DOUBLE: return 8 * size;
    case GL_INT_2_10_10_10_REV:
    case GL_UNSIGNED_INT_2_10_10_10_REV:
    case GL_UNSIGNED_INT_10F_11F_11F_REV: return 4;
    default: return -1;
    }
}

}  // namespace

void GLClientArrays::Point(Kind kind, int32_t size, int32_t type, int32_t stride, const float* values, int32_t count) {
    Copy next;
    const int32_t n = count > 0 ? count : 0;
    next.values.reset(new float[n > 0 ? n : 1]);
    if (n > 0) std::memcpy(next.values.get(), values, sizeof(float) * static_cast<size_t>(n));
    next.bytes = int64_t{n} * static_cast<int64_t>(sizeof(float));
    switch (kind) {
    case Vertex: glVertexPointer(size, type, stride, next.values.get()); break;
    case Normal: glNormalPointer(type, stride, next.values.get()); break;
    case TexCoord: glTexCoordPointer(size, type, stride, next.values.get()); break;
    case kKinds: return;
    }
    // The GL may have refused the call and kept the old address: the check
    // before each draw then finds it in no copy.
    m_copies[kind] = std::move(next);
}

bool GLClientArrays::Covers(Kind kind, int64_t last) const {
    const ArrayState& state = kStates[kind];
    if (!glIsEnabled(state.enabled)) return true;
    GLint binding = 0, size = 3, type = 0, stride = 0;
    glGetIntegerv(state.binding, &binding);
    if (state.size) glGetIntegerv(state.size, &size);
    glGetIntegerv(state.type, &type);
    glGetIntegerv(state.stride, &stride);
    GLvoid* pointer = nullptr;
    glGetPointerv(state.pointer, &pointer);
    const Copy& copy = m_copies[kind];
    const int64_t element = ElementBytes(size, type);
    if (binding != 0 || !copy.values || element < 0 || stride < 0) return false;
    const uintptr_t base = reinterpret_cast<uintptr_t>(copy.values.get());
    const uintptr_t address = reinterpret_cast<uintptr_t>(pointer);
    if (address < base || address - base > static_cast<uintptr_t>(copy.bytes)) return false;
    const int64_t step = stride ? stride : element;
    const int64_t room = copy.bytes - static_cast<int64_t>(address - base) - element;
    return room >= 0 && last <= room / step;
}

bool GLClientArrays::CoverVertices(int64_t last) const {
    if (last < 0) return true;
    bool covered = true;
    for (const GLenum other : kOtherArrays)
        if (glIsEnabled(other)) covered = false;
    for (int kind = 0; kind < kKinds && covered; ++kind) covered = Covers(static_cast<Kind>(kind), last);
    if (!covered) VmErrorStream() << "An enabled vertex array does not hold the vertices to draw.";
    return covered;
}

GLClientArrays& GLClientArrays::Shared() {
    static GLClientArrays arrays;
    return arrays;
}
