#include "media/VrpnQuaternion.h"

#include <algorithm>
#include <cmath>

void q_mult(double dest[4], const double left[4], const double right[4]) {
    const double x = left[3] * right[0] + left[0] * right[3] + left[1] * right[2] - left[2] * right[1];
    const double y = left[3] * right[1] + left[1] * right[3] + left[2] * right[0] - left[0] * right[2];
    const double z = left[3] * right[2] + left[2] * right[3] + left[0] * right[1] - left[1] * right[0];
    const double w = left[3] * right[3] - left[0] * right[0] - left[1] * right[1] - left[2] * right[2];
    dest[0] = x;
    dest[1] = y;
    dest[2] = z;
    dest[3] = w;
}

void q_xform(double dest[3], const double q[4], const double v[3]) {
    const double norm = q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3];
    if (!(norm > 0) || !std::isfinite(norm)) {
        if (dest != v) std::copy(v, v + 3, dest);
        return;
    }
    // q v q^-1, with q^-1 the conjugate over the squared norm.
    const double pure[4] = {v[0], v[1], v[2], 0};
    const double inverse[4] = {-q[0] / norm, -q[1] / norm, -q[2] / norm, q[3] / norm};
    double t[4];
    q_mult(t, q, pure);
    q_mult(t, t, inverse);
    dest[0] = t[0];
    dest[1] = t[1];
    dest[2] = t[2];
}

void q_to_euler(double yawPitchRoll[3], const double q[4]) {
    const double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (!(norm > 0) || !std::isfinite(norm)) {
        yawPitchRoll[0] = yawPitchRoll[1] = yawPitchRoll[2] = 0;
        return;
    }
    const double x = q[0] / norm, y = q[1] / norm, z = q[2] / norm, w = q[3] / norm;
    // The matrix entries that R = Rz(yaw) Ry(pitch) Rx(roll) fixes:
    // r20 = -sin(pitch), r21 = cos(pitch) sin(roll), r22 = cos(pitch) cos(roll),
    // r10 = sin(yaw) cos(pitch), r00 = cos(yaw) cos(pitch).
    const double r00 = 1 - 2 * (y * y + z * z);
    const double r10 = 2 * (x * y + z * w);
    const double r20 = 2 * (x * z - y * w);
    const double r21 = 2 * (y * z + x * w);
    const double r22 = 1 - 2 * (x * x + y * y);
    const double cosPitch = std::sqrt(r00 * r00 + r10 * r10);
    yawPitchRoll[1] = std::atan2(-r20, cosPitch);
    if (cosPitch > 1e-12) {
        yawPitchRoll[0] = std::atan2(r10, r00);
        yawPitchRoll[2] = std::atan2(r21, r22);
    } else {
        // Pitch at +-90 degrees: only yaw - roll (or yaw + roll) is fixed;
        // all of it goes to yaw.
        const double r01 = 2 * (x * y - z * w);
        const double r11 = 1 - 2 * (x * x + z * z);
        yawPitchRoll[0] = std::atan2(-r01, r11);
        yawPitchRoll[2] = 0;
    }
}

void q_from_euler(double q[4], double yaw, double pitch, double roll) {
    const double cy = std::cos(yaw / 2), sy = std::sin(yaw / 2);
    const double cp = std::cos(pitch / 2), sp = std::sin(pitch / 2);
    const double cr = std::cos(roll / 2), sr = std::sin(roll / 2);
    // qz(yaw) * qy(pitch) * qx(roll)
    q[0] = cy * cp * sr - sy * sp * cr;
    q[1] = cy * sp * cr + sy * cp * sr;
    q[2] = sy * cp * cr - cy * sp * sr;
    q[3] = cy * cp * cr + sy * sp * sr;
    if (q[3] < 0)
        for (int i = 0; i < 4; ++i) q[i] = -q[i];
}
