#include "scene/CurrentModelMatrix.h"

#include <cstring>

#include "scene/EngineMath.h"

float CurrentModelMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
float CurrentModelMatrixInverse[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
uint8_t CurrentModelInverseStale = 0;

void SetCurrentModelMatrix(const float* m) {
    std::memcpy(CurrentModelMatrix, m, sizeof CurrentModelMatrix);
    CurrentModelInverseStale = 1;
}

const float* UpdateCurrentModelInverse() {
    if (CurrentModelInverseStale) {
        float m[16];
        std::memcpy(m, CurrentModelMatrix, sizeof m);
        MatrixInverse4(m, CurrentModelMatrixInverse);
        CurrentModelInverseStale = 0;
    }
    return CurrentModelMatrixInverse;
}
