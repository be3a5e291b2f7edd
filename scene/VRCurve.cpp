#include "scene/VRCurve.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "scene/EngineServices.h"

namespace {

// Tangents are the weighted directions divided by this (a tension of 5
// makes them a tenth of the segment).
constexpr float kTangentDivisor = 50.0f;

struct Point {
    float key;
    float p[3];
};

// Direction of a segment scaled to unit length and its length; a segment of
// length 0 has direction 0, so it adds nothing to a tangent.
void Direction(const Point& a, const Point& b, float* unit, float* length) {
    float d[3];
    for (int k = 0; k < 3; ++k) d[k] = b.p[k] - a.p[k];
    *length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (int k = 0; k < 3; ++k) unit[k] = *length > 0.0f ? d[k] / *length : 0.0f;
}

// A key as a whole sample index, kept within a range where the arithmetic
// of the segment stays exact; false for NaN.
bool WholeKey(float key, int64_t* out) {
    if (std::isnan(key)) return false;
    const double limit = 1.0e7;
    *out = static_cast<int64_t>(std::trunc(std::clamp(static_cast<double>(key), -limit, limit)));
    return true;
}

}  // namespace

void HermiteCoefficients(float p0, float m0, float p1, float m1, float* out) {
    const float c2 = 3.0f * p1 - 2.0f * m0 - 3.0f * p0 - m1;
    out[0] = p1 - m0 - p0 - c2;
    out[1] = c2;
    out[2] = m0;
    out[3] = p0;
}

VRCurve::VRCurve(int32_t count, const float* points, float scaleX, float scaleY, float scaleZ, int32_t tension) {
    IncrementLiveObjects();
    if (count >= kMinPoints && points) Build(count, points, static_cast<float>(tension));
    for (float* sample : m_samples) {
        sample[0] *= scaleX;
        sample[1] *= scaleY;
        sample[2] *= scaleZ;
    }
}

VRCurve::~VRCurve() { DecrementLiveObjects(); }

void VRCurve::Build(int32_t count, const float* points, float tension) {
    std::vector<Point> p(static_cast<size_t>(count));
    for (int32_t j = 0; j < count; ++j) {
        const float* q = points + static_cast<size_t>(j) * kPointFloats;
        p[j] = {q[0], {q[1], q[2], q[3]}};
    }
    // Unit directions and lengths of the segments.
    std::vector<float> length(count - 1);
    std::vector<std::array<float, 3>> unit(count - 1);
    for (int32_t j = 0; j + 1 < count; ++j) Direction(p[j], p[j + 1], unit[j].data(), &length[j]);

    // The first point's tangent follows its segment; an interior point's the
    // sum of the directions on both sides, weighted by the length of the
    // segment that starts there; the last point's its segment. With two
    // points both ends take the first point's rule.
    const float w = tension / kTangentDivisor;
    std::vector<std::array<float, 3>> tangent(count);
    for (int k = 0; k < 3; ++k) {
        tangent[0][k] = w * length[0] * unit[0][k];
        for (int32_t j = 1; j + 1 < count; ++j)
            tangent[j][k] = w * length[j] * (unit[j - 1][k] + unit[j][k]);
        tangent[count - 1][k] = w * length[count - 2] * unit[count - 2][k];
    }

    for (int32_t j = 0; j + 1 < count; ++j) {
        int64_t from, to;
        if (!WholeKey(p[j].key, &from) || !WholeKey(p[j + 1].key, &to) || to <= from) continue;
        float c[3][4];
        for (int k = 0; k < 3; ++k) HermiteCoefficients(p[j].p[k], tangent[j][k], p[j + 1].p[k], tangent[j + 1][k], c[k]);
        const double span = static_cast<double>(to - from);
        for (int64_t i = std::max<int64_t>(from, 0); i < std::min<int64_t>(to, kSamples); ++i) {
            const float s = static_cast<float>((i - from) / span);
            for (int k = 0; k < 3; ++k) m_samples[i][k] = ((c[k][0] * s + c[k][1]) * s + c[k][2]) * s + c[k][3];
        }
    }
}
