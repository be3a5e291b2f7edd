// The camera record: projection parameters, position, an optional target,
// an up vector, a pivot and a 4x4 orientation matrix. The scene keeps eight
// of them as its camera slots and makes one the current camera of a frame;
// scripts make free-standing ones. A camera never touches the projection:
// the scene's frame begin reads its field of view and clipping distances,
// and either looks at the target (target mode) or multiplies the matrix and
// translates by minus the position (free mode).
//
// The matrix is in OpenGL column-major order; its rows are the camera axes
// in world coordinates. Every setter keeps its translation at zero except
// SetRotation, RotateGlobal and RotateLocal, which keep what the GL stack
// computes. The position and target setters keep the target from equalling
// the position exactly (AvoidDegenerateTarget).
//
// SetRotation, RotateGlobal, RotateLocal, SetTarget and SetDirection compute
// on the GL model-view stack: they need a current GL context and leave the
// stack and the matrix mode as they found them.
#pragma once

#include <cstdint>

enum VRCameraMode : int32_t {
    kCameraFree = 0,    // the matrix gives the orientation
    kCameraTarget = 1,  // the frame begin looks from the position at the target
};

class VRCamera {
public:
    float fovy = 60.0f;  // vertical, in degrees
    float zNear = 0.1f;
    float zFar = 1000.0f;
    float position[3] = {0, 0, 0};
    int32_t mode = kCameraFree;
    float target[3] = {0, 0, 0};
    float up[3] = {0, 1, 0};
    int32_t id = 0;
    int32_t pivot[3] = {0, 0, 0};  // truncated toward zero, used as floats
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

    // When the target equals the position in x, y and z, target z -= 0.0001.
    void AvoidDegenerateTarget();

    void SetPosition(float x, float y, float z);
    float* GetPosition(float* out) const;
    // Minus the matrix's third row: where the camera looks.
    void GetDirection(float* out) const;
    void GetXAxis(float* out) const;
    void GetYAxis(float* out) const;
    void GetZAxis(float* out) const;
    void SetPivotPoint(float x, float y, float z);
    void SetPivotPoint(const float* p);

    // The view matrix: the orientation followed by the translation by minus
    // the position.
    void GetMatrix(float* out) const;
    void GetRotationMatrix(float* out) const;
    // Elements 0-2, 4-6 and 8-10 of the matrix.
    void GetRotationMatrix3(float* out) const;
    // From a view matrix: its orientation, and the position its inverse
    // gives. A singular matrix has no inverse: the position is kept.
    void SetMatrix(const float* viewMatrix);
    // Elements 0-11 and 15 from m, the translation zero.
    void SetRotationMatrix(const float* m);
    // The 3x3 matrix (column-major) into the orientation; the rest identity.
    void SetRotationMatrix3(const float* m);

    // The rotation by angle degrees about the axis through the pivot.
    void SetRotation(float angle, float ax, float ay, float az);
    // The current matrix followed by that rotation.
    void RotateGlobal(float angle, float ax, float ay, float az);
    // RotateGlobal about the axis given in the camera's own frame.
    void RotateLocal(float angle, float ax, float ay, float az);

    // Target mode, the orientation looking at the target with the up vector.
    void SetTarget(float x, float y, float z);
    // A point, or null for Free.
    void SetTarget(const float* t);
    // Free mode; the orientation stays as it is.
    void Free();
    // Free mode, the orientation looking along d.
    void SetDirection(float dx, float dy, float dz);
};
