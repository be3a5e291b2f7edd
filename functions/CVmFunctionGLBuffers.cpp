// The GL functions that hand the GL images, lists and arrays. Every one
// checks that the data holds all the GL will read before it calls: images
// are uploaded with rows unpacked tight, so the GL reads exactly the pixels
// of the image, and arrays go through the set's own copies.
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "functions/CVmFunctionGL.h"
#include "functions/GLClientArrays.h"
#include "functions/GLEntryPoint.h"
#include "functions/GLPixels.h"
#include "runtime/script/byteBuffer.h"
#include "scene/GLEntryPoints.h"
#include "scene/script/CVmTexture.h"
#include "vm/VirtualMachine.h"

namespace {

constexpr const char* kTooShort = "buffer too short for the specified internal texture format!";
constexpr const char* kShortList = "invalid buffer lenght";
constexpr const char* kUnsupportedType = "Unsupported type of buffer";

// Bytes of the pictures a texture record still holds (0 when it holds none).
int64_t StoredBytes(const VRTexture& t) {
    if (!t.HasPixmap()) return 0;
    return int64_t{t.width} * t.height * t.channels * t.slices;
}

// An index of a script's Vector as an index of the GL: whole, 0 ... largest.
uint32_t Index(float value, uint32_t largest) {
    if (!(value > 0.0f)) return 0;  // NaN too
    if (value >= static_cast<float>(largest)) return largest;
    return static_cast<uint32_t>(value);
}

}  // namespace

// glTexImage1D(target, level, internalformat, width, border, format, type,
// data) and glTexImage3D(target, level, internalformat, width, height,
// depth, border, format, type, data).
void CVmFunctionGL::TexImage(int32_t dimensions) {
    const bool three = dimensions == 3;
    const int32_t target = Int(1), level = Int(2), internalFormat = Int(3), width = Int(4);
    const int32_t height = three ? Int(5) : 1, depth = three ? Int(6) : 1;
    const int32_t border = Int(three ? 7 : 5), format = Int(three ? 8 : 6), type = Int(three ? 9 : 7);
    const int32_t dataParam = three ? 10 : 8;
    if (target != (three ? GL_TEXTURE_3D : GL_TEXTURE_1D)) {
        VmErrorStream() << (three ? "Param 1 must be GL_TEXTURE_3D" : "Param 1 must be GL_TEXTURE_1D");
        return;
    }
    // -1 (nothing read) when a dimension is 0 or less: the GL refuses or
    // reads nothing.
    const int64_t need = GLImageBytes(width, height, depth, GLPixelBytes(format, type));
    const void* pixels = nullptr;
    const CVmString* text = nullptr;
    CVmTexture* texture = nullptr;
    if (ReadParam(dataParam, text, false)) {
        if (need > text->Length()) {
            VmErrorStream() << kTooShort;
            return;
        }
        pixels = text->CStr();
    } else if (ReadParam(dataParam, texture, false)) {
        const VRTexture* record = texture->Record();
        if (!record) {
            VmErrorStream() << kTooShort;
            return;
        }
        const bool same = width == record->width && GLFormatComponents(format, GLFormatList::Any) == record->channels &&
                          (!three || (height == record->height && depth == record->slices));
        if (!same) {
            VmErrorStream() << (three ? "width, height, depth and number component must be the same of texture"
                                      : "width and number component must be the same of texture");
            return;
        }
        if (need > StoredBytes(*record)) {
            VmErrorStream() << kTooShort;
            return;
        }
        pixels = record->pixels;
    } else {
        VmErrorStream() << (three ? "Param 10 must be a String or a 'CVmTexure' "
                                  : "Param 8 must be a String or a 'CVmTexure' ");
        return;
    }
    const GLPixelStoreScope unpack(GLPixelStoreScope::Unpack);
    if (!three) return glTexImage1D(target, level, internalFormat, width, border, format, type, pixels);
    if (auto f = GLEntry(GLEntryPoints.glTexImage3D))
        f(target, level, internalFormat, width, height, depth, border, format, type, pixels);
}

void CVmFunctionGL::TexImage1D(CVmClassBase*, int) { TexImage(1); }
void CVmFunctionGL::TexImage3D(CVmClassBase*, int) { TexImage(3); }

void CVmFunctionGL::TexImage2D(CVmClassBase*, int) {
    const int32_t target = Int(1), level = Int(2), internalFormat = Int(3), width = Int(4), height = Int(5);
    const int32_t border = Int(6), format = Int(7), type = Int(8);
    // Without a String the GL makes the level without pixels.
    const CVmString* text = nullptr;
    if (ReadParam(9, text, false) && GLImageBytes(width, height, 1, GLPixelBytes(format, type)) > text->Length()) {
        VmErrorStream() << kTooShort;
        return;
    }
    const GLPixelStoreScope unpack(GLPixelStoreScope::Unpack);
    glTexImage2D(target, level, internalFormat, width, height, border, format, type, text ? text->CStr() : nullptr);
}

void CVmFunctionGL::TexSubImage2D(CVmClassBase*, int) {
    const int32_t target = Int(1), level = Int(2), x = Int(3), y = Int(4), width = Int(5), height = Int(6);
    const int32_t format = Int(7), type = Int(8);
    const int32_t components = GLFormatComponents(format, GLFormatList::ReadPixels);
    if (!components) {
        VmErrorStream() << "Param 7 format unsupported.";
        return;
    }
    if (type != GL_UNSIGNED_BYTE) {
        VmErrorStream() << "Param 8 must be GL_UNSIGNED_BYTE only";
        return;
    }
    // A negative size matches no data.
    int64_t size = width < 0 || height < 0 ? -1 : 0;
    if (width > 0 && height > 0) size = GLImageBytes(width, height, 1, components);
    const void* pixels = nullptr;
    const CVmString* text = nullptr;
    byteBuffer* buffer = nullptr;
    if (ReadParam(9, text, false)) {
        if (text->Length() != size) {
            VmErrorStream() << "ITA: le dimensioni indicate non hanno corrispondenza con la lunghezza della scringa "
                               "contenete i dati.";
            return;
        }
        pixels = text->CStr();
    } else if (ReadParam(9, buffer, false)) {
        // From the buffer's offset on, which stays where it is.
        const ByteBufferContent& content = buffer->Content();
        if (size < 0 || content.ViewSize() < size) {
            VmErrorStream() << "ITA: le dimensioni indicate non hanno corrispondenza con la lunghezza del buffer "
                               "contenete i dati.";
            return;
        }
        pixels = content.View();
    } else {
        VmErrorStream() << "parameter 9 must be a String or a byteBuffer!";
        return;
    }
    const GLPixelStoreScope unpack(GLPixelStoreScope::Unpack);
    glTexSubImage2D(target, level, x, y, width, height, format, type, pixels);
}

void CVmFunctionGL::CallLists(CVmClassBase*, int) {
    const int32_t n = Int(1), type = Int(2);
    const VmValueType given = TypeOf(3);
    if (given != VmValueType::String && given != VmValueType::Vector) {
        VmErrorStream() << "parameter 3 must be a String or a Vector!";
        return;
    }
    const CVmValue* lists = GetParam(3);
    switch (type) {
    case GL_BYTE:
    case GL_UNSIGNED_BYTE:
        if (given != VmValueType::String) {
            VmErrorStream() << "parameter 3 must be a String.";
            return;
        }
        if (n > lists->asString->Length()) {
            VmErrorStream() << kShortList;
            return;
        }
        return glCallLists(n, type, lists->asString->CStr());
    case GL_FLOAT:
        if (given != VmValueType::Vector) {
            VmErrorStream() << "parameter 3 must be a Vector.";
            return;
        }
        if (n > lists->asVector->count) {
            VmErrorStream() << kShortList;
            return;
        }
        return glCallLists(n, GL_FLOAT, lists->asVector->data);
    default: VmErrorStream() << kUnsupportedType; return;
    }
}

void CVmFunctionGL::PointArray(int32_t kind, int32_t size, int32_t type, int32_t stride, int32_t vectorParam) {
    const CVmVector* v = Vector(vectorParam);
    if (!v) {
        VmErrorStream() << "parameter " << vectorParam << " must be a Vector!";
        return;
    }
    GLClientArrays::Shared().Point(static_cast<GLClientArrays::Kind>(kind), size, type, stride, v->data, v->count);
}

void CVmFunctionGL::VertexPointer(CVmClassBase*, int) {
    PointArray(GLClientArrays::Vertex, Int(1), Int(2), Int(3), 4);
}

void CVmFunctionGL::TexCoordPointer(CVmClassBase*, int) {
    PointArray(GLClientArrays::TexCoord, Int(1), Int(2), Int(3), 4);
}

void CVmFunctionGL::NormalPointer(CVmClassBase*, int) { PointArray(GLClientArrays::Normal, 3, Int(1), Int(2), 3); }

void CVmFunctionGL::DrawElements(CVmClassBase*, int) {
    const int32_t mode = Int(1), count = Int(2), type = Int(3);
    const CVmVector* v = Vector(4);
    if (!v) {
        VmErrorStream() << "parameter 4 must be a Vector!";
        return;
    }
    uint32_t largest = 0;
    size_t bytes = 0;
    switch (type) {
    case GL_UNSIGNED_BYTE: largest = 0xFF, bytes = 1; break;
    case GL_UNSIGNED_SHORT: largest = 0xFFFF, bytes = 2; break;
    case GL_UNSIGNED_INT: largest = 0xFFFFFFFF, bytes = 4; break;
    default: VmErrorStream() << kUnsupportedType; return;
    }
    if (count > v->count) {
        VmErrorStream() << kShortList;
        return;
    }
    // The GL reads the indices at once: they are converted to its type here.
    const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    std::vector<uint8_t> indices(std::max<size_t>(n * bytes, 1));
    int64_t last = -1;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t index = Index(v->data[i], largest);
        last = std::max<int64_t>(last, index);
        const uint8_t narrow = static_cast<uint8_t>(index);
        const uint16_t half = static_cast<uint16_t>(index);
        std::memcpy(&indices[i * bytes], bytes == 1 ? static_cast<const void*>(&narrow)
                                         : bytes == 2 ? static_cast<const void*>(&half)
                                                      : static_cast<const void*>(&index),
                    bytes);
    }
    GLint elementBuffer = 0;
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elementBuffer);
    if (elementBuffer != 0) {
        VmErrorStream() << "An element buffer is bound: the indices would be read from it.";
        return;
    }
    if (GLClientArrays::Shared().CoverVertices(last)) glDrawElements(mode, count, type, indices.data());
}

void CVmFunctionGL::FramebufferTexture2D(CVmClassBase*, int) {
    const int32_t target = Int(1), attachment = Int(2), textureTarget = Int(3), texture = Int(4), level = Int(5);
    if (target != GL_FRAMEBUFFER_EXT) {
        VmErrorStream() << "Param 1 must be GL_FRAMEBUFFER_EXT";
        return;
    }
    if (auto f = GLEntry(GLEntryPoints.glFramebufferTexture2DEXT)) f(target, attachment, textureTarget, texture, level);
}
