// The generic per-vertex attributes of a mesh: a list of named attributes
// of 1 to 4 floats and one float array holding, vertex after vertex, the
// values of every attribute of that vertex in list order. The mesh owns its
// set; whatever renumbers or adds vertices carries the set's data along.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene/ShaderPass.h"

class VRVertexAttribSet {
public:
    std::vector<VRVertexAttrib> attributes;
    // Sum of the attributes' sizes.
    int32_t floatsPerVertex = 0;
    std::vector<float> data;

    // Vertex k of the new data holds what vertex source[k] held (zeros
    // where the old data had no such vertex).
    void RemapVertices(const std::vector<int32_t>& source);
    // Data for n vertices: what there was, then zeros.
    void ResizeVertices(size_t n);
};
