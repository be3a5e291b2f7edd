// The camera record: its view matrix, the rotations it computes on the GL
// stack (which it leaves as it found it) and the target it keeps apart
// from the position.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "scene/VRCamera.h"
#include "support/GlWindowFixture.h"

using namespace qemtest;

namespace {

using Matrix = std::vector<float>;

Matrix Of(const float* m, int n = 16) { return Matrix(m, m + n); }

void ExpectNear(const Matrix& expected, const Matrix& actual) {
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(expected[i], actual[i], 1e-5) << i;
}

// Rotation by 90 degrees about z, column-major.
const Matrix kQuarterZ = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

class CameraTest : public GlWindowFixture {};

}  // namespace

TEST_F(CameraTest, ViewMatrixAndItsInverse) {
    VRCamera c;
    c.SetPosition(1, 2, 3);
    float m[16];
    c.GetMatrix(m);
    ExpectNear({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -1, -2, -3, 1}, Of(m));

    VRCamera back;
    back.SetMatrix(m);
    ExpectNear({1, 2, 3}, Of(back.position, 3));
    ExpectNear(Of(c.matrix), Of(back.matrix));

    // A rotated view: its translation is in the rotated frame.
    VRCamera turned;
    turned.SetRotationMatrix(kQuarterZ.data());
    turned.SetPosition(1, 0, 0);
    turned.GetMatrix(m);
    EXPECT_NEAR(m[12], 0, 1e-6);
    EXPECT_NEAR(m[13], -1, 1e-6);
    back.SetMatrix(m);
    ExpectNear({1, 0, 0}, Of(back.position, 3));
    ExpectNear(kQuarterZ, Of(back.matrix));

    // A singular matrix has no inverse: the orientation is taken, the
    // position stays.
    const float flat[16] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 5, 5, 5, 1};
    back.SetMatrix(flat);
    ExpectNear({1, 0, 0}, Of(back.position, 3));
    EXPECT_EQ(back.matrix[12], 0);
    EXPECT_EQ(back.matrix[5], 0);
}

TEST_F(CameraTest, RotationsTurnAboutThePivotAndLeaveTheStackAlone) {
    glMatrixMode(GL_TEXTURE);
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);

    VRCamera c;
    c.SetPivotPoint(1.7f, -1.7f, 0.2f);
    EXPECT_EQ(c.pivot[0], 1);
    EXPECT_EQ(c.pivot[1], -1);
    EXPECT_EQ(c.pivot[2], 0);
    c.SetPivotPoint(0, 0, 0);
    c.SetRotation(90, 0, 0, 1);
    ExpectNear(kQuarterZ, Of(c.matrix));
    c.RotateGlobal(-90, 0, 0, 1);
    ExpectNear({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, Of(c.matrix));

    // About a pivot the rotation moves the origin: T(p) R T(-p).
    c.SetPivotPoint(1, 0, 0);
    c.SetRotation(90, 0, 0, 1);
    ExpectNear({0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 1, -1, 0, 1}, Of(c.matrix));

    // A local axis goes through the matrix's columns: after a quarter turn
    // about z, the local x axis is (0, -1, 0).
    VRCamera local;
    local.SetRotation(90, 0, 0, 1);
    VRCamera global = local;
    local.RotateLocal(30, 1, 0, 0);
    global.RotateGlobal(30, 0, -1, 0);
    ExpectNear(Of(global.matrix), Of(local.matrix));

    GLint mode = 0, after = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &after);
    EXPECT_EQ(mode, GL_TEXTURE);
    EXPECT_EQ(after, depth);
    glMatrixMode(GL_MODELVIEW);
}

TEST_F(CameraTest, TargetsAndDirections) {
    VRCamera c;
    c.SetPosition(2, 3, 4);
    c.SetTarget(2, 3, 4);
    EXPECT_EQ(c.mode, kCameraTarget);
    EXPECT_EQ(c.target[2], 4 - 0.0001f);
    float d[3];
    c.GetDirection(d);
    ExpectNear({0, 0, -1}, Of(d, 3));

    // Moving onto the target moves the target too.
    c.SetTarget(0, 0, 0);
    c.SetPosition(0, 0, 0);
    EXPECT_EQ(c.target[2], -0.0001f);

    c.SetDirection(1, 0, 0);
    EXPECT_EQ(c.mode, kCameraFree);
    c.GetDirection(d);
    ExpectNear({1, 0, 0}, Of(d, 3));
    c.SetDirection(0, 0, -1);
    ExpectNear({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, Of(c.matrix));

    c.SetTarget(nullptr);
    EXPECT_EQ(c.mode, kCameraFree);
    const float nine[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    c.SetRotationMatrix3(nine);
    ExpectNear({1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0, 0, 0, 1}, Of(c.matrix));
    float back[9];
    c.GetRotationMatrix3(back);
    ExpectNear(Of(nine, 9), Of(back, 9));
}
