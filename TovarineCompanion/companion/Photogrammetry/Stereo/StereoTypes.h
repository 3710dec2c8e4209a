#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

// Plain data of the multi-view stereo step. Cameras follow COLMAP's conventions: a world point X maps to the
// camera as R X + t, pixel (u, v) = (fx x/z + cx, fy y/z + cy), with (0, 0) the top-left corner of the image (the
// centre of pixel (i, j) is (i + 0.5, j + 0.5)). Depth is the camera-frame z. Any thread.
namespace tovarine::stereo {

struct V3 {
    float x = 0, y = 0, z = 0;
    V3 operator+(const V3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    V3 operator-(const V3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    V3 operator*(float s) const { return {x * s, y * s, z * s}; }
};
inline float dot(const V3& a, const V3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 cross(const V3& a, const V3& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline float length(const V3& a) { return std::sqrt(dot(a, a)); }
inline V3 normalized(const V3& a)
{
    const float n = length(a);
    return n > 0 ? a * (1.0f / n) : a;
}

// Row-major 3x3.
struct M3 {
    std::array<float, 9> m{1, 0, 0, 0, 1, 0, 0, 0, 1};
    V3 operator*(const V3& v) const
    {
        return {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
                m[6] * v.x + m[7] * v.y + m[8] * v.z};
    }
    M3 operator*(const M3& o) const
    {
        M3 r;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                r.m[i * 3 + j] = m[i * 3] * o.m[j] + m[i * 3 + 1] * o.m[3 + j] + m[i * 3 + 2] * o.m[6 + j];
            }
        }
        return r;
    }
    M3 transposed() const { return {{m[0], m[3], m[6], m[1], m[4], m[7], m[2], m[5], m[8]}}; }
};

struct PinholeCamera {
    int width = 0;
    int height = 0;
    float fx = 1, fy = 1, cx = 0, cy = 0;
    M3 rotation;   // world to camera
    V3 translation;

    V3 centre() const { return rotation.transposed() * (translation * -1.0f); }
    V3 toCamera(const V3& world) const { return rotation * world + translation; }
    V3 toWorld(const V3& camera) const { return rotation.transposed() * (camera - translation); }
    // The camera-frame direction through image point (u, v), with z = 1.
    V3 ray(float u, float v) const { return {(u - cx) / fx, (v - cy) / fy, 1.0f}; }
};

// One grey channel, row-major, values 0..1.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<float> pixels;

    float at(int x, int y) const { return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
};

// A frame with its camera; the image has the camera's size.
struct StereoView {
    PinholeCamera camera;
    GreyImage image;
};

// Per pixel: depth (0: none), unit normal in the camera frame, and the matching cost (0 best, 2 worst).
struct DepthNormalMap {
    int width = 0;
    int height = 0;
    std::vector<float> depth;
    std::vector<V3> normal;
    std::vector<float> cost;

    std::size_t index(int x, int y) const { return std::size_t(y) * std::size_t(width) + std::size_t(x); }
    std::size_t validCount() const
    {
        std::size_t n = 0;
        for (const float d : depth) {
            n += d > 0 ? 1 : 0;
        }
        return n;
    }
};

// A sparse point as the reference frame sees it: where it lies in the image and how deep.
struct SparseDepth {
    float u = 0;
    float v = 0;
    float depth = 0;
};

} // namespace tovarine::stereo
