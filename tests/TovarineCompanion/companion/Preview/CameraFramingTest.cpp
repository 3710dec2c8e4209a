#include "CameraFraming.h"

#include <gtest/gtest.h>
#include <limits>

namespace tovarine {
namespace {

TEST(CameraFraming, BoxIsFramedFromItsCentreAlongZ)
{
    const QVector3D centre(1.0f, -2.0f, 3.0f);
    const QVector3D half(1.0f, 0.5f, 0.25f); // extents 2 x 1 x 0.5
    const auto frame = CameraFraming::frame({centre - half, centre + half});
    ASSERT_TRUE(frame);
    EXPECT_FLOAT_EQ(frame->size, 2.0f);
    EXPECT_TRUE(qFuzzyCompare(frame->position, centre + QVector3D(0.0f, 0.0f, 3.6f)));
    EXPECT_TRUE(qFuzzyCompare(frame->target, centre));
    EXPECT_FLOAT_EQ(frame->zNear, 0.02f);
    EXPECT_FLOAT_EQ(frame->zFar, 100.0f);
    EXPECT_FLOAT_EQ(frame->fieldOfViewDeg, 45.0f);
}

TEST(CameraFraming, LargestExtentDecidesWhicheverAxisItIs)
{
    const auto frame = CameraFraming::frame({QVector3D(0, 0, 0), QVector3D(0.1f, 0.2f, 4.0f)});
    ASSERT_TRUE(frame);
    EXPECT_FLOAT_EQ(frame->size, 4.0f);
    EXPECT_FLOAT_EQ(frame->position.z(), 2.0f + 7.2f);
}

TEST(CameraFraming, DegenerateBoxesGetNoCamera)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const BoundingBox cases[] = {
        {},                                                   // an empty model: the zero box
        {QVector3D(1, 2, 3), QVector3D(1, 2, 3)},             // a single point
        {QVector3D(0, 0, 0), QVector3D(nan, 1, 1)},           // NaN
        {QVector3D(nan, nan, nan), QVector3D(nan, nan, nan)}, // all NaN
        {QVector3D(0, 0, 0), QVector3D(inf, 1, 1)},           // infinite
        {QVector3D(-inf, 0, 0), QVector3D(1, 1, 1)},
    };
    for (const BoundingBox& box : cases) {
        EXPECT_FALSE(CameraFraming::frame(box)) << box.min.x() << " " << box.max.x();
    }
}

} // namespace
} // namespace tovarine
