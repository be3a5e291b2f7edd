#include "characters/ik/LimbNodeList.h"

#include <algorithm>
#include <cmath>

#include "characters/ik/IkMath.h"

namespace {

constexpr float kNarrowest = 0.01f;
constexpr float kListTolerance = 0.01f;
// The full circle as a list holds it: just short of 2 pi.
constexpr float kFullCircleEnd = 6.2831755f;
// How far past a range's start the overlap tests look, so that a piece
// starting at 0 is not taken for the seam of the circle.
constexpr float kStartOffset = 0.00002f;
constexpr float kStartTolerance = 1e-5f;

void InsertRange(LimbNodeList& out, const AngleRange& range) { out.Insert(range.Lo(), range.Hi(), kListTolerance); }

}  // namespace

void LimbNodeList::Append(float lo, float hi) { m_ranges.emplace_back(lo, hi); }

void LimbNodeList::Remove(std::size_t index) { m_ranges.erase(m_ranges.begin() + index); }

void LimbNodeList::Insert(float lo, float hi, float t) {
    AngleRange candidate(lo, hi);
    for (;;) {
        if (candidate.IsShorterThan(kNarrowest)) return;
        if (candidate.IsFullCircle(kListTolerance)) {
            Clear();
            Append(0, kFullCircleEnd);
            return;
        }
        bool merged = false;
        for (std::size_t i = 0; i < m_ranges.size(); ++i) {
            AngleRange& node = m_ranges[i];
            if (node.ContainsRange(candidate, t)) {
                node = Hull(node, candidate);
                return;
            }
            AngleRange joined;
            if (candidate.ContainsRange(node, t)) {
                joined = Hull(candidate, node);
            } else if (!OverlapUnion(node, candidate, t, &joined)) {
                continue;
            }
            // The grown candidate may now reach other ranges: walk again.
            candidate = joined;
            Remove(i);
            merged = true;
            break;
        }
        if (!merged) {
            m_ranges.push_back(candidate);
            return;
        }
    }
}

void LimbNodeList::JoinAcrossZero(float t) {
    std::size_t start = m_ranges.size(), end = m_ranges.size();
    for (std::size_t i = 0; i < m_ranges.size() && (start == m_ranges.size() || end == m_ranges.size()); ++i) {
        if (start == m_ranges.size() && std::fabs(m_ranges[i].Lo()) < t) start = i;
        if (end == m_ranges.size() && std::fabs(m_ranges[i].Hi() - kIkTwoPi) < t) end = i;
    }
    if (start == m_ranges.size() || end == m_ranges.size() || start == end) return;
    const float lo = m_ranges[end].Lo();
    const float hi = m_ranges[start].Hi();
    Remove(std::max(start, end));
    Remove(std::min(start, end));
    Insert(lo, hi, kListTolerance);
}

const AngleRange* LimbNodeList::Widest() const {
    const AngleRange* widest = nullptr;
    for (const AngleRange& range : m_ranges)
        if (!widest || range.Width() > widest->Width()) widest = &range;
    return widest;
}

float LimbNodeList::MinSignedDistance(float angle) const {
    float least = kIkTwoPi;
    for (const AngleRange& range : m_ranges) least = std::min(least, range.SignedDistance(angle));
    return least;
}

bool LimbNodeList::ContainsAngle(float angle, float t) const {
    for (const AngleRange& range : m_ranges)
        if (range.Contains(angle, t)) return true;
    return false;
}

void LimbNodeList::CopyInto(LimbNodeList& target) const {
    target.Clear();
    for (const AngleRange& range : m_ranges) InsertRange(target, range);
}

void LimbNodeList::CopyInto(LimbNodeList& target, float t) const {
    for (const AngleRange& range : m_ranges) target.Insert(range.Lo(), range.Hi(), t);
    target.JoinAcrossZero(t);
}

namespace {

// Whether q holds the point just past p's start.
bool StartsInside(const AngleRange& p, const AngleRange& q) {
    return q.Contains(p.Lo() + kStartOffset, kStartTolerance);
}

// Calls pair(p, q) for every plain piece p of x and q of y (wrapping ranges
// split at 0).
template <typename Pair>
void ForEachPiecePair(const AngleRange& x, const AngleRange& y, Pair pair) {
    AngleRange xs[2], ys[2];
    const int xCount = SplitAtZero(x, xs);
    const int yCount = SplitAtZero(y, ys);
    for (int i = 0; i < xCount; ++i)
        for (int j = 0; j < yCount; ++j) pair(xs[i], ys[j]);
}

}  // namespace

void IntersectIntervals(const AngleRange& x, const AngleRange& y, LimbNodeList& out) {
    if (y.IsFullCircle(kListTolerance)) return InsertRange(out, x);
    if (x.IsFullCircle(kListTolerance)) return InsertRange(out, y);
    if (x.IsShorterThan(kNarrowest) || y.IsShorterThan(kNarrowest)) return;
    ForEachPiecePair(x, y, [&](const AngleRange& p, const AngleRange& q) {
        const bool pStartsInQ = StartsInside(p, q);
        if (pStartsInQ || StartsInside(q, p))
            out.Insert(pStartsInQ ? p.Lo() : q.Lo(), std::min(p.Hi(), q.Hi()), kListTolerance);
    });
}

void UniteIntervals(LimbNodeList& out, const AngleRange& x, const AngleRange& y) {
    if (x.IsFullCircle(kListTolerance)) return InsertRange(out, x);
    if (y.IsFullCircle(kListTolerance)) return InsertRange(out, y);
    if (x.IsShorterThan(kNarrowest)) {
        if (!y.IsShorterThan(kNarrowest)) InsertRange(out, y);
        return;
    }
    if (y.IsShorterThan(kNarrowest)) return InsertRange(out, x);
    ForEachPiecePair(x, y, [&](const AngleRange& p, const AngleRange& q) {
        if (!StartsInside(p, q) && !StartsInside(q, p)) {
            InsertRange(out, p);
            InsertRange(out, q);
        } else {
            out.Insert(std::min(p.Lo(), q.Lo()), std::max(p.Hi(), q.Hi()), kListTolerance);
        }
    });
}

void IntersectLists(const LimbNodeList& a, const LimbNodeList& b, LimbNodeList& out) {
    out.Clear();
    if (a.IsEmpty() || b.IsEmpty()) return;
    for (const AngleRange& y : b.Ranges())
        for (const AngleRange& x : a.Ranges()) IntersectIntervals(x, y, out);
    out.JoinAcrossZero(kListTolerance);
}

void UniteLists(const LimbNodeList& a, const LimbNodeList& b, LimbNodeList& out) {
    out.Clear();
    if (!a.IsEmpty() && !b.IsEmpty()) {
        for (const AngleRange& y : b.Ranges())
            for (const AngleRange& x : a.Ranges()) UniteIntervals(out, x, y);
    } else if (!a.IsEmpty()) {
        a.CopyInto(out);
    } else if (!b.IsEmpty()) {
        b.CopyInto(out);
    }
}

int ChoosePsi(float* psi, const LimbNodeList& family1, const LimbNodeList& family2) {
    LimbNodeList united, joined;
    UniteLists(family1, family2, united);
    united.CopyInto(joined, 0.05f);
    const AngleRange* widest = joined.Widest();
    if (!widest || widest->IsShorterThan(kNarrowest)) return 0;
    *psi = widest->Midpoint();
    if (family1.ContainsAngle(*psi, kListTolerance)) return 1;
    if (family2.ContainsAngle(*psi, kListTolerance)) return 2;
    return family2.MinSignedDistance(*psi) < family1.MinSignedDistance(*psi) ? 2 : 1;
}
