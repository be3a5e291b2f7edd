// The analytic inverse kinematics of one seven-degree-of-freedom limb (arm
// or leg): a spherical root joint (shoulder, hip), a middle joint turning
// about its local y axis (elbow, knee) and a spherical end joint (wrist,
// ankle).
//
// Seen from the root frame the end joint sits at R1 T Ry(theta) S, with R1
// the root rotation, T the fixed transform from the root joint to the middle
// joint and S the one from the middle joint to the end joint. The middle
// angle theta follows in closed form from the root-to-goal distance. What
// is left free is the swivel angle psi, which turns the middle joint round
// a circle about the root-to-goal axis; for any psi the root rotation comes
// as a matrix and as Euler angles. With joint limits on, the swivel angles
// that keep the root joint's three angles within their ranges are worked
// out as interval lists (one per Euler family) and one of them is picked.
//
// Operations answer 1 for success and 0 for failure.
#pragma once

#include <cstdint>

#include "characters/ik/AngleRange.h"
#include "characters/ik/IkMath.h"
#include "characters/ik/LimbNodeList.h"

class Limb {
public:
    // Joint order of the ranges and limits: 0-2 root angles, 3 middle
    // angle, 4-6 end angles.
    static constexpr int kJointCount = 7;

    // Empty lists, every range [0, 2 pi]; Init sets up the rest.
    Limb();

    // T and S as above; the Euler codes (0-3) of the root and end joints;
    // the projection axis a, from which psi is counted, and the position
    // axis p, on whose side psi turns counter-clockwise; the seven minimum
    // and maximum angles (both or neither). Refuses a bad Euler code
    // (reported on standard error) and a T whose translation is shorter
    // than 1e-6.
    int Init(const VRMatrix4& t, const VRMatrix4& s, int rootEulerCode, int endEulerCode, const float* a,
             const float* p, const float* minAngles = nullptr, const float* maxAngles = nullptr);
    // A new upper segment length: T's x translation, L1 and 1/L1 together.
    // Refuses a length shorter than 1e-6.
    int SetUpperLength(float length);

    // A position goal for the end joint, E being the end transform applied
    // before S. A goal beyond reach is pulled in to (L1 + lower length) /
    // 1.01 along its direction. Fails when no middle angle reaches the goal,
    // when the middle angle lies outside its range, or for a goal within
    // 1e-6 of the root joint. With jointLimits set, works out the feasible
    // swivel angles.
    int SetGoalPos(const float* goal, const VRMatrix4& e, int jointLimits);
    // x[0..2] := the root angles (in the order of the root's Euler code),
    // x[3] := the middle angle (shifted by 2 pi into the form its limits
    // use). psi and the middle-joint point are written when asked for.
    // Without limits psi is 0; with them it is picked from the feasible
    // lists, or else the first singular swivel angle whose root angles lie
    // within their ranges. Fails before any goal (reported on standard
    // error) and when no swivel angle is feasible.
    int SolveBestPsi(float* x, float* psi, float* point);

    // The middle-joint position at psi on the swivel circle.
    void ElbowPoint(float psi, float* out) const;
    // The rotation carrying the reference limb (R1 = identity) onto the
    // posed one at psi.
    void RootRotation(float psi, VRMatrix4& out) const;
    // A, B and D with RootRotation(psi) = A cos psi + B sin psi + D.
    void RootRotationTerms(VRMatrix4& a, VRMatrix4& b, VRMatrix4& d) const;
    // The root angles at psi for Euler family 1 or 2, or 0 for the family
    // nearer to the ranges; each mapped into its limits where a turn
    // brings it there.
    int RootAngles(float psi, int family, float* x) const;
    // Whether the root angles at psi (best family, written to x[0..2]) lie
    // in their ranges.
    int CheckRootAngles(float psi, float* x) const;

    // Read access for the skeleton's chains and the tests.
    const float* Goal() const { return m_goal; }
    const float* GoalDirection() const { return m_direction; }
    const float* CircleCentre() const { return m_centre; }
    float CircleRadius() const { return m_radius; }
    float UpperLength() const { return m_upperLength; }
    float MiddleAngle() const { return m_middleAngle; }
    float LimitedMiddleAngle() const { return m_limitedMiddleAngle; }
    int RootEulerCode() const { return m_rootEulerCode; }
    const AngleRange& Range(int joint) const { return m_ranges[joint]; }
    // Family 1 or 2.
    const LimbNodeList& RootList(int family) const { return m_rootLists[family - 1]; }
    int SingularPsiCount() const { return m_singularCount; }
    const float* SingularPsi() const { return m_singularPsi; }

private:
    void SwivelCircle(float lowerLength);
    void ComputePsiIntervals();

    int16_t m_pullGoalIn = 0;
    // The swivel circle: axes u and v, the goal direction n, centre, radius.
    float m_u[3] = {};
    float m_v[3] = {};
    float m_direction[3] = {};
    float m_centre[3] = {};
    float m_radius = 0;
    float m_projectionAxis[3] = {};
    float m_positionAxis[3] = {};
    float m_goal[3] = {};
    // Where the end joint and the middle joint sit when R1 is the identity.
    float m_referenceEnd[3] = {};
    float m_referenceMiddle[3] = {};
    float m_upperLength = 0;
    float m_inverseUpperLength = 0;
    float m_middleAngle = 0;
    VRMatrix4 m_t = VRMatrix4::Identity();
    VRMatrix4 m_s = VRMatrix4::Identity();
    int16_t m_jointLimits = 0;
    int16_t m_goalKind = 0;  // 0 none, 1 position goal
    int16_t m_singularCount = 0;
    int16_t m_rootEulerCode = 0;
    int16_t m_endEulerCode = 0;
    float m_singularPsi[4] = {};
    float m_limitedMiddleAngle = 0;
    // Feasible swivel angles per Euler family: root joint, end joint (the
    // end joint's stay empty: its angles are not solved).
    LimbNodeList m_rootLists[2];
    LimbNodeList m_endLists[2];
    AngleRange m_ranges[kJointCount];
    float m_minAngles[kJointCount] = {};
    float m_maxAngles[kJointCount];
};

// Writes "You forgot to call SetGoal or SetGoalPos in <where>" to the
// standard error stream.
void LimbMissingGoal(const char* where);

// When |goal| is beyond reach, moves it along its direction to reach / 1.01.
void PullGoalIn(float* goal, float reach);

// The middle angle theta with |m0 + R_T Ry(theta) s| = |g| (R_T the rotation
// of T, m0 its translation, s the lower segment): of the two roots the first
// above 0, else the second above 0; a single root when not below 0.
bool MiddleAngle(const float* m0, const float* g, const float* s, const VRMatrix4& t, float* theta);

// The angle itself when it lies in [min, max], else angle - 2 pi when that
// does, else whichever of the two is nearer to the range (the angle only
// when strictly nearer).
float MapIntoLimits(float min, float max, float angle);

// 1 or 2: the family whose three angles lie nearer to the ranges (summed
// positive signed distances), the first unless it is farther.
int ChooseEulerFamily(const float* first, const float* second, const AngleRange* ranges);
