#include "meshes/VRVertexAttribSet.h"

#include <algorithm>

void VRVertexAttribSet::RemapVertices(const std::vector<int32_t>& source) {
    if (floatsPerVertex <= 0) return;
    const size_t width = static_cast<size_t>(floatsPerVertex);
    const size_t held = data.size() / width;
    std::vector<float> fresh(source.size() * width, 0.0f);
    for (size_t k = 0; k < source.size(); ++k) {
        const int32_t from = source[k];
        if (from >= 0 && static_cast<size_t>(from) < held)
            std::copy_n(data.begin() + static_cast<ptrdiff_t>(static_cast<size_t>(from) * width), width,
                        fresh.begin() + static_cast<ptrdiff_t>(k * width));
    }
    data = std::move(fresh);
}

void VRVertexAttribSet::ResizeVertices(size_t n) {
    if (floatsPerVertex <= 0) return;
    data.resize(n * static_cast<size_t>(floatsPerVertex), 0.0f);
}
