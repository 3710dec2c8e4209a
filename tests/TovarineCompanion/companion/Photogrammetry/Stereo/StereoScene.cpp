#include "StereoScene.h"

#include <cmath>
#include <cstdint>
#include <numbers>

namespace tovarine::stereo::test {
namespace {

float hash(int x, int y, int z)
{
    std::uint32_t h = std::uint32_t(x) * 73856093u ^ std::uint32_t(y) * 19349663u ^ std::uint32_t(z) * 83492791u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return float(h & 0xffffu) / 65535.0f;
}

// Value noise of a world point, two octaves: texture that looks the same from every frame.
float texture(const V3& p)
{
    float value = 0;
    float scale = 40.0f;
    float weight = 0.65f;
    for (int octave = 0; octave < 2; ++octave) {
        const float fx = p.x * scale, fy = p.y * scale, fz = p.z * scale;
        const int ix = int(std::floor(fx)), iy = int(std::floor(fy)), iz = int(std::floor(fz));
        const float tx = fx - float(ix), ty = fy - float(iy), tz = fz - float(iz);
        float c = 0;
        for (int dz = 0; dz < 2; ++dz) {
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    const float w = (dx ? tx : 1 - tx) * (dy ? ty : 1 - ty) * (dz ? tz : 1 - tz);
                    c += w * hash(ix + dx, iy + dy, iz + dz);
                }
            }
        }
        value += weight * c;
        scale *= 2.7f;
        weight = 1.0f - weight;
    }
    return value;
}

// Distance along the camera-frame ray (z = 1 per unit) to the first surface; 0 for none.
float hitDepth(const Scene& scene, const PinholeCamera& camera, float u, float v, V3* hit)
{
    const V3 origin = camera.centre();
    const V3 direction = camera.rotation.transposed() * camera.ray(u, v); // z-unit in the camera frame
    float best = 0;
    if (scene.withSphere) {
        const float b = dot(origin, direction);
        const float c = dot(origin, origin) - scene.sphereRadius * scene.sphereRadius;
        const float a = dot(direction, direction);
        const float disc = b * b - a * c;
        if (disc >= 0) {
            const float t = (-b - std::sqrt(disc)) / a;
            if (t > 0) {
                best = t;
            }
        }
    }
    if (std::abs(direction.z) > 1e-6f) {
        const float t = (scene.wallZ - origin.z) / direction.z;
        if (t > 0 && (best == 0 || t < best)) {
            best = t;
        }
    }
    if (hit && best > 0) {
        *hit = origin + direction * best;
    }
    return best; // the ray's camera z grows by 1 per unit of t, so t is the depth
}

} // namespace

float trueDepth(const Scene& scene, const PinholeCamera& camera, int x, int y)
{
    return hitDepth(scene, camera, float(x) + 0.5f, float(y) + 0.5f, nullptr);
}

std::vector<StereoView> renderViews(const Scene& scene, int count, float spreadDegrees, int width, int height)
{
    std::vector<StereoView> views;
    for (int i = 0; i < count; ++i) {
        const float angle = (count > 1 ? (float(i) / float(count - 1) - 0.5f) : 0.0f) * spreadDegrees
                            * float(std::numbers::pi) / 180.0f;
        const V3 centre{2.0f * std::sin(angle), 0.1f * float(i % 2), 2.0f * std::cos(angle)};
        const V3 forward = normalized(centre * -1.0f);
        const V3 down = normalized(V3{0, -1, 0} - forward * dot(V3{0, -1, 0}, forward));
        const V3 right = cross(down, forward);
        StereoView view;
        PinholeCamera& camera = view.camera;
        camera.width = width;
        camera.height = height;
        camera.fx = camera.fy = float(width);
        camera.cx = float(width) / 2;
        camera.cy = float(height) / 2;
        camera.rotation = M3{{right.x, right.y, right.z, down.x, down.y, down.z, forward.x, forward.y, forward.z}};
        camera.translation = (camera.rotation * centre) * -1.0f;
        view.image.width = width;
        view.image.height = height;
        view.image.pixels.resize(std::size_t(width) * std::size_t(height));
        // 2x2 supersampling keeps the texture from aliasing differently in each frame.
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                float sum = 0;
                for (int s = 0; s < 4; ++s) {
                    V3 hit;
                    const float u = float(x) + 0.25f + 0.5f * float(s % 2);
                    const float v = float(y) + 0.25f + 0.5f * float(s / 2);
                    sum += hitDepth(scene, camera, u, v, &hit) > 0 ? texture(hit) : 0.0f;
                }
                view.image.pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] = sum / 4;
            }
        }
        views.push_back(std::move(view));
    }
    return views;
}

} // namespace tovarine::stereo::test
