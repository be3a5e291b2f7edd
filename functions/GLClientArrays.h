// The vertex arrays scripts hand the GL. The GL keeps an array's address
// and reads it at each later draw, so the function set never gives it a
// script value's storage: each pointer function copies the values into
// storage of its own, kept until the same function is called again. Before
// a script's draw reads any array, CoverVertices checks every array the GL
// has enabled: it must be one of these copies (not a buffer object, not an
// address some other code left) and hold every vertex the draw reads.
#pragma once

#include <cstdint>
#include <memory>

class GLClientArrays {
public:
    enum Kind { Vertex, Normal, TexCoord, kKinds };

    // Copies count floats and points the GL's array of that kind at the copy
    // (glVertexPointer, glNormalPointer or glTexCoordPointer; size is not
    // used for normals). The previous copy goes after the call.
    void Point(Kind kind, int32_t size, int32_t type, int32_t stride, const float* values, int32_t count);

    // True when every enabled array holds vertices 0 ... last (nothing is
    // read when last < 0); otherwise the script error says why.
    bool CoverVertices(int64_t last) const;

    // The arrays of the process: one GL client state per context, one set
    // of copies for all.
    static GLClientArrays& Shared();

private:
    struct Copy {
        std::unique_ptr<float[]> values;
        int64_t bytes = 0;
    };
    bool Covers(Kind kind, int64_t last) const;
    Copy m_copies[kKinds];
};
