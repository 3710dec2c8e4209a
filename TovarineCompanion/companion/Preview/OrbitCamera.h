#pragma once

#include "CameraFraming.h"

#include <QMatrix4x4>
#include <QVector3D>
#include <optional>

namespace tovarine {

// The preview's user-driven camera: it orbits a target at a distance, pans the target in the view plane and
// dollies toward it. Starts from a framing (or a fixed default view when there is none); the near and far
// planes stay those of the framing. Angles in degrees, pointer moves in device-independent pixels.
// Any thread; plain value type.
class OrbitCamera
{
public:
    // Degrees of orbit per pixel of pointer travel.
    static constexpr float kOrbitDegPerPx = 0.4f;
    // Distance factor per wheel notch (120 angle units); below 1 moves closer.
    static constexpr float kDollyFactorPerNotch = 0.9f;
    static constexpr float kMaxPitchDeg = 89.0f;

    OrbitCamera();
    // Orbits the frame's target from the frame's position (its direction sets the starting yaw and pitch).
    explicit OrbitCamera(const std::optional<CameraFrame>& frame);

    // Left-button drag: yaw about the world up axis, pitch about the camera's right axis (clamped short of
    // the poles).
    void orbit(float dxPx, float dyPx);
    // Right- or middle-button drag: moves the target with the pointer, so the point under it stays under it
    // at the target's depth. viewportHeightPx > 0.
    void pan(float dxPx, float dyPx, float viewportHeightPx);
    // Wheel: positive notches move closer. The distance never drops below twice the near plane.
    void dolly(float notches);
    // Turns the camera about its target to `yawDeg` (0 looks from +Z, 90 from +X) and `pitchDeg` (clamped
    // short of the poles), keeping target and distance.
    void setAngles(float yawDeg, float pitchDeg);

    float yawDeg() const { return m_yawDeg; }
    float pitchDeg() const { return m_pitchDeg; }

    QVector3D position() const;
    const QVector3D& target() const { return m_target; }
    float distance() const { return m_distance; }
    float zNear() const { return m_zNear; }
    float zFar() const { return m_zFar; }
    float fieldOfViewDeg() const { return m_fieldOfViewDeg; }

    QMatrix4x4 viewMatrix() const;
    QMatrix4x4 projectionMatrix(float aspect) const;

private:
    QVector3D m_target;
    float m_distance = 10.0f;
    float m_yawDeg = 0.0f;
    float m_pitchDeg = 0.0f;
    float m_fieldOfViewDeg = CameraFraming::kFieldOfViewDeg;
    float m_zNear = 0.1f;
    float m_zFar = 1000.0f;
};

} // namespace tovarine
