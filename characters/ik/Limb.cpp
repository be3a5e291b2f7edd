#include "characters/ik/Limb.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "characters/ik/EulerCodeTable.h"
#include "characters/ik/JointLimits.h"

namespace {

// Shortest segment and goal distance the solver divides by.
constexpr float kShortest = 1e-6f;
// Below this (relative) an axis is too near another to define a direction.
constexpr float kParallel = 1e-3f;
// Below this (relative) the limb is straight (or fully folded): the plane
// of upper segment and goal is undefined.
constexpr float kStraight = 1e-5f;

float Length(const float* v) { return std::sqrt(IkDot(v, v)); }

// The rotation by angle about the unit axis (Rodrigues).
VRMatrix4 AxisRotation(const float* axis, float angle) {
    const float c = std::cos(angle), s = std::sin(angle), k = 1 - c;
    const float x = axis[0], y = axis[1], z = axis[2];
    VRMatrix4 r = VRMatrix4::Identity();
    r[0] = c + k * x * x;
    r[1] = k * x * y + s * z;
    r[2] = k * x * z - s * y;
    r[4] = k * x * y - s * z;
    r[5] = c + k * y * y;
    r[6] = k * y * z + s * x;
    r[8] = k * x * z + s * y;
    r[9] = k * y * z - s * x;
    r[10] = c + k * z * z;
    return r;
}

// A unit vector perpendicular to the unit vector n: from the coordinate axis
// least aligned with it.
void AnyPerpendicular(const float* n, float* out) {
    int least = 0;
    for (int i = 1; i < 3; ++i)
        if (std::fabs(n[i]) < std::fabs(n[least])) least = i;
    float axis[3] = {0, 0, 0};
    axis[least] = 1;
    IkCross(n, axis, out);
    IkNormalize(out);
}

// out := v - (v . n) n, normalised; returns the length before normalising.
float PerpendicularPart(const float* v, const float* n, float* out) {
    const float along = IkDot(v, n);
    for (int i = 0; i < 3; ++i) out[i] = v[i] - along * n[i];
    return IkNormalize(out);
}

// The shortest rotation carrying the unit vector from onto the unit vector to.
VRMatrix4 ShortestArc(const float* from, const float* to) {
    float axis[3];
    IkCross(from, to, axis);
    const float sine = IkNormalize(axis);
    const float cosine = IkDot(from, to);
    if (sine < kStraight) {
        if (cosine > 0) return VRMatrix4::Identity();
        AnyPerpendicular(from, axis);
        return AxisRotation(axis, kIkPi);
    }
    return AxisRotation(axis, std::atan2(sine, cosine));
}

// The rotation whose columns are d, e and d x e.
VRMatrix4 Frame(const float* d, const float* e) {
    float f[3];
    IkCross(d, e, f);
    VRMatrix4 m = VRMatrix4::Identity();
    for (int r = 0; r < 3; ++r) {
        m[r] = d[r];
        m[4 + r] = e[r];
        m[8 + r] = f[r];
    }
    return m;
}

VRMatrix4 Transposed(const VRMatrix4& m) {
    VRMatrix4 t = m;
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r) t[4 * c + r] = m[4 * r + c];
    return t;
}

}  // namespace

void LimbMissingGoal(const char* where) {
    std::fprintf(stderr, "You forgot to call SetGoal or SetGoalPos in %s\n", where);
}

void PullGoalIn(float* goal, float reach) {
    const float distance = Length(goal);
    if (reach < distance) {
        const float scale = reach / (1.01f * distance);
        for (int i = 0; i < 3; ++i) goal[i] *= scale;
    }
}

bool MiddleAngle(const float* m0, const float* g, const float* s, const VRMatrix4& t, float* theta) {
    const float k = IkDot(g, g) - IkDot(s, s) - IkDot(m0, m0);
    // m0 seen from the middle joint's frame: the transposed rotation of T.
    float tm[3];
    for (int c = 0; c < 3; ++c) tm[c] = t[4 * c] * m0[0] + t[4 * c + 1] * m0[1] + t[4 * c + 2] * m0[2];
    const float a = 2 * (s[2] * tm[2] + s[0] * tm[0]);
    const float b = 2 * (tm[0] * s[2] - tm[2] * s[0]);
    const float d = k - 2 * s[1] * tm[1];
    float roots[2];
    const int count = SolveCosSin(a, b, d, roots);
    if (count == 2) {
        if (roots[0] > 0) {
            *theta = roots[0];
            return true;
        }
        if (roots[1] > 0) {
            *theta = roots[1];
            return true;
        }
        return false;
    }
    if (count == 1 && roots[0] >= 0) {
        *theta = roots[0];
        return true;
    }
    return false;
}

float MapIntoLimits(float min, float max, float angle) {
    if (angle >= min && angle <= max) return angle;
    const float shifted = angle - kIkTwoPi;
    if (shifted >= min && shifted <= max) return shifted;
    const float angleGap = std::min(std::fabs(angle - max), std::fabs(angle - min));
    const float shiftedGap = std::min(std::fabs(shifted - max), std::fabs(shifted - min));
    return angleGap < shiftedGap ? angle : shifted;
}

int ChooseEulerFamily(const float* first, const float* second, const AngleRange* ranges) {
    float firstSum = 0, secondSum = 0;
    for (int i = 0; i < 3; ++i) {
        firstSum += std::max(0.0f, ranges[i].SignedDistance(first[i]));
        secondSum += std::max(0.0f, ranges[i].SignedDistance(second[i]));
    }
    return firstSum > secondSum ? 2 : 1;
}

Limb::Limb() { std::fill(m_maxAngles, m_maxAngles + kJointCount, kIkTwoPi); }

int Limb::Init(const VRMatrix4& t, const VRMatrix4& s, int rootEulerCode, int endEulerCode, const float* a,
               const float* p, const float* minAngles, const float* maxAngles) {
    if (!FindEulerCode(rootEulerCode) || !FindEulerCode(endEulerCode)) return 0;
    float middle[3];
    IkGetTranslation(t, middle);
    const float length = Length(middle);
    if (!(length >= kShortest)) return 0;

    m_limitedMiddleAngle = 0;
    m_rootEulerCode = static_cast<int16_t>(rootEulerCode);
    m_endEulerCode = static_cast<int16_t>(endEulerCode);
    m_jointLimits = 0;
    m_goalKind = 0;
    m_t = t;
    m_s = s;
    std::copy(a, a + 3, m_projectionAxis);
    std::copy(p, p + 3, m_positionAxis);
    std::copy(middle, middle + 3, m_referenceMiddle);
    m_upperLength = length;
    m_inverseUpperLength = 1 / length;
    m_pullGoalIn = 1;
    if (minAngles && maxAngles) {
        for (int i = 0; i < kJointCount; ++i) {
            m_minAngles[i] = minAngles[i];
            m_maxAngles[i] = maxAngles[i];
            m_ranges[i].Set(minAngles[i], maxAngles[i]);
        }
    }
    return 1;
}

int Limb::SetUpperLength(float length) {
    if (!(length >= kShortest)) return 0;
    m_t[12] = length;
    IkGetTranslation(m_t, m_referenceMiddle);
    m_upperLength = Length(m_referenceMiddle);
    m_inverseUpperLength = 1 / m_upperLength;
    return 1;
}

void Limb::SwivelCircle(float lowerLength) {
    const float distance = Length(m_goal);
    for (int i = 0; i < 3; ++i) m_direction[i] = m_goal[i] / distance;
    float alpha;
    if (!LawOfCosines(m_upperLength, distance, lowerLength, &alpha)) {
        // The goal at full stretch (or fully folded) with the cosine just
        // past +-1 by rounding: the circle shrinks to its centre. Whether
        // the goal is reachable at all is the middle angle's to say.
        const float cosine = (m_upperLength * m_upperLength + distance * distance - lowerLength * lowerLength) /
                             (2 * m_upperLength * distance);
        alpha = cosine > 0 ? 0 : kIkPi;
    }
    const float along = m_upperLength * std::cos(alpha);
    for (int i = 0; i < 3; ++i) m_centre[i] = m_direction[i] * along;
    m_radius = m_upperLength * std::sin(alpha);
    if (IkDot(m_positionAxis, m_direction) < 0)
        for (float& x : m_direction) x = -x;
    // psi counts from the projection axis; for a goal along that axis the
    // position axis, or any perpendicular, gives the circle its start.
    if (PerpendicularPart(m_projectionAxis, m_direction, m_u) < kParallel * Length(m_projectionAxis) &&
        PerpendicularPart(m_positionAxis, m_direction, m_u) < kParallel * Length(m_positionAxis))
        AnyPerpendicular(m_direction, m_u);
    IkCross(m_direction, m_u, m_v);
}

int Limb::SetGoalPos(const float* goal, const VRMatrix4& e, int jointLimits) {
    m_goalKind = 1;
    m_jointLimits = static_cast<int16_t>(jointLimits);
    if (m_upperLength <= 0 || Length(goal) < kShortest) return 0;
    VRMatrix4 lower;
    IkCompose(e, m_s, lower);
    float s[3];
    IkGetTranslation(lower, s);
    std::copy(goal, goal + 3, m_goal);
    if (m_pullGoalIn) PullGoalIn(m_goal, m_upperLength + Length(s));

    SwivelCircle(Length(s));
    if (!::MiddleAngle(m_referenceMiddle, m_goal, s, m_t, &m_middleAngle)) return 0;
    VRMatrix4 end;
    IkCompose(lower, IkPrincipalRotation('y', m_middleAngle), end);
    IkCompose(end, m_t, end);
    IkGetTranslation(end, m_referenceEnd);
    m_limitedMiddleAngle = m_middleAngle;

    if (!m_ranges[3].Contains(m_middleAngle, 1e-5f)) return 0;
    if (m_middleAngle < m_minAngles[3])
        m_limitedMiddleAngle += kIkTwoPi;
    else if (m_middleAngle > m_maxAngles[3])
        m_limitedMiddleAngle -= kIkTwoPi;
    if (m_jointLimits) ComputePsiIntervals();
    return 1;
}

void Limb::ElbowPoint(float psi, float* out) const {
    const float c = m_radius * std::cos(psi), s = m_radius * std::sin(psi);
    for (int i = 0; i < 3; ++i) out[i] = m_centre[i] + c * m_u[i] + s * m_v[i];
}

void Limb::RootRotation(float psi, VRMatrix4& out) const {
    // Reference frame: upper segment d1 and the end's direction across it,
    // e1; posed frame: the same from the middle joint and the goal.
    float d1[3], e1[3], d2[3], e2[3], elbow[3];
    for (int i = 0; i < 3; ++i) d1[i] = m_referenceMiddle[i] * m_inverseUpperLength;
    const float across1 = PerpendicularPart(m_referenceEnd, d1, e1);
    ElbowPoint(psi, elbow);
    for (int i = 0; i < 3; ++i) d2[i] = elbow[i] * m_inverseUpperLength;
    const float across2 = PerpendicularPart(m_goal, d2, e2);
    if (across1 > kStraight * Length(m_referenceEnd) && across2 > kStraight * Length(m_goal)) {
        IkComposeRotation(Transposed(Frame(d1, e1)), Frame(d2, e2), out);
        return;
    }
    // A straight (or fully folded) limb has no plane: the shortest arc
    // carrying the reference end onto the goal, then psi about the goal
    // direction, as the swivel turns a bent limb about it.
    float from[3], to[3];
    std::copy(m_referenceEnd, m_referenceEnd + 3, from);
    std::copy(m_goal, m_goal + 3, to);
    if (IkNormalize(from) < kShortest) std::copy(d1, d1 + 3, from);
    IkNormalize(to);
    IkComposeRotation(ShortestArc(from, to), AxisRotation(m_direction, psi), out);
}

void Limb::RootRotationTerms(VRMatrix4& a, VRMatrix4& b, VRMatrix4& d) const {
    VRMatrix4 r0;
    RootRotation(0, r0);
    a = b = d = VRMatrix4{};
    d[15] = 1;
    const float* n = m_direction;
    for (int c = 0; c < 3; ++c) {
        const float* column = &r0[4 * c];
        const float along = IkDot(n, column);
        IkCross(n, column, &b[4 * c]);
        for (int r = 0; r < 3; ++r) {
            d[4 * c + r] = along * n[r];
            a[4 * c + r] = column[r] - d[4 * c + r];
        }
    }
}

int Limb::RootAngles(float psi, int family, float* x) const {
    VRMatrix4 rotation;
    RootRotation(psi, rotation);
    float solutions[2][3];
    for (int f = 0; f < 2; ++f) {
        if (!EulerExtract(m_rootEulerCode, rotation.m, f + 1, solutions[f])) return 0;
        std::swap(solutions[f][0], solutions[f][2]);
    }
    if (family != 1 && family != 2) family = ChooseEulerFamily(solutions[0], solutions[1], m_ranges);
    for (int i = 0; i < 3; ++i) x[i] = MapIntoLimits(m_minAngles[i], m_maxAngles[i], solutions[family - 1][i]);
    return 1;
}

int Limb::CheckRootAngles(float psi, float* x) const {
    if (!RootAngles(psi, 0, x)) return 0;
    for (int i = 0; i < 3; ++i)
        if (!m_ranges[i].Contains(x[i], 1e-5f)) return 0;
    return 1;
}

int Limb::SolveBestPsi(float* x, float* psiOut, float* point) {
    x[3] = m_limitedMiddleAngle;
    if (m_goalKind == 0) {
        LimbMissingGoal("Limb::Solve");
        return 0;
    }
    float psi = 0;
    bool found = false;
    if (!m_jointLimits) {
        found = RootAngles(0, 0, x) != 0;
    } else if (int family = ChoosePsi(&psi, m_rootLists[0], m_rootLists[1])) {
        found = RootAngles(psi, family, x) != 0;
    } else {
        for (int i = 0; i < m_singularCount && !found; ++i) {
            if (CheckRootAngles(m_singularPsi[i], x)) {
                psi = m_singularPsi[i];
                found = true;
            }
        }
    }
    if (!found) return 0;
    if (psiOut) *psiOut = psi;
    if (point) ElbowPoint(psi, point);
    return 1;
}

// The swivel angles for which the root joint's three angles lie within
// their ranges, per Euler family: the three angles' lists intersected.
void Limb::ComputePsiIntervals() {
    VRMatrix4 a, b, d;
    RootRotationTerms(a, b, d);
    m_rootLists[0].Clear();
    m_rootLists[1].Clear();
    // Slot j of the extraction is output angle 2 - j (slots 0 and 2 are
    // exchanged).
    float minima[3], maxima[3];
    for (int j = 0; j < 3; ++j) {
        minima[j] = m_minAngles[2 - j];
        maxima[j] = m_maxAngles[2 - j];
    }
    SphericalJointLimits joint;
    if (!joint.Set(m_rootEulerCode, a, b, d, minima, maxima)) {
        m_singularCount = 0;
        return;
    }
    LimbNodeList lists[2][3], pair;
    joint.PsiIntervals(lists);
    m_singularCount = static_cast<int16_t>(joint.SingularPsi(m_singularPsi));
    for (int f = 0; f < 2; ++f) {
        IntersectLists(lists[f][0], lists[f][1], pair);
        IntersectLists(pair, lists[f][2], m_rootLists[f]);
    }
}
