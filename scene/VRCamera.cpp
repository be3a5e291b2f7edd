#include "VRCamera.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstring>

#include "scene/EngineMath.h"
#include "scene/ModelViewScope.h"

void VRCamera::AvoidDegenerateTarget() {
    if (target[0] == position[0] && target[1] == position[1] && target[2] == position[2]) target[2] -= 0.0001f;
}

void VRCamera::SetPosition(float x, float y, float z) {
    position[0] = x;
    position[1] = y;
    position[2] = z;
    AvoidDegenerateTarget();
}

float* VRCamera::GetPosition(float* out) const {
    std::memcpy(out, position, sizeof position);
    return out;
}

void VRCamera::GetDirection(float* out) const {
    out[0] = -matrix[2];
    out[1] = -matrix[6];
    out[2] = -matrix[10];
}

void VRCamera::GetXAxis(float* out) const {
    out[0] = matrix[0];
    out[1] = matrix[4];
    out[2] = matrix[8];
}

void VRCamera::GetYAxis(float* out) const {
    out[0] = matrix[1];
    out[1] = matrix[5];
    out[2] = matrix[9];
}

void VRCamera::GetZAxis(float* out) const {
    out[0] = matrix[2];
    out[1] = matrix[6];
    out[2] = matrix[10];
}

void VRCamera::SetPivotPoint(float x, float y, float z) {
    pivot[0] = static_cast<int32_t>(x);
    pivot[1] = static_cast<int32_t>(y);
    pivot[2] = static_cast<int32_t>(z);
}

void VRCamera::SetPivotPoint(const float* p) { SetPivotPoint(p[0], p[1], p[2]); }

void VRCamera::GetMatrix(float* out) const {
    const float* m = matrix;
    const float* p = position;
    std::memcpy(out, m, 12 * sizeof(float));
    out[12] = -(m[0] * p[0] + m[4] * p[1] + m[8] * p[2]);
    out[13] = -(m[1] * p[0] + m[5] * p[1] + m[9] * p[2]);
    out[14] = -(m[2] * p[0] + m[6] * p[1] + m[10] * p[2]);
    out[15] = m[15];
}

void VRCamera::GetRotationMatrix(float* out) const { std::memcpy(out, matrix, sizeof matrix); }

void VRCamera::GetRotationMatrix3(float* out) const {
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r) out[c * 3 + r] = matrix[c * 4 + r];
}

void VRCamera::SetMatrix(const float* viewMatrix) {
    float given[16], inverse[16];
    std::memcpy(given, viewMatrix, sizeof given);
    std::memcpy(matrix, given, sizeof matrix);
    if (MatrixInverse4(given, inverse) == 0) {
        position[0] = inverse[12];
        position[1] = inverse[13];
        position[2] = inverse[14];
    }
    matrix[12] = matrix[13] = matrix[14] = 0.0f;
    AvoidDegenerateTarget();
}

void VRCamera::SetRotationMatrix(const float* m) {
    std::memcpy(matrix, m, 12 * sizeof(float));
    matrix[12] = matrix[13] = matrix[14] = 0.0f;
    matrix[15] = m[15];
}

void VRCamera::SetRotationMatrix3(const float* m) {
    MatrixIdentity4(matrix);
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r) matrix[c * 4 + r] = m[c * 3 + r];
}

void VRCamera::SetRotation(float angle, float ax, float ay, float az) {
    ModelViewScope stack;
    glLoadIdentity();
    glTranslatef(float(pivot[0]), float(pivot[1]), float(pivot[2]));
    glRotatef(angle, ax, ay, az);
    glTranslatef(-float(pivot[0]), -float(pivot[1]), -float(pivot[2]));
    stack.ReadInto(matrix);
}

void VRCamera::RotateGlobal(float angle, float ax, float ay, float az) {
    ModelViewScope stack;
    glLoadMatrixf(matrix);
    glTranslatef(float(pivot[0]), float(pivot[1]), float(pivot[2]));
    glRotatef(angle, ax, ay, az);
    glTranslatef(-float(pivot[0]), -float(pivot[1]), -float(pivot[2]));
    stack.ReadInto(matrix);
}

void VRCamera::RotateLocal(float angle, float ax, float ay, float az) {
    const float* m = matrix;
    RotateGlobal(angle, m[0] * ax + m[1] * ay + m[2] * az, m[4] * ax + m[5] * ay + m[6] * az,
                 m[8] * ax + m[9] * ay + m[10] * az);
}

void VRCamera::SetTarget(float x, float y, float z) {
    target[0] = x;
    target[1] = y;
    target[2] = z;
    AvoidDegenerateTarget();
    mode = kCameraTarget;
    ModelViewScope stack;
    glLoadIdentity();
    gluLookAt(0, 0, 0, target[0] - position[0], target[1] - position[1], target[2] - position[2], up[0], up[1],
              up[2]);
    stack.ReadInto(matrix);
}

void VRCamera::SetTarget(const float* t) {
    if (t)
        SetTarget(t[0], t[1], t[2]);
    else
        Free();
}

void VRCamera::Free() { mode = kCameraFree; }

void VRCamera::SetDirection(float dx, float dy, float dz) {
    SetTarget(position[0] + dx, position[1] + dy, position[2] + dz);
    Free();
}
