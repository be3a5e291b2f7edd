// The Euler codes of spherical joints: for each code, which elements of a
// rotation matrix give its three angles. One angle is an arcsine of one
// signed element, the other two are atan2 of signed element pairs. Slots
// are the extracted order; the limb solver exchanges slots 0 and 2, after
// which the first family's angles (x0, x1, x2) compose the matrix as:
//   code 0  Ry(x0) Rx(x1) Rz(x2)
//   code 1  Rz(x0) Rx(x1) Ry(x2)
//   code 2  Rz(-x0) Rx(-x1) Ry(x2)
//   code 3  Ry(x0) Rx(-x1) Rz(-x2)
#pragma once

struct EulerSignedElement {
    int element;  // index into the 16 floats of a VRMatrix4
    float sign;
};

struct EulerAtan2Angle {
    int slot;
    EulerSignedElement y, x;
};

struct EulerCodeRow {
    int asinSlot;
    EulerSignedElement asinElement;
    EulerAtan2Angle atan2Angles[2];
    // The joint-limit model of the joint: 0, the sine type, in every row.
    int jointType;
};

constexpr int kEulerCodeCount = 4;
extern const EulerCodeRow EulerCodeTable[kEulerCodeCount];

// The row of an Euler code, or null for a code outside 0-3, after writing
// "bad euler entry %d detected" to the standard error stream.
const EulerCodeRow* FindEulerCode(int code);

// The angles of rotation matrix m (16 floats) for an Euler code, in slot
// order (before any exchange): family 1 takes asin of the signed element
// and atan2 of the signed pairs; family 2 takes pi - asin and atan2 of the
// negated pairs. Every angle is normalised. False for a bad code.
bool EulerExtract(int code, const float* m, int family, float* angles);
