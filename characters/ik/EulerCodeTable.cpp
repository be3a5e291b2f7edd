#include "characters/ik/EulerCodeTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "characters/ik/IkMath.h"

const EulerCodeRow EulerCodeTable[kEulerCodeCount] = {
    // asin slot, element      atan2 slot, y, x                atan2 slot, y, x             type
    {1, {9, -1}, {{0, {1, 1}, {5, 1}}, {2, {8, 1}, {10, 1}}}, 0},
    {1, {6, 1}, {{0, {2, -1}, {10, 1}}, {2, {4, -1}, {5, 1}}}, 0},
    {1, {6, -1}, {{0, {2, -1}, {10, 1}}, {2, {4, 1}, {5, 1}}}, 0},
    {1, {9, 1}, {{0, {1, -1}, {5, 1}}, {2, {8, 1}, {10, 1}}}, 0},
};

const EulerCodeRow* FindEulerCode(int code) {
    if (code < 0 || code >= kEulerCodeCount) {
        std::fprintf(stderr, "bad euler entry %d detected\n", code);
        return nullptr;
    }
    return &EulerCodeTable[code];
}

bool EulerExtract(int code, const float* m, int family, float* angles) {
    const EulerCodeRow* row = FindEulerCode(code);
    if (!row) return false;
    // A rotation's element may pass +-1 by rounding: the arcsine takes it at
    // its bound rather than giving NaN.
    const float sine = std::clamp(row->asinElement.sign * m[row->asinElement.element], -1.0f, 1.0f);
    const float asinAngle = std::asin(sine);
    angles[row->asinSlot] = NormalizeAngle(family == 1 ? asinAngle : kIkPi - asinAngle);
    const float flip = family == 1 ? 1.0f : -1.0f;
    for (const EulerAtan2Angle& angle : row->atan2Angles) {
        const float y = flip * angle.y.sign * m[angle.y.element];
        const float x = flip * angle.x.sign * m[angle.x.element];
        angles[angle.slot] = NormalizeAngle(std::atan2(y, x));
    }
    return true;
}
