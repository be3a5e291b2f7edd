#include "meshes/VRBoundingBox.h"

#include <algorithm>
#include <cmath>

void VRBoundingBox::Init() { *this = VRBoundingBox(); }

void VRBoundingBox::CopyFrom(const VRBoundingBox& other) { *this = other; }

void VRBoundingBox::StartAt(const float* p) {
    std::copy_n(p, 3, max);
    std::copy_n(p, 3, min);
}

void VRBoundingBox::Grow(const float* p) {
    for (int i = 0; i < 3; ++i) {
        if (p[i] > max[i]) max[i] = p[i];
        if (p[i] < min[i]) min[i] = p[i];
    }
}

void VRBoundingBox::Centre(float* out) const {
    for (int i = 0; i < 3; ++i) out[i] = (max[i] + min[i]) / 2.0f;
}

float VRBoundingBox::HalfDiagonal() const {
    float sum = 0.0f;
    for (int i = 0; i < 3; ++i) {
        const float half = (max[i] - min[i]) / 2.0f;
        sum += half * half;
    }
    return std::sqrt(sum);
}
