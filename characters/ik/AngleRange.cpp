#include "characters/ik/AngleRange.h"

#include <algorithm>
#include <cmath>

#include "characters/ik/IkMath.h"

namespace {

// Ranges narrower than this hold no angle.
constexpr float kNarrowest = 0.01f;
// Angles this close to 0 or 2 pi are the seam of the circle.
constexpr float kSeam = 1e-5f;

bool AtSeam(float a) { return std::fabs(a) < kSeam || std::fabs(a - kIkTwoPi) < kSeam; }

// The shorter way round the circle between two normalised angles.
float CircleDistance(float a, float b) {
    const float d = std::fabs(a - b);
    return std::min(d, kIkTwoPi - d);
}

}  // namespace

bool LessOrNear(float a, float b, float t) { return a < b || std::fabs(a - b) < t; }

bool GreaterOrNear(float a, float b, float t) { return a > b || std::fabs(a - b) < t; }

bool AnglesMatch(float a, float b, float t) {
    return (std::fabs(a - kIkTwoPi) < t && std::fabs(b) < t) || (std::fabs(a) < t && std::fabs(b - kIkTwoPi) < t) ||
           std::fabs(a - b) < t;
}

AngleRange::AngleRange() : m_lo(0), m_hi(kIkTwoPi) {}

void AngleRange::Set(float lo, float hi) {
    m_lo = NormalizeAngle(lo);
    m_hi = NormalizeAngle(hi);
}

void AngleRange::SetLo(float lo) { m_lo = NormalizeAngle(lo); }

void AngleRange::SetHi(float hi) { m_hi = NormalizeAngle(hi); }

float AngleRange::Width() const { return m_hi > m_lo ? m_hi - m_lo : m_hi + (kIkTwoPi - m_lo); }

bool AngleRange::IsShorterThan(float x) const {
    if (m_lo <= m_hi) return std::fabs(m_lo - m_hi) < x;
    return std::fabs(m_lo - kIkTwoPi) + std::fabs(m_hi) < x;
}

bool AngleRange::IsFullCircle(float t) const { return std::fabs(m_hi - kIkTwoPi) < t && std::fabs(m_lo) < t; }

float AngleRange::Midpoint() const {
    if (m_lo < m_hi) return (m_lo + m_hi) / 2;
    return NormalizeAngle((m_lo + m_hi) / 2 + kIkPi);
}

bool AngleRange::Contains(float angle, float t) const {
    if (IsShorterThan(kNarrowest)) return false;
    const float a = NormalizeAngle(angle);
    if (AtSeam(a)) {
        if (Wraps() || std::fabs(m_lo) < kSeam) return true;
        return std::fabs(m_hi - kIkTwoPi) < kSeam;
    }
    if (m_hi > m_lo) return LessOrNear(m_lo, a, t) && LessOrNear(a, m_hi, t);
    return LessOrNear(a, m_hi, t) || GreaterOrNear(a, m_lo, t);
}

float AngleRange::SignedDistance(float angle) const {
    const float a = NormalizeAngle(angle);
    if (IsShorterThan(kSeam)) return kIkTwoPi;
    if (IsFullCircle(kSeam)) return -kIkPi;
    if (AtSeam(a)) {
        const float first = Wraps() ? m_lo - kIkTwoPi : m_lo;
        const float second = Wraps() ? -m_hi : kIkTwoPi - m_hi;
        return std::fabs(first) < std::fabs(second) ? first : second;
    }
    const bool inside = Wraps() ? (a >= m_lo || a <= m_hi) : (a >= m_lo && a <= m_hi);
    const float distance = std::min(CircleDistance(a, m_lo), CircleDistance(a, m_hi));
    return inside ? -distance : distance;
}

bool AngleRange::ContainsRange(const AngleRange& other, float t) const {
    if (!Wraps() && !other.Wraps())
        return Contains(other.m_lo, t) && Contains(other.Midpoint(), t) && Contains(other.m_hi, t);
    if (!Wraps())
        return Contains(other.m_lo, t) && std::fabs(m_hi - kIkTwoPi) < t && other.m_hi < t;
    if (!other.Wraps()) return LessOrNear(other.m_hi, m_hi, t) || GreaterOrNear(other.m_lo, m_lo, t);
    return Contains(other.m_lo, t) && Contains(other.m_hi, t);
}

namespace {

bool OverlapUnionInOrder(const AngleRange& x, const AngleRange& y, float t, AngleRange* out) {
    const bool holdsLo = x.Contains(y.Lo(), t);
    const bool holdsHi = x.Contains(y.Hi(), t);
    if (!holdsLo && !holdsHi) return false;
    if (!holdsLo) {
        *out = AngleRange(y.Lo(), x.Hi());
    } else if (!holdsHi) {
        *out = AngleRange(x.Lo(), y.Hi());
    } else {
        // Both ends of y inside x: y lies within x, or runs the other way
        // round and covers the rest of the circle.
        const float opposite = x.Wraps() ? (x.Lo() + x.Hi()) / 2 : x.Midpoint() + kIkPi;
        *out = y.Contains(opposite, t) ? AngleRange(0, kIkTwoPi) : x;
    }
    return true;
}

}  // namespace

bool OverlapUnion(const AngleRange& x, const AngleRange& y, float t, AngleRange* out) {
    return OverlapUnionInOrder(x, y, t, out) || OverlapUnionInOrder(y, x, t, out);
}

AngleRange Hull(const AngleRange& a, const AngleRange& b) {
    if (a.IsFullCircle(kNarrowest)) return AngleRange(0, kIkTwoPi);
    if (!a.Wraps()) {
        // A plain range ending at 2 pi holding a wrapping one that starts
        // inside it: together they run from the earlier start round through
        // 0 to the wrapping range's end.
        if (b.Wraps()) return AngleRange(std::min(a.Lo(), b.Lo()), b.Hi());
        const float lo = a.Lo() < b.Lo() ? a.Lo() : b.Lo();
        return AngleRange(lo, std::max(a.Hi(), b.Hi()));
    }
    if (!b.Wraps()) return a;
    return AngleRange(std::min(a.Lo(), b.Lo()), std::max(a.Hi(), b.Hi()));
}

int SplitAtZero(const AngleRange& range, AngleRange* pieces) {
    if (!range.Wraps()) {
        pieces[0] = range;
        return 1;
    }
    pieces[0] = AngleRange(0, range.Hi());
    pieces[1] = AngleRange(range.Lo(), kIkTwoPi);
    return 2;
}
