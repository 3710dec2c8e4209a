#include "Sollerin.h"

#include "HangCeiling.h"

#include <QImage>
#include <QMouseEvent>
#include <QProperty>
#include <QTest>
#include <gtest/gtest.h>

#include <vector>

using namespace ostrel;
using namespace ostrel::SollerinGeometry;

namespace {

void expectPoint(const QPointF& actual, double x, double y)
{
    EXPECT_NEAR(actual.x(), x, 1e-9);
    EXPECT_NEAR(actual.y(), y, 1e-9);
}

std::vector<Axis> order(double yaw, double pitch)
{
    std::vector<Axis> axes;
    for (const ProjectedAxis& a : drawOrder(project(yaw, pitch))) {
        axes.push_back(a.axis);
    }
    return axes;
}

// Records the presses that reach it, as the view under the gizmo would.
class PressRecorder : public QWidget
{
public:
    std::vector<QPoint> presses;

protected:
    void mousePressEvent(QMouseEvent* event) override { presses.push_back(event->position().toPoint()); }
};

} // namespace

TEST(SollerinGeometry, ProjectsTheAxesForTheCameraAngles)
{
    // Front view: X right, Y up, Z's end at the centre, drawn last.
    auto a = project(0, 0);
    expectPoint(a[0].end, 68, 40);
    expectPoint(a[1].end, 40, 12);
    expectPoint(a[2].end, 40, 40);
    EXPECT_EQ(order(0, 0), (std::vector<Axis>{Axis::x, Axis::y, Axis::z})); // X and Y tie and keep their order

    // Yaw 90: Z points right, X away from the viewer (its end at the centre, drawn first).
    a = project(90, 0);
    expectPoint(a[2].end, 68, 40);
    expectPoint(a[0].end, 40, 40);
    EXPECT_EQ(order(90, 0).front(), Axis::x);

    // Pitch 90: Y points at the viewer and Z down.
    a = project(0, 90);
    expectPoint(a[1].end, 40, 40);
    expectPoint(a[2].end, 40, 68);
    EXPECT_EQ(order(0, 90).back(), Axis::y);

    EXPECT_EQ(a[0].label, "X");
    EXPECT_EQ(a[1].label, "Y");
    EXPECT_EQ(a[2].label, "Z");
}

TEST(SollerinGeometry, LabelsSitBeyondTheAxisEnds)
{
    expectPoint(labelCentre({68, 40}), 78, 40);
    expectPoint(labelCentre({40, 12}), 40, 2);
    expectPoint(labelCentre({40.0005, 40}), 40.0005, 40); // at the centre: on the end itself
}

TEST(SollerinGeometry, HitTestPrefersZThenY)
{
    struct Case
    {
        const char* name;
        double yaw;
        double pitch;
        QPointF point;
        std::optional<Axis> expected;
    };
    const Case cases[] = {
        {"X end", 0, 0, {68, 40}, Axis::x},
        {"corner of X's 22-point target", 0, 0, {57.5, 29.5}, Axis::x},
        {"just outside X's target", 0, 0, {79.5, 40}, std::nullopt},
        {"Y end", 0, 0, {40, 12}, Axis::y},
        {"background", 0, 0, {10, 70}, std::nullopt},
        {"X and Z ends coincide: Z wins", 45, 0, {59.8, 40}, Axis::z},
        {"X and Y ends coincide: Y wins", 90, 45, {40, 20.2}, Axis::y},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto h = hit(project(c.yaw, c.pitch), c.point);
        ASSERT_EQ(h.has_value(), c.expected.has_value());
        if (h) {
            EXPECT_EQ(h->axis, *c.expected);
        }
    }
}

TEST(Sollerin, ClickingAnAxisReportsItsSnapAnglesAndNothingElse)
{
    QProperty<double> yaw(0.0);
    QProperty<double> pitch(0.0);
    std::vector<std::pair<double, double>> taps;
    PressRecorder below;
    below.resize(200, 200);
    Sollerin gizmo(
        QBindable<double>(&yaw), QBindable<double>(&pitch), SollerinColors::defaultColors(),
        [&](double y, double p) { taps.emplace_back(y, p); }, &below);
    gizmo.move(100, 100);
    below.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&below, tovarine::test::kHangCeilingMs));
    EXPECT_EQ(gizmo.size(), QSize(80, 80));
    EXPECT_EQ(gizmo.toolTip(), QStringLiteral("Sollerin\u2122 \u2014 click an axis to snap the camera"));

    QTest::mouseClick(&gizmo, Qt::LeftButton, {}, QPoint(68, 40));  // X
    QTest::mouseClick(&gizmo, Qt::LeftButton, {}, QPoint(40, 12));  // Y
    QTest::mouseClick(&gizmo, Qt::LeftButton, {}, QPoint(40, 40));  // Z
    EXPECT_EQ(taps, (std::vector<std::pair<double, double>>{{90, 0}, {0, 90}, {0, 0}}));
    EXPECT_EQ(yaw.value(), 0.0);
    EXPECT_EQ(pitch.value(), 0.0);
    EXPECT_TRUE(below.presses.empty());

    // Off the axis ends the press passes through to the widget below, in its coordinates.
    QTest::mouseClick(&gizmo, Qt::LeftButton, {}, QPoint(10, 70));
    EXPECT_EQ(below.presses, (std::vector<QPoint>{{110, 170}}));

    // A press on one axis released over another is no click.
    QTest::mousePress(&gizmo, Qt::LeftButton, {}, QPoint(68, 40));
    QTest::mouseRelease(&gizmo, Qt::LeftButton, {}, QPoint(40, 12));
    EXPECT_EQ(taps.size(), 3u);

    // The targets follow the camera: after a turn to yaw 90 the point where X was is empty.
    yaw = 90.0;
    QTest::mouseClick(&gizmo, Qt::LeftButton, {}, QPoint(68, 40));
    EXPECT_EQ(taps.back(), (std::pair<double, double>{0, 0})); // Z is there now
}

TEST(Sollerin, WithoutACallbackAClickDoesNothing)
{
    QProperty<double> yaw(30.0);
    QProperty<double> pitch(-20.0);
    PressRecorder below;
    Sollerin gizmo(QBindable<double>(&yaw), QBindable<double>(&pitch), SollerinColors::defaultColors(), {},
                   &below);
    below.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&below, tovarine::test::kHangCeilingMs));
    const QPointF xEnd = project(30, -20)[0].end;
    QTest::mouseClick(&gizmo, Qt::LeftButton, {}, xEnd.toPoint());
    EXPECT_EQ(yaw.value(), 30.0);
    EXPECT_EQ(pitch.value(), -20.0);
    EXPECT_TRUE(below.presses.empty()); // the target still takes the click
}

TEST(Sollerin, DrawsTheAxesWhereTheyProjectAndRedrawsOnChange)
{
    QProperty<double> yaw(0.0);
    QProperty<double> pitch(0.0);
    Sollerin gizmo{QBindable<double>(&yaw), QBindable<double>(&pitch)};
    const QColor gold = SollerinColors::defaultColors().xAxis;
    auto isGold = [&](const QImage& image, QPoint at) {
        const QColor c = image.pixelColor(at);
        return std::abs(c.red() - gold.red()) < 30 && std::abs(c.green() - gold.green()) < 30 &&
               std::abs(c.blue() - gold.blue()) < 30 && c.alpha() > 200;
    };
    const QImage front = gizmo.grab().toImage();
    EXPECT_TRUE(isGold(front, {68, 40})); // X's end disc on the right
    EXPECT_TRUE(isGold(front, {56, 40})); // and its line

    yaw = 90.0; // X now points away: its end sits under Z at the centre, the right side is Z's
    const QImage side = gizmo.grab().toImage();
    EXPECT_FALSE(isGold(side, {68, 40}));
    EXPECT_FALSE(isGold(side, {40, 40})); // drawn first, covered by the nearer axes
}
