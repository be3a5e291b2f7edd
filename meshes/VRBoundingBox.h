// The axis-aligned box of a mesh or of a subset: its maximum and minimum
// corners and a radius word. Every subset owns one on the heap once its box
// has been computed; a mesh holds one in place.
#pragma once

#include <cstdint>

struct VRBoundingBox {
    float max[3] = {};
    float min[3] = {};
    // Half the diagonal for a subset's box; for the mesh's box a word that
    // dumps carry (the mesh keeps its own radius).
    float radius = 0.0f;

    // All seven values 0.
    void Init();
    void CopyFrom(const VRBoundingBox& other);

    // Both corners at the point.
    void StartAt(const float* p);
    // Grows the corners over the point.
    void Grow(const float* p);
    // (max + min) / 2.
    void Centre(float* out) const;
    // The distance from the centre to a corner.
    float HalfDiagonal() const;
};
