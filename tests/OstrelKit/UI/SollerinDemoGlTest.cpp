// The axis gizmo hosted over the application's orbit preview, as an embedding viewer would use it: the view
// publishes its camera angles as bindable properties, the gizmo sits in its top-right corner, and a click on
// an axis turns the camera. Also takes the review screenshot kit-axis-gizmo.png.

#include "HangCeiling.h"
#include "PreviewBuffers.h"
#include "PreviewGlView.h"
#include "Screenshots.h"
#include "Sollerin.h"

#include <QApplication>
#include <QDir>
#include <QProperty>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using namespace ostrel;

namespace {

// A unit cube with a colour per face (+Y up, metres), so the view shows which side faces the camera.
tovarine::ModelMesh colouredCube()
{
    tovarine::ModelMesh mesh;
    const float faces[6][4][3] = {
        {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}},     {{-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}, {-1, -1, -1}},
        {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}},     {{-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}, {1, -1, 1}},
        {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},     {{1, -1, -1}, {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}},
    };
    const float colours[6][3] = {{0.84f, 0.72f, 0.35f}, {0.42f, 0.36f, 0.18f}, {0.3f, 0.9f, 0.95f},
                                 {0.15f, 0.45f, 0.48f}, {0.55f, 0.53f, 0.6f},  {0.28f, 0.27f, 0.3f}};
    for (int f = 0; f < 6; ++f) {
        const auto base = static_cast<std::uint32_t>(mesh.vertexCount());
        for (const auto& corner : faces[f]) {
            mesh.positions.insert(mesh.positions.end(), {corner[0] * 0.05f, corner[1] * 0.05f, corner[2] * 0.05f});
            mesh.colors.insert(mesh.colors.end(), {colours[f][0], colours[f][1], colours[f][2]});
        }
        mesh.indices.insert(mesh.indices.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
    }
    return mesh;
}

// The preview with the gizmo over it. The preview's yaw turns the other way round the up axis from the
// gizmo's (its yaw 90 looks from +X, the gizmo's from −X), so the host negates yaw both ways.
class GizmoPreview : public tovarine::PreviewGlView
{
public:
    GizmoPreview()
        : m_gizmo(new Sollerin(QBindable<double>(&yaw), QBindable<double>(&pitch), SollerinColors::defaultColors(),
                               [this](double y, double p) { snapTo(y, p); }, this))
    {
    }

    void setModel(std::shared_ptr<const tovarine::PreviewBuffers> buffers)
    {
        PreviewGlView::setModel(std::move(buffers));
        publishAngles();
    }

    const tovarine::OrbitCamera& orbitCamera() const { return m_camera; }
    Sollerin* gizmo() const { return m_gizmo; }

    QProperty<double> yaw;
    QProperty<double> pitch;

    // Turns the camera to the gizmo's angles (degrees).
    void snapTo(double gizmoYaw, double gizmoPitch)
    {
        m_camera.setAngles(static_cast<float>(-gizmoYaw), static_cast<float>(gizmoPitch));
        publishAngles();
        update();
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        PreviewGlView::resizeEvent(event);
        m_gizmo->move(width() - m_gizmo->width() - 8, 8);
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        PreviewGlView::mouseMoveEvent(event);
        publishAngles();
    }

private:
    void publishAngles()
    {
        yaw = -static_cast<double>(m_camera.yawDeg());
        pitch = m_camera.pitchDeg();
    }

    Sollerin* m_gizmo;
};

} // namespace

TEST(SollerinDemoGl, ClicksOnTheGizmoTurnTheCameraAndOthersOrbitTheView)
{
    GizmoPreview view;
    view.resize(360, 300);
    view.setModel(std::make_shared<tovarine::PreviewBuffers>(tovarine::buildPreviewBuffers(colouredCube())));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view, tovarine::test::kHangCeilingMs));
    Sollerin* gizmo = view.gizmo();
    ASSERT_EQ(gizmo->geometry(), QRect(360 - 80 - 8, 8, 80, 80));

    // Click the X axis: the camera now looks along X (the gizmo's yaw 90, pitch 0).
    const QPointF xEnd = SollerinGeometry::project(view.yaw, view.pitch)[0].end;
    QTest::mouseClick(gizmo, Qt::LeftButton, {}, xEnd.toPoint());
    EXPECT_FLOAT_EQ(view.orbitCamera().yawDeg(), -90.0f);
    EXPECT_FLOAT_EQ(view.orbitCamera().pitchDeg(), 0.0f);
    EXPECT_EQ(view.yaw.value(), 90.0);
    // From there Z points right on the gizmo.
    EXPECT_NEAR(SollerinGeometry::project(view.yaw, view.pitch)[2].end.x(), 68.0, 1e-9);

    // A drag that starts on the gizmo's disc but on no axis end orbits the view below it.
    const QPoint disc(12, 66);
    ASSERT_FALSE(SollerinGeometry::hit(SollerinGeometry::project(view.yaw, view.pitch), disc));
    QTest::mousePress(gizmo, Qt::LeftButton, {}, disc);
    QMouseEvent move(QEvent::MouseMove, QPointF(disc) + QPointF(-40, 0), gizmo->mapToGlobal(QPointF(disc) - QPointF(40, 0)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(gizmo, &move);
    QTest::mouseRelease(gizmo, Qt::LeftButton, {}, disc + QPoint(-40, 0));
    EXPECT_NE(view.orbitCamera().yawDeg(), -90.0f);

    // A three-quarter view for the review screenshot.
    view.snapTo(35, 25);
    QTest::qWait(200);
    const QString dir = tovarine::test::screenshotFolder();
    EXPECT_TRUE(view.grab().save(dir + QStringLiteral("/kit-axis-gizmo.png")));
}
