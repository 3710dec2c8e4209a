#include "OrbitCamera.h"

#include <gtest/gtest.h>

namespace tovarine {
namespace {

CameraFrame unitFrame()
{
    return *CameraFraming::frame({QVector3D(-1, -1, -1), QVector3D(1, 1, 1)});
}

TEST(OrbitCamera, StartsWhereTheFramingPutsIt)
{
    const CameraFrame frame = unitFrame();
    const OrbitCamera camera(frame);
    EXPECT_TRUE(qFuzzyCompare(camera.position(), frame.position));
    EXPECT_FLOAT_EQ(camera.zNear(), frame.zNear);
    EXPECT_FLOAT_EQ(camera.zFar(), frame.zFar);
    // The target projects to the middle of the view.
    const QVector3D ndc = (camera.projectionMatrix(1.5f) * camera.viewMatrix()).map(frame.target);
    EXPECT_NEAR(ndc.x(), 0.0f, 1e-5f);
    EXPECT_NEAR(ndc.y(), 0.0f, 1e-5f);
}

TEST(OrbitCamera, OrbitKeepsDistanceAndStopsShortOfThePoles)
{
    OrbitCamera camera(unitFrame());
    const float distance = (camera.position() - camera.target()).length();
    camera.orbit(250.0f, 0.0f);
    EXPECT_NEAR((camera.position() - camera.target()).length(), distance, 1e-4f);
    EXPECT_GT(std::abs(camera.position().x()), 1.0f);
    camera.orbit(0.0f, -100000.0f);
    const QVector3D offset = (camera.position() - camera.target()).normalized();
    EXPECT_LT(offset.y(), 1.0f);
    EXPECT_GT(offset.y(), 0.99f);
}

TEST(OrbitCamera, SetAnglesTurnsAboutTheTarget)
{
    OrbitCamera camera(unitFrame());
    const float distance = camera.distance();
    camera.setAngles(90.0f, 0.0f); // looking from +X
    const QVector3D offset = (camera.position() - camera.target()) / distance;
    EXPECT_NEAR(offset.x(), 1.0f, 1e-5f);
    EXPECT_NEAR(offset.y(), 0.0f, 1e-5f);
    EXPECT_NEAR(offset.z(), 0.0f, 1e-5f);
    camera.setAngles(0.0f, 90.0f);
    EXPECT_FLOAT_EQ(camera.pitchDeg(), OrbitCamera::kMaxPitchDeg);
    EXPECT_FLOAT_EQ(camera.yawDeg(), 0.0f);
    EXPECT_FLOAT_EQ(camera.distance(), distance);
}

TEST(OrbitCamera, PanMovesTheTargetInTheViewPlane)
{
    OrbitCamera camera(unitFrame());
    const QVector3D before = camera.target();
    camera.pan(100.0f, 0.0f, 400.0f);
    const QVector3D moved = camera.target() - before;
    EXPECT_LT(moved.x(), 0.0f); // dragging right moves the scene right: the target goes left
    EXPECT_NEAR(moved.y(), 0.0f, 1e-5f);
    EXPECT_NEAR(moved.z(), 0.0f, 1e-5f);
    camera.pan(10.0f, 10.0f, 0.0f); // no viewport: nothing moves
    EXPECT_TRUE(qFuzzyCompare(camera.target(), before + moved));
}

TEST(OrbitCamera, DollyMovesCloserButNotPastTheNearPlane)
{
    OrbitCamera camera(unitFrame());
    const float start = camera.distance();
    camera.dolly(1.0f);
    EXPECT_LT(camera.distance(), start);
    camera.dolly(-2.0f);
    EXPECT_GT(camera.distance(), start);
    camera.dolly(1000.0f);
    EXPECT_FLOAT_EQ(camera.distance(), 2.0f * camera.zNear());
}

} // namespace
} // namespace tovarine
