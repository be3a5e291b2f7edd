// Joint-limit models of a spherical joint over the swivel angle psi.
//
// Every element of the root rotation is a sinusoid of psi (R1(psi) =
// A cos psi + B sin psi + D), so each Euler angle is an arcsine or an atan2
// of sinusoids. The models find the swivel angles where an angle meets a
// limit, jumps across 0 or passes the gimbal lock, cut the circle there and
// test one angle between each pair of cuts: the result is, per Euler family,
// the list of psi ranges where the angle lies within its limits.
#pragma once

#include "characters/ik/AngleRange.h"
#include "characters/ik/IkMath.h"
#include "characters/ik/LimbNodeList.h"

// s(psi) = a cos psi + b sin psi + c. Amplitude, phase and roots are worked
// out in double precision.
class Sinusoid {
public:
    Sinusoid() : Sinusoid(0, 0, 0) {}
    Sinusoid(float a, float b, float c);

    // The psi where s(psi) = v: none, one (a tangent: the phase itself, not
    // normalised) or two (normalised, ascending).
    int Roots(float v, float* roots) const;
    // The roots of s(psi) = 0, worked out once.
    int ZeroRoots(float* roots) const;
    // From cos psi and sin psi themselves: taking the sine as
    // sqrt(1 - cos^2) would lose 1e-4 near psi 0 and pi, as much as the
    // crossing test allows.
    float Value(float psi) const;
    // The value at the psi of this cosine and sine.
    float Value(float cosine, float sine) const { return m_a * cosine + m_b * sine + m_c; }

    float A() const { return m_a; }
    float B() const { return m_b; }
    float C() const { return m_c; }

private:
    float m_a, m_b, m_c;
    double m_amplitudeSquared;
    double m_phase;
    mutable bool m_zeroRootsKnown = false;
    mutable int m_zeroCount = 0;
    mutable float m_zeroRoots[2] = {};
};

// The arcsine angle of a joint: family 1 asin of the element, family 2
// pi - asin.
class SimpleJtLimit {
public:
    void Set(int jointType, const Sinusoid& element, float min, float max);
    float Angle(int family, float psi) const;
    // Fills the psi ranges of either family where the angle lies within the
    // limits.
    void PsiIntervals(LimbNodeList& family1, LimbNodeList& family2) const;

private:
    int Crossings(int family, float limit, float sineValue, float* out) const;
    void FamilyIntervals(int family, float lo, float hi, float d, float e, LimbNodeList& out) const;

    int m_jointType = 0;
    Sinusoid m_element;
    AngleRange m_range;
    float m_sinMin = 0, m_sinMax = 0;
};

// An atan2 angle of a joint: family 1 atan2(y, x), family 2 atan2(-y, -x).
class ComplexJtLimit {
public:
    void Set(int jointType, const Sinusoid& x, const Sinusoid& y, const Sinusoid& asinElement, float min, float max);
    float Angle(int family, float psi) const;
    // The psi (at most two, ascending) where the arcsine element comes
    // within 1e-4 of -1 or +1: the gimbal lock, where x and y vanish.
    int SingularPsi(float* values) const;
    // Fills the psi ranges of either family where the angle lies within the
    // limits; the singular psi values cut the circle too.
    void PsiIntervals(int singularCount, const float* singular, LimbNodeList& family1, LimbNodeList& family2) const;

private:
    // The psi where the angle of family 1 or 2 equals the limit.
    void Crossings(float limit, float tangent, float* family1, int* count1, float* family2, int* count2) const;

    int m_jointType = 0;
    Sinusoid m_x, m_y, m_asinElement;
    AngleRange m_range;
    float m_tanMin = 0, m_tanMax = 0;
};

// The three angles of a spherical joint by Euler code.
class SphericalJointLimits {
public:
    // A, B and D as Limb::RootRotationTerms gives them; the limits in slot
    // order. False for a bad Euler code.
    bool Set(int eulerCode, const VRMatrix4& a, const VRMatrix4& b, const VRMatrix4& d, const float* minima,
             const float* maxima);
    // lists[family - 1][slot].
    void PsiIntervals(LimbNodeList (&lists)[2][3]) const;
    int SingularPsi(float* values) const;

private:
    int m_eulerCode = 0;
    int m_jointType = 0;
    int m_asinSlot = 1;
    int m_atan2Slots[2] = {0, 2};
    SimpleJtLimit m_simple;
    ComplexJtLimit m_complex[2];
    int m_singularCount = 0;
    float m_singular[2] = {};
};
