// Quaternion routines of the VRPN devices. A quaternion is x, y, z, w; a
// rotation turns vectors as q v q^-1. Euler angles are yaw, pitch and roll
// in radians, for the rotation R = Rz(yaw) Ry(pitch) Rx(roll).
#pragma once

// dest = left * right (dest may be either operand).
void q_mult(double dest[4], const double left[4], const double right[4]);
// dest = v turned by q (dest may be v). A zero quaternion leaves v as it is.
void q_xform(double dest[3], const double q[4], const double v[3]);
// yaw, pitch, roll of q (normalised first; a zero quaternion gives zeros).
void q_to_euler(double yawPitchRoll[3], const double q[4]);
// The unit quaternion of R = Rz(yaw) Ry(pitch) Rx(roll), with w >= 0.
void q_from_euler(double q[4], double yaw, double pitch, double roll);
