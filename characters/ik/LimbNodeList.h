// Lists of angle ranges that keep themselves merged: the sets of swivel
// angles of the limb solver, with their intersection, union and the choice
// of a swivel angle. Lists are short (a handful of ranges), so an insertion
// simply restarts its walk after every merge.
#pragma once

#include <cstddef>
#include <vector>

#include "characters/ik/AngleRange.h"

class LimbNodeList {
public:
    // Frees every range.
    void Clear() { m_ranges.clear(); }
    bool IsEmpty() const { return m_ranges.empty(); }
    std::size_t Size() const { return m_ranges.size(); }
    const std::vector<AngleRange>& Ranges() const { return m_ranges; }

    // Adds [lo, hi] at the tail as it is, without merging.
    void Append(float lo, float hi);
    void Remove(std::size_t index);
    // Adds [lo, hi], merged with the ranges it touches (tolerance t).
    // Ranges narrower than 0.01 are dropped; one that covers the circle
    // (ends within 0.01 of 0 and 2 pi) replaces the list by [0, 2 pi - 1e-5].
    void Insert(float lo, float hi, float t);
    // Makes one wrapping range of a range that starts at 0 and another that
    // ends at 2 pi (ends within t).
    void JoinAcrossZero(float t);

    // The widest range (the first of equal ones), or null when empty.
    const AngleRange* Widest() const;
    // The smallest signed distance of the angle to any range; 2 pi when
    // the list is empty.
    float MinSignedDistance(float angle) const;
    bool ContainsAngle(float angle, float t) const;

    // The target becomes a merged copy of this list (tolerance 0.01).
    void CopyInto(LimbNodeList& target) const;
    // Inserts every range into the target with tolerance t, then joins the
    // target across 0 with that tolerance.
    void CopyInto(LimbNodeList& target, float t) const;

private:
    std::vector<AngleRange> m_ranges;
};

// Adds x intersected with y to out.
void IntersectIntervals(const AngleRange& x, const AngleRange& y, LimbNodeList& out);
// Adds x united with y to out.
void UniteIntervals(LimbNodeList& out, const AngleRange& x, const AngleRange& y);
// out := the angles in both lists, joined across 0.
void IntersectLists(const LimbNodeList& a, const LimbNodeList& b, LimbNodeList& out);
// out := the angles in either list.
void UniteLists(const LimbNodeList& a, const LimbNodeList& b, LimbNodeList& out);

// The swivel angle of the limb: the middle of the widest range of the two
// Euler families' feasible lists taken together. Returns the family whose
// angles to use there (1 or 2), or 0, psi untouched, when there is none.
int ChoosePsi(float* psi, const LimbNodeList& family1, const LimbNodeList& family2);
