#pragma once

#include "MeshTypes.h"

#include <cmath>

// Small vector helpers for the mesh tools. Each spells out its operations in a fixed order, so results are
// the same bits on every build (the library is compiled without floating-point contraction).
namespace tovarine::vecmath {

inline Vec3 sub(const Vec3& a, const Vec3& b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

inline Vec3 add(const Vec3& a, const Vec3& b)
{
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}

inline Vec3 scale(const Vec3& a, double s)
{
    return {a[0] * s, a[1] * s, a[2] * s};
}

inline double dot(const Vec3& a, const Vec3& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

inline Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

inline double length(const Vec3& a)
{
    return std::sqrt(dot(a, a));
}

inline bool isFinite(const Vec3& a)
{
    return std::isfinite(a[0]) && std::isfinite(a[1]) && std::isfinite(a[2]);
}

// Per-axis minimum and maximum of `positions`; NaN components are ignored. An axis with no number at all
// gives lo = +inf, hi = -inf.
inline void boundingBox(const MeshPositions& positions, Vec3& lo, Vec3& hi)
{
    const double inf = INFINITY;
    lo = {inf, inf, inf};
    hi = {-inf, -inf, -inf};
    for (const Vec3& p : positions) {
        for (int a = 0; a < 3; ++a) {
            if (p[a] < lo[a]) {
                lo[a] = p[a];
            }
            if (p[a] > hi[a]) {
                hi[a] = p[a];
            }
        }
    }
}

} // namespace tovarine::vecmath
