// The GL constants of scripts: exactly the parameters glGet answers, each
// with the GL's value of its name and the kind of value glGet answers for it.
// The machine adds them as script constants; glGet looks its parameter up
// here, so a script can name every parameter glGet accepts and nothing else.
#pragma once

#include <cstddef>
#include <cstdint>

enum class GLGetKind : uint8_t { Vector16, Vector4, Vector3, Vector2, Bool, Real };

struct GLConstant {
    const char* name;
    int32_t value;
    GLGetKind kind;
};

constexpr size_t kGLConstantCount = 203;
extern const GLConstant kGLConstants[kGLConstantCount];

// The constant of that value, or null.
const GLConstant* FindGLConstant(int32_t value);
