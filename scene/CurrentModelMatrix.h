// The world matrix of the node whose new-style mesh is being drawn, for the
// shader passes' automatic uniforms. A node's draw writes it and marks the
// cached inverse stale; a pass that needs the inverse computes it once per
// change (UpdateCurrentModelInverse).
#pragma once

#include <cstdint>

extern float CurrentModelMatrix[16];
extern float CurrentModelMatrixInverse[16];
// Non-zero while the inverse does not match the matrix.
extern uint8_t CurrentModelInverseStale;

// Copies the matrix in and marks the inverse stale.
void SetCurrentModelMatrix(const float* m);
// The inverse, computed when stale (a singular matrix leaves the old one).
const float* UpdateCurrentModelInverse();
