// Ranges of angles on the circle, as the limb solver uses them for joint
// ranges and for the sets of swivel angles that keep a joint within its
// limits. Angles are radians, stored normalised into [0, 2 pi]. Every
// tolerance below is part of the behaviour: the interval lists built from
// these ranges depend on them to merge neighbours and drop slivers.
#pragma once

// a <= b with tolerance t: a < b or |a - b| < t.
bool LessOrNear(float a, float b, float t);
// a >= b with tolerance t: a > b or |a - b| < t.
bool GreaterOrNear(float a, float b, float t);
// Equal within t, where 0 and 2 pi are the same angle.
bool AnglesMatch(float a, float b, float t);

// [lo, hi] with lo <= hi is a plain range; lo > hi wraps through 0 and
// covers [lo, 2 pi] and [0, hi].
class AngleRange {
public:
    // The whole circle [0, 2 pi].
    AngleRange();
    AngleRange(float lo, float hi) { Set(lo, hi); }

    // Each end through NormalizeAngle.
    void Set(float lo, float hi);
    void SetLo(float lo);
    void SetHi(float hi);
    float Lo() const { return m_lo; }
    float Hi() const { return m_hi; }

    bool Wraps() const { return m_lo > m_hi; }
    // hi - lo, or hi + (2 pi - lo) when the range wraps (or is empty).
    float Width() const;
    bool IsShorterThan(float x) const;
    // Both ends within t of 0 and 2 pi.
    bool IsFullCircle(float t) const;
    float Midpoint() const;

    // Whether the angle lies in the range, with the ends stretched by t.
    // A range shorter than 0.01 contains nothing; 0 and 2 pi are tested
    // without tolerance.
    bool Contains(float angle, float t) const;
    // The distance round the circle from the angle to the nearer end:
    // negative inside the range, positive outside. 2 pi for a range
    // shorter than 1e-5, -pi for the whole circle.
    float SignedDistance(float angle) const;
    // Whether this range holds the other one (tolerance t).
    bool ContainsRange(const AngleRange& other, float t) const;

private:
    float m_lo;
    float m_hi;
};

// The union of two overlapping ranges (tolerance t), tried as (x, y) and
// then as (y, x); false when they do not overlap.
bool OverlapUnion(const AngleRange& x, const AngleRange& y, float t, AngleRange* out);
// The smallest range holding both, for a range a that contains b.
AngleRange Hull(const AngleRange& a, const AngleRange& b);
// A wrapping range as its two plain pieces [0, hi] and [lo, 2 pi]; a plain
// range as itself. Returns the number of pieces.
int SplitAtZero(const AngleRange& range, AngleRange* pieces);
