#include "characters/ik/JointLimits.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "characters/ik/EulerCodeTable.h"

namespace {

constexpr float kHalfPi = kIkPi / 2;
constexpr float kThreeHalvesPi = 4.712389f;
// Ranges go into the lists with this merging tolerance.
constexpr float kListTolerance = 0.01f;
// Where a limit counts as a multiple of pi / 2.
constexpr float kPoleTolerance = 1e-5f;
// How far from the limit the angle at a crossing may lie.
constexpr float kCrossingTolerance = 1e-4f;
// Cuts closer than this form no range of their own.
constexpr float kShortestPair = 0.004f;
// The arcsine element's value where the gimbal lock starts.
constexpr float kSingularSine = 0.9999f;

// The cuts of the arcsine angle's family 1 run from 0.002 to 6.281185, those
// of the atan2 angles from 0.001 to 6.282185: just inside the seam, so that
// no range starts or ends on it.
constexpr float kSimpleFirst = 0.002f, kSimpleLast = 6.281185f, kSimpleMargin = 0.002f;
constexpr float kComplexFirst = 0.001f, kComplexLast = 6.282185f;

bool Near(float a, float b, float t) { return std::fabs(a - b) < t; }

// Sorts the values and keeps, in place, those from lo up to hi.
int SortAndClip(float* values, int count, float lo, float hi) {
    std::sort(values, values + count);
    int kept = 0;
    for (int i = 0; i < count; ++i)
        if (values[i] >= lo && values[i] <= hi) values[kept++] = values[i];
    return kept;
}

// tan of a limit, kept finite next to the poles at pi / 2 and 3 pi / 2.
float PoleSafeTangent(float limit) {
    if (Near(limit, kHalfPi, kPoleTolerance)) return std::tan(limit > kHalfPi ? 1.5708963f : 1.5706964f);
    if (Near(limit, kThreeHalvesPi, kPoleTolerance))
        return std::tan(limit > kThreeHalvesPi ? 4.712489f : 4.712289f);
    return std::tan(limit);
}

}  // namespace

Sinusoid::Sinusoid(float a, float b, float c)
    : m_a(a),
      m_b(b),
      m_c(c),
      m_amplitudeSquared(static_cast<double>(a) * a + static_cast<double>(b) * b),
      m_phase(std::atan2(static_cast<double>(b), static_cast<double>(a))) {}

int Sinusoid::Roots(float v, float* roots) const {
    const double w = static_cast<double>(v) - m_c;
    const double d = m_amplitudeSquared - w * w;
    if (d < 0) return 0;
    const double e = std::atan2(std::sqrt(d), w);
    if (std::fabs(e) > 1e-6) {
        roots[0] = NormalizeAngle(static_cast<float>(m_phase + e));
        roots[1] = NormalizeAngle(static_cast<float>(m_phase - e));
        if (roots[1] < roots[0]) std::swap(roots[0], roots[1]);
        return 2;
    }
    roots[0] = static_cast<float>(m_phase);
    return 1;
}

int Sinusoid::ZeroRoots(float* roots) const {
    if (!m_zeroRootsKnown) {
        m_zeroCount = Roots(0, m_zeroRoots);
        m_zeroRootsKnown = true;
    }
    std::copy(m_zeroRoots, m_zeroRoots + m_zeroCount, roots);
    return m_zeroCount;
}

float Sinusoid::Value(float psi) const { return Value(std::cos(psi), std::sin(psi)); }

// --- The arcsine angle -------------------------------------------------------

void SimpleJtLimit::Set(int jointType, const Sinusoid& element, float min, float max) {
    m_jointType = jointType;
    m_element = element;
    m_range.Set(min, max);
    m_sinMin = std::sin(min);
    m_sinMax = std::sin(max);
}

float SimpleJtLimit::Angle(int family, float psi) const {
    const float v = std::clamp(m_element.Value(psi), -1.0f, 1.0f);
    const float angle = std::asin(v);
    return NormalizeAngle(family == 1 ? angle : kIkPi - angle);
}

// Family 1 (asin) reaches [0, pi/2] and [3 pi/2, 2 pi], family 2 (pi - asin)
// [pi/2, 3 pi/2]; a limit out of a family's reach has no crossing in it.
int SimpleJtLimit::Crossings(int family, float limit, float sineValue, float* out) const {
    const float l = NormalizeAngle(limit);
    const bool reached = family == 1 ? (l <= kHalfPi || l >= 3 * kHalfPi) : (l >= kHalfPi && l <= 3 * kHalfPi);
    return reached ? m_element.Roots(sineValue, out) : 0;
}

void SimpleJtLimit::FamilyIntervals(int family, float lo, float hi, float d, float e, LimbNodeList& out) const {
    float cuts[6];
    int count = Crossings(family, d, m_sinMin, cuts + 1);
    count += Crossings(family, e, m_sinMax, cuts + 1 + count);
    count = SortAndClip(cuts + 1, count, lo, hi);
    cuts[0] = lo;
    cuts[count + 1] = hi;
    for (int i = 0; i <= count; ++i) {
        const float angle = Angle(family, (cuts[i] + cuts[i + 1]) / 2);
        if (d <= angle && angle <= e) out.Insert(cuts[i], cuts[i + 1], kListTolerance);
    }
}

void SimpleJtLimit::PsiIntervals(LimbNodeList& family1, LimbNodeList& family2) const {
    family1.Clear();
    family2.Clear();
    // Family 1 jumps between 0 and 2 pi where the element changes sign:
    // its ranges are worked out between those roots.
    float cuts[4];
    int count = m_element.ZeroRoots(cuts + 1);
    count = SortAndClip(cuts + 1, count, kSimpleFirst, kSimpleLast);
    cuts[0] = kSimpleFirst;
    cuts[count + 1] = kSimpleLast;
    const bool wraps = m_range.Wraps();
    for (int i = 0; i <= count; ++i) {
        if (cuts[i + 1] - cuts[i] < kShortestPair) continue;
        const float lo = cuts[i] + kSimpleMargin, hi = cuts[i + 1] - kSimpleMargin;
        if (!wraps) {
            FamilyIntervals(1, lo, hi, m_range.Lo(), m_range.Hi(), family1);
        } else {
            FamilyIntervals(1, lo, hi, m_range.Lo(), kIkTwoPi, family1);
            FamilyIntervals(1, lo, hi, 0, m_range.Hi(), family1);
        }
    }
    if (!wraps) {
        FamilyIntervals(2, kSimpleFirst, kSimpleLast, m_range.Lo(), m_range.Hi(), family2);
    } else {
        FamilyIntervals(2, kSimpleFirst, kSimpleLast, m_range.Lo(), kIkTwoPi, family2);
        FamilyIntervals(2, kSimpleFirst, kSimpleLast, 0, m_range.Hi(), family2);
    }
}

// --- The atan2 angles -------------------------------------------------------

void ComplexJtLimit::Set(int jointType, const Sinusoid& x, const Sinusoid& y, const Sinusoid& asinElement, float min,
                         float max) {
    m_jointType = jointType;
    m_x = x;
    m_y = y;
    m_asinElement = asinElement;
    m_range.Set(min, max);
    m_tanMin = PoleSafeTangent(m_range.Lo());
    m_tanMax = PoleSafeTangent(m_range.Hi());
}

float ComplexJtLimit::Angle(int family, float psi) const {
    const float cosine = std::cos(psi), sine = std::sin(psi);
    const float x = m_x.Value(cosine, sine), y = m_y.Value(cosine, sine);
    return NormalizeAngle(family == 1 ? std::atan2(y, x) : std::atan2(-y, -x));
}

void ComplexJtLimit::Crossings(float limit, float tangent, float* family1, int* count1, float* family2,
                               int* count2) const {
    float roots[2];
    int count;
    if (Near(limit, kHalfPi, kPoleTolerance) || Near(limit, kThreeHalvesPi, kPoleTolerance)) {
        count = m_x.ZeroRoots(roots);
    } else if (Near(limit, 0, kPoleTolerance) || Near(limit, kIkPi, kPoleTolerance) ||
               Near(limit, kIkTwoPi, kPoleTolerance)) {
        count = m_y.ZeroRoots(roots);
    } else {
        // y = tan(limit) x: the angle is the limit, or the limit + pi.
        count = Sinusoid(m_y.A() - tangent * m_x.A(), m_y.B() - tangent * m_x.B(), m_y.C() - tangent * m_x.C())
                    .ZeroRoots(roots);
    }
    for (int i = 0; i < count; ++i) {
        const float first = Angle(1, roots[i]);
        const float second = NormalizeAngle(first + kIkPi);
        if (AnglesMatch(first, limit, kCrossingTolerance)) {
            family1[(*count1)++] = roots[i];
        } else if (AnglesMatch(second, limit, kCrossingTolerance)) {
            family2[(*count2)++] = roots[i];
        } else {
            std::printf("%lf not equal to %lf or %lf\n", static_cast<double>(limit), static_cast<double>(first),
                        static_cast<double>(second));
        }
    }
}

int ComplexJtLimit::SingularPsi(float* values) const {
    int count = 0;
    for (float sine : {-kSingularSine, kSingularSine}) {
        float roots[2];
        const int n = m_asinElement.Roots(sine, roots);
        if (n == 1) {
            values[count++] = roots[0];
        } else if (n == 2) {
            // The middle of the arc on which the element lies beyond the
            // value: the mean of the roots, or the point opposite it when
            // that arc runs through 0.
            float middle = (roots[0] + roots[1]) / 2;
            const float v = m_asinElement.Value(middle);
            if (sine < 0 ? v > sine : v < sine) middle = NormalizeAngle(middle + kIkPi);
            values[count++] = middle;
        }
    }
    if (count == 2 && values[1] < values[0]) std::swap(values[0], values[1]);
    return count;
}

void ComplexJtLimit::PsiIntervals(int singularCount, const float* singular, LimbNodeList& family1,
                                  LimbNodeList& family2) const {
    family1.Clear();
    family2.Clear();
    // The angle jumps between 0 and 2 pi where y passes 0 (family 1 where x
    // is positive, family 2 where it is negative) and turns fast through the
    // gimbal lock: cut there. A tangent root comes unnormalised; cuts must
    // lie on the circle.
    float base[6];
    int baseCount = 0;
    base[baseCount++] = kComplexFirst;
    for (int i = 0; i < std::min(singularCount, 2); ++i) base[baseCount++] = NormalizeAngle(singular[i]);
    const int yCount = m_y.ZeroRoots(base + baseCount);
    for (int i = 0; i < yCount; ++i) base[baseCount + i] = NormalizeAngle(base[baseCount + i]);
    baseCount += yCount;
    base[baseCount++] = kComplexLast;

    struct Part {
        float d, e, tanD, tanE;
    };
    Part parts[2];
    int partCount = 0;
    if (!m_range.Wraps()) {
        parts[partCount++] = {m_range.Lo(), m_range.Hi(), m_tanMin, m_tanMax};
    } else {
        parts[partCount++] = {m_range.Lo(), kIkTwoPi, m_tanMin, 0};
        parts[partCount++] = {0, m_range.Hi(), 0, m_tanMax};
    }
    LimbNodeList* lists[2] = {&family1, &family2};
    for (int p = 0; p < partCount; ++p) {
        float cuts[2][12];
        int counts[2] = {baseCount, baseCount};
        std::copy(base, base + baseCount, cuts[0]);
        std::copy(base, base + baseCount, cuts[1]);
        Crossings(parts[p].d, parts[p].tanD, cuts[0], &counts[0], cuts[1], &counts[1]);
        Crossings(parts[p].e, parts[p].tanE, cuts[0], &counts[0], cuts[1], &counts[1]);
        for (int f = 0; f < 2; ++f) {
            float* c = cuts[f];
            for (int i = baseCount; i < counts[f]; ++i) c[i] = NormalizeAngle(c[i]);
            std::sort(c, c + counts[f]);
            for (int i = 0; i + 1 < counts[f]; ++i) {
                if (c[i + 1] - c[i] < kShortestPair) continue;
                const float angle = Angle(f + 1, (c[i] + c[i + 1]) / 2);
                if (parts[p].d <= angle && angle <= parts[p].e) lists[f]->Insert(c[i], c[i + 1], kListTolerance);
            }
        }
    }
}

// --- The joint --------------------------------------------------------------

bool SphericalJointLimits::Set(int eulerCode, const VRMatrix4& a, const VRMatrix4& b, const VRMatrix4& d,
                               const float* minima, const float* maxima) {
    const EulerCodeRow* row = FindEulerCode(eulerCode);
    if (!row) return false;
    auto element = [&](const EulerSignedElement& e) {
        return Sinusoid(e.sign * a[e.element], e.sign * b[e.element], e.sign * d[e.element]);
    };
    m_eulerCode = eulerCode;
    m_jointType = row->jointType;
    m_asinSlot = row->asinSlot;
    const Sinusoid asinElement = element(row->asinElement);
    m_simple.Set(m_jointType, asinElement, minima[m_asinSlot], maxima[m_asinSlot]);
    for (int i = 0; i < 2; ++i) {
        const EulerAtan2Angle& angle = row->atan2Angles[i];
        m_atan2Slots[i] = angle.slot;
        m_complex[i].Set(m_jointType, element(angle.x), element(angle.y), asinElement, minima[angle.slot],
                         maxima[angle.slot]);
    }
    m_singularCount = m_complex[0].SingularPsi(m_singular);
    return true;
}

void SphericalJointLimits::PsiIntervals(LimbNodeList (&lists)[2][3]) const {
    m_simple.PsiIntervals(lists[0][m_asinSlot], lists[1][m_asinSlot]);
    for (int i = 0; i < 2; ++i)
        m_complex[i].PsiIntervals(m_singularCount, m_singular, lists[0][m_atan2Slots[i]], lists[1][m_atan2Slots[i]]);
}

int SphericalJointLimits::SingularPsi(float* values) const {
    std::copy(m_singular, m_singular + m_singularCount, values);
    return m_singularCount;
}
