#include "OrbitCamera.h"

#include <QtMath>
#include <algorithm>
#include <cmath>

namespace tovarine {

OrbitCamera::OrbitCamera() = default;

OrbitCamera::OrbitCamera(const std::optional<CameraFrame>& frame)
{
    if (!frame) {
        return;
    }
    m_target = frame->target;
    const QVector3D offset = frame->position - frame->target;
    m_distance = offset.length();
    if (m_distance > 0.0f) {
        m_yawDeg = qRadiansToDegrees(std::atan2(offset.x(), offset.z()));
        m_pitchDeg = std::clamp(qRadiansToDegrees(std::asin(std::clamp(offset.y() / m_distance, -1.0f, 1.0f))),
                                -kMaxPitchDeg, kMaxPitchDeg);
    }
    m_fieldOfViewDeg = frame->fieldOfViewDeg;
    m_zNear = frame->zNear;
    m_zFar = frame->zFar;
}

void OrbitCamera::orbit(float dxPx, float dyPx)
{
    m_yawDeg = std::fmod(m_yawDeg - dxPx * kOrbitDegPerPx, 360.0f);
    m_pitchDeg = std::clamp(m_pitchDeg - dyPx * kOrbitDegPerPx, -kMaxPitchDeg, kMaxPitchDeg);
}

void OrbitCamera::pan(float dxPx, float dyPx, float viewportHeightPx)
{
    if (!(viewportHeightPx > 0.0f)) {
        return;
    }
    const float worldPerPx =
        2.0f * m_distance * std::tan(qDegreesToRadians(m_fieldOfViewDeg) / 2.0f) / viewportHeightPx;
    const QMatrix4x4 view = viewMatrix();
    const QVector3D right(view(0, 0), view(0, 1), view(0, 2));
    const QVector3D up(view(1, 0), view(1, 1), view(1, 2));
    m_target += (-dxPx * right + dyPx * up) * worldPerPx;
}

void OrbitCamera::dolly(float notches)
{
    const float next = m_distance * std::pow(kDollyFactorPerNotch, notches);
    m_distance = std::max(next, 2.0f * m_zNear);
}

void OrbitCamera::setAngles(float yawDeg, float pitchDeg)
{
    m_yawDeg = std::fmod(yawDeg, 360.0f);
    m_pitchDeg = std::clamp(pitchDeg, -kMaxPitchDeg, kMaxPitchDeg);
}

QVector3D OrbitCamera::position() const
{
    const float yaw = qDegreesToRadians(m_yawDeg);
    const float pitch = qDegreesToRadians(m_pitchDeg);
    const QVector3D offset(std::sin(yaw) * std::cos(pitch), std::sin(pitch), std::cos(yaw) * std::cos(pitch));
    return m_target + offset * m_distance;
}

QMatrix4x4 OrbitCamera::viewMatrix() const
{
    QMatrix4x4 view;
    view.lookAt(position(), m_target, QVector3D(0.0f, 1.0f, 0.0f));
    return view;
}

QMatrix4x4 OrbitCamera::projectionMatrix(float aspect) const
{
    QMatrix4x4 projection;
    projection.perspective(m_fieldOfViewDeg, aspect > 0.0f ? aspect : 1.0f, m_zNear, m_zFar);
    return projection;
}

} // namespace tovarine
