// A smooth path through a few control points, sampled once into a table of
// 1000 positions: cubic Hermite segments between consecutive points, whose
// tangents follow the neighbouring points. Things move along the curve by
// asking for the position at a sample index.
#pragma once

#include <cstdint>

// The cubic of one axis of a Hermite segment from p0 (tangent m0) to p1
// (tangent m1): out = (c3, c2, c1, c0), the value at s in [0, 1] being
// c3 s^3 + c2 s^2 + c1 s + c0.
void HermiteCoefficients(float p0, float m0, float p1, float m1, float* out);

class VRCurve {
public:
    static constexpr int kSamples = 1000;
    // A control point is four floats: key (the sample index the curve passes
    // the point at), x, y, z.
    static constexpr int kPointFloats = 4;
    static constexpr int kMinPoints = 2;

    // The table of the `count` points (4 x count floats), scaled per axis
    // afterwards. Keys are truncated to whole samples; a segment whose keys
    // do not increase adds nothing, samples outside 0 to 999 are not
    // written, and samples that no segment covers (before the first key,
    // from the last key on) are (0, 0, 0). With fewer than kMinPoints points
    // every sample is (0, 0, 0): callers refuse such curves first.
    VRCurve(int32_t count, const float* points, float scaleX, float scaleY, float scaleZ, int32_t tension);
    ~VRCurve();
    VRCurve(const VRCurve&) = delete;
    VRCurve& operator=(const VRCurve&) = delete;

    // Sample `index` mod 999: indices 0 and 999 give the same sample, and
    // the table's last sample is never answered.
    const float* GetPosition(uint32_t index) const { return m_samples[index % (kSamples - 1)]; }

private:
    void Build(int32_t count, const float* points, float tension);

    float m_samples[kSamples][3] = {};
};
