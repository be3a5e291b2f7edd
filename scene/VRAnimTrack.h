// The keyframe track of one animated component: position, rotation and
// scale keys of several kinds, visibility keys, and the component's default
// transform. Tracks are filled from the key blocks of the engine's text
// model and camera files (ReadKeyBlock) and evaluated frame by frame.
//
// Key layouts (4-byte values; "frame" is a float holding the frame number):
//   position, sampled: x, z, -y of the file's x, y, z; key k is frame k
//   position, Bezier:  frame, value, in tangent, out tangent (each stored
//                      as x, z, -y), an int32 flag: 11 values
//   rotation, sampled: axis x, y, z, angle in radians: 4 values, key k is
//                      frame k
//   rotation, Bezier:  frame, Euler x, y, z in radians, in and out tangent,
//                      an int32 flag: 11 values
//   rotation, TCB:     frame, axis x, y, z, angle in radians, tension,
//                      continuity, bias, ease in, ease out: 10 values
//   rotation, Euler:   frame, angles about x, y, z in degrees: 4 values
//   scale, sampled:    four values, then scale x, y, z: 7 values
//   scale, Bezier:     frame, scale x, y, z, eleven more, an int32: 15
//   visibility:        frame, value
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

enum VRAnimKeyKind : int32_t {
    kKeysSampled = 0,
    kKeysBezier = 1,
    kKeysTcb = 2,
    kKeysEuler = 3,
};

class VRAnimTrack {
public:
    int32_t positionKind = kKeysSampled;
    int32_t rotationKind = kKeysSampled;
    int32_t scaleKind = kKeysSampled;
    int32_t positionCount = 0;
    int32_t rotationCount = 0;
    int32_t scaleCount = 0;
    int32_t visibilityCount = 0;
    float defaultTransform[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float defaultPosition[3] = {0, 0, 0};
    float defaultRotation[4] = {0, 0, 0, 0};
    std::vector<float> positionKeys;
    std::vector<float> rotationKeys;
    std::vector<float> scaleKeys;
    std::vector<float> visibilityKeys;

    VRAnimTrack();
    ~VRAnimTrack();
    VRAnimTrack(const VRAnimTrack&) = delete;
    VRAnimTrack& operator=(const VRAnimTrack&) = delete;

    // Values a key of each kind holds.
    static int PositionKeySize(int32_t kind) { return kind == kKeysBezier ? 11 : 3; }
    static int RotationKeySize(int32_t kind);

    // Reads one token and, when it names a key block, the block behind it.
    // True when the token was "}" (the end of the controller); false for any
    // other token, and at the end of the file (callers stop there too). A
    // key count is never taken beyond what the rest of the file can hold,
    // and keys the file breaks off in stay 0.
    bool ReadKeyBlock(FILE* file);

    // 0 with a position; 1 past the last key (out untouched); -1 without
    // keys. Before the first key: the default transform's translation.
    int32_t GetBezierPosition(int32_t frame, float* out) const;
    // The rotation matrix of the Euler keys at the frame (Rx Ry Rz with
    // order 0, Rz Ry Rx otherwise); 0, or -1 without keys. Computes on the
    // GL model-view stack, which it leaves as it was.
    int32_t GetEulerRotation(int32_t frame, float* out, int32_t order) const;
    // Multiplies every position key's stored components by the factors (for
    // Bezier keys the value and both tangents); nothing when one is 0.
    void ScalePositions(float sx, float sy, float sz);

private:
    // The first key i with key i's frame <= frame < key i+1's frame, else
    // the last key.
    static int32_t Segment(const std::vector<float>& keys, int32_t count, int size, int32_t frame);
};

// A key's frame value truncated toward zero, as frames compare with keys.
// Files may hold any float: values beyond the int range are held at its
// ends, and NaN counts as 0.
int32_t TruncatedFrame(float value);
// a + b held within the int range.
int32_t AddFrames(int32_t a, int32_t b);

// Cubic Bezier between two keys over a segment of d frames of 160 ticks:
// control points P0 + T0 L/3 and P1 + T1 L/3 with L = 160 d; u = t / d.
void InterpolateBezier(float* out, int32_t t, int32_t d, const float* p0, const float* p1, const float* t0,
                       const float* t1, int n);
