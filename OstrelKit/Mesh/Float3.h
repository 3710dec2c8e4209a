#pragma once

#include <cmath>

namespace ostrel {

// A position or normal of the kit's mesh tools: three single-precision floats, x, y, z, packed (12 bytes, so
// a list of them is a flat float array). All arithmetic here is single precision, as the tools' results depend
// on it bit for bit. Plain value type, any thread.
struct Float3
{
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    friend bool operator==(const Float3&, const Float3&) = default;
};

static_assert(sizeof(Float3) == 3 * sizeof(float));

inline Float3 operator-(const Float3& a, const Float3& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

inline Float3 cross(const Float3& a, const Float3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline float length(const Float3& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

inline bool isFinite(const Float3& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The normal of triangle (a, b, c) as (b − a) × (c − a) over its length, with no guard: a triangle of zero
// area gives NaN components, one whose edges overflow gives non-finite ones. Callers decide what stands in.
inline Float3 unguardedFaceNormal(const Float3& a, const Float3& b, const Float3& c)
{
    const Float3 n = cross(b - a, c - a);
    const float len = length(n);
    return {n.x / len, n.y / len, n.z / len};
}

// The normal given to vertices and facets that have no usable one.
inline constexpr Float3 kFallbackNormal{0.0f, 1.0f, 0.0f};

} // namespace ostrel
