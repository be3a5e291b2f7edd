#include "scene/VRAnimTrack.h"

#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "scene/EngineMath.h"
#include "scene/EngineServices.h"
#include "scene/ModelViewScope.h"

namespace {

enum KeyArray { kPositionKeys, kRotationKeys, kScaleKeys, kVisibilityKeys };
enum LeadingInt { kNoLeadingInt, kDropLeadingInt, kKeepLeadingInt };

// One key-block keyword: which keys it fills with which kind, and how a key
// is written in the file: an optional leading integer, floats, an optional
// trailing integer (kept as its 4 bytes).
struct KeyBlockFormat {
    const char* keyword;
    KeyArray array;
    int32_t kind;
    LeadingInt leading;
    int floats;
    bool trailingInt;
    // Which of the floats start a vector stored as (x, z, -y): bit k for the
    // vector at value 1 + 3 k of the stored key.
    int swappedVectors;
};

const KeyBlockFormat kKeyBlocks[] = {
    {"PsSam:", kPositionKeys, kKeysSampled, kDropLeadingInt, 3, false, 0},
    {"VsSam:", kVisibilityKeys, 0, kKeepLeadingInt, 1, false, 0},
    {"RtSam:", kRotationKeys, kKeysSampled, kDropLeadingInt, 4, false, 0},
    {"ScSam:", kScaleKeys, kKeysSampled, kDropLeadingInt, 7, false, 0},
    {"PsBez:", kPositionKeys, kKeysBezier, kNoLeadingInt, 10, true, 7},
    {"RtTcb:", kRotationKeys, kKeysTcb, kNoLeadingInt, 10, false, 0},
    {"RtBez:", kRotationKeys, kKeysBezier, kNoLeadingInt, 10, true, 0},
    {"RtIPA:", kRotationKeys, kKeysEuler, kNoLeadingInt, 4, false, 0},
    {"ScBez:", kScaleKeys, kKeysBezier, kNoLeadingInt, 14, true, 0},
};

void SwapToEngineAxes(float* v) {
    const float y = v[1];
    v[1] = v[2];
    v[2] = -y;
}

}  // namespace

VRAnimTrack::VRAnimTrack() { IncrementLiveObjects(); }

VRAnimTrack::~VRAnimTrack() { DecrementLiveObjects(); }

int VRAnimTrack::RotationKeySize(int32_t kind) {
    switch (kind) {
        case kKeysBezier: return 11;
        case kKeysTcb: return 10;
        default: return 4;
    }
}

bool VRAnimTrack::ReadKeyBlock(FILE* file) {
    const char* token = TokenizerNextToken(file, 0);
    if (std::strcmp(token, "}") == 0) return true;
    const KeyBlockFormat* format = nullptr;
    for (const KeyBlockFormat& f : kKeyBlocks)
        if (std::strcmp(token, f.keyword) == 0) format = &f;
    if (!format) return false;

    long count = std::strtol(TokenizerNextToken(file, 0), nullptr, 10);
    // Every key takes at least two characters of the file: a count beyond
    // that is a broken file, not a reason to allocate.
    const long most = FileBytesLeft(file) / 2;
    if (count < 0) count = 0;
    if (count > most) count = most;

    const int size = (format->leading == kKeepLeadingInt ? 1 : 0) + format->floats + (format->trailingInt ? 1 : 0);
    std::vector<float> keys(size_t(count) * size_t(size), 0.0f);
    long read = 0;
    for (; read < count; ++read) {
        float* key = keys.data() + read * size;
        int v = 0;
        int integer = 0;
        bool whole = true;
        if (format->leading != kNoLeadingInt) {
            whole = std::fscanf(file, "%d", &integer) == 1;
            if (format->leading == kKeepLeadingInt) key[v++] = float(integer);
        }
        for (int k = 0; whole && k < format->floats; ++k) whole = std::fscanf(file, "%f", &key[v++]) == 1;
        if (whole && format->trailingInt) {
            whole = std::fscanf(file, "%d", &integer) == 1;
            std::memcpy(&key[v], &integer, sizeof integer);
        }
        if (!whole) break;
        if (format->array == kPositionKeys && format->kind == kKeysSampled) SwapToEngineAxes(key);
        for (int k = 0; k < 3; ++k)
            if (format->swappedVectors & (1 << k)) SwapToEngineAxes(key + 1 + 3 * k);
    }
    // Only the keys read whole count.
    keys.resize(size_t(read) * size_t(size));
    switch (format->array) {
        case kPositionKeys:
            positionKind = format->kind;
            positionCount = int32_t(read);
            positionKeys = std::move(keys);
            break;
        case kRotationKeys:
            rotationKind = format->kind;
            rotationCount = int32_t(read);
            rotationKeys = std::move(keys);
            break;
        case kScaleKeys:
            scaleKind = format->kind;
            scaleCount = int32_t(read);
            scaleKeys = std::move(keys);
            break;
        case kVisibilityKeys:
            visibilityCount = int32_t(read);
            visibilityKeys = std::move(keys);
            break;
    }
    return false;
}

int32_t VRAnimTrack::Segment(const std::vector<float>& keys, int32_t count, int size, int32_t frame) {
    const float f = float(frame);
    for (int32_t i = 0; i + 1 < count; ++i)
        if (keys[size_t(i) * size] <= f && f < keys[size_t(i + 1) * size]) return i;
    return count - 1;
}

int32_t VRAnimTrack::GetBezierPosition(int32_t frame, float* out) const {
    const int size = PositionKeySize(kKeysBezier);
    if (positionCount <= 0 || positionKeys.size() < size_t(positionCount) * size) return -1;
    const float* keys = positionKeys.data();
    if (frame > TruncatedFrame(keys[size_t(positionCount - 1) * size])) return 1;
    if (keys[0] > float(frame)) {
        std::memcpy(out, defaultTransform + 12, 3 * sizeof(float));
        return 0;
    }
    const int32_t i = Segment(positionKeys, positionCount, size, frame);
    const float* a = keys + size_t(i) * size;
    if (float(frame) == a[0]) {
        std::memcpy(out, a + 1, 3 * sizeof(float));
        return 0;
    }
    if (i == positionCount - 1) return 0;
    const float* b = a + size;
    if (positionKind == kKeysBezier)
        InterpolateBezier(out, TruncatedFrame(float(frame) - a[0]), TruncatedFrame(b[0] - a[0]), a + 1, b + 1, a + 7,
                          b + 4, 3);
    return 0;
}

int32_t VRAnimTrack::GetEulerRotation(int32_t frame, float* out, int32_t order) const {
    const int size = RotationKeySize(kKeysEuler);
    if (rotationCount <= 0 || rotationKeys.size() < size_t(rotationCount) * size) return -1;
    const float* keys = rotationKeys.data();
    if (keys[0] > float(frame)) {
        std::memcpy(out, defaultTransform, 16 * sizeof(float));
        out[12] = out[13] = out[14] = 0.0f;
        return 0;
    }
    const int32_t i = Segment(rotationKeys, rotationCount, size, frame);
    const float* a = keys + size_t(i) * size;
    if (float(frame) == a[0] || i == rotationCount - 1) {
        ModelViewScope stack;
        glLoadIdentity();
        if (order == 0) {
            glRotatef(a[1], 1, 0, 0);
            glRotatef(a[2], 0, 1, 0);
            glRotatef(a[3], 0, 0, 1);
        } else {
            glRotatef(a[3], 0, 0, 1);
            glRotatef(a[2], 0, 1, 0);
            glRotatef(a[1], 1, 0, 0);
        }
        stack.ReadInto(out);
        return 0;
    }
    const float* b = a + size;
    // The quaternion product order that matches the matrices above.
    const uint8_t xyz = order == 0 ? 1 : 0;
    float q0[4], q1[4];
    EulerToQuaternion(a[1], a[2], a[3], q0, xyz, 0);
    EulerToQuaternion(b[1], b[2], b[3], q1, xyz, 0);
    if (q0[0] * q1[0] + q0[1] * q1[1] + q0[2] * q1[2] + q0[3] * q1[3] < 0)
        for (float& c : q1) c = -c;
    const float s = (float(frame) - a[0]) / (b[0] - a[0]);
    float q[4];
    for (int k = 0; k < 4; ++k) q[k] = q0[k] + (q1[k] - q0[k]) * s;
    float m[9];
    QuaternionToMatrix3(q, m);
    MatrixIdentity4(out);
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r) out[c * 4 + r] = m[c * 3 + r];
    return 0;
}

void VRAnimTrack::ScalePositions(float sx, float sy, float sz) {
    if (sx == 0.0f || sy == 0.0f || sz == 0.0f) return;
    const float factors[3] = {sx, sy, sz};
    if (positionKind == kKeysBezier) {
        const int size = PositionKeySize(kKeysBezier);
        for (size_t k = 0; k + size <= positionKeys.size(); k += size)
            for (int v = 0; v < 9; ++v) positionKeys[k + 1 + v] *= factors[v % 3];
    } else {
        for (size_t k = 0; k < positionKeys.size(); ++k) positionKeys[k] *= factors[k % 3];
    }
}

int32_t TruncatedFrame(float value) {
    if (!(value == value)) return 0;
    if (value >= 2147483647.0f) return INT32_MAX;
    if (value <= -2147483648.0f) return INT32_MIN;
    return int32_t(value);
}

int32_t AddFrames(int32_t a, int32_t b) {
    const int64_t sum = int64_t(a) + int64_t(b);
    return int32_t(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, sum)));
}

void InterpolateBezier(float* out, int32_t t, int32_t d, const float* p0, const float* p1, const float* t0,
                       const float* t1, int n) {
    if (d <= 0) {
        // A segment shorter than a frame: nothing to interpolate over.
        for (int k = 0; k < n; ++k) out[k] = p0[k];
        return;
    }
    const float length = float(d) * 4800.0f / 30.0f;
    const float u = float(t) / float(d);
    const float v = 1.0f - u;
    for (int k = 0; k < n; ++k) {
        const float c1 = p0[k] + t0[k] * length / 3.0f;
        const float c2 = p1[k] + t1[k] * length / 3.0f;
        out[k] = v * v * v * p0[k] + 3 * u * v * v * c1 + 3 * u * u * v * c2 + u * u * u * p1[k];
    }
}
