#include "SyntheticScene.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace scene {

std::array<double, 3> colourAt(const Box& box, double x, double y, double z)
{
    if (box.flat[0] >= 0) {
        return box.flat;
    }
    return {0.5 + 0.4 * std::sin(7 * x + 0.3), 0.5 + 0.4 * std::sin(6 * y + 1.1),
            0.5 + 0.4 * std::sin(8 * z + 2.0)};
}

tovarine::ModelMesh mesh(const std::vector<Box>& boxes, int n)
{
    tovarine::ModelMesh out;
    for (const Box& box : boxes) {
        for (int axis = 0; axis < 3; ++axis) {
            for (int sign = 0; sign < 2; ++sign) {
                const int a = (axis + 1) % 3;
                const int b = (axis + 2) % 3;
                const auto base = std::uint32_t(out.vertexCount());
                for (int j = 0; j <= n; ++j) {
                    for (int i = 0; i <= n; ++i) {
                        std::array<double, 3> p{};
                        p[axis] = sign ? box.hi[axis] : box.lo[axis];
                        p[a] = box.lo[a] + (box.hi[a] - box.lo[a]) * i / n;
                        p[b] = box.lo[b] + (box.hi[b] - box.lo[b]) * j / n;
                        const auto c = colourAt(box, p[0], p[1], p[2]);
                        for (int k = 0; k < 3; ++k) {
                            out.positions.push_back(float(p[k]));
                            out.colors.push_back(float(c[k]));
                            out.normals.push_back(k == axis ? (sign ? 1.0f : -1.0f) : 0.0f);
                        }
                    }
                }
                for (int j = 0; j < n; ++j) {
                    for (int i = 0; i < n; ++i) {
                        const std::uint32_t v00 = base + std::uint32_t(j * (n + 1) + i);
                        const std::uint32_t v10 = v00 + 1;
                        const std::uint32_t v01 = v00 + std::uint32_t(n + 1);
                        const std::uint32_t v11 = v01 + 1;
                        // (a, b, axis) is right-handed, so a-then-b winds counter-clockwise seen from +axis.
                        if (sign) {
                            out.indices.insert(out.indices.end(), {v00, v10, v11, v00, v11, v01});
                        } else {
                            out.indices.insert(out.indices.end(), {v00, v11, v10, v00, v01, v11});
                        }
                    }
                }
            }
        }
    }
    return out;
}

std::vector<tovarine::TextureBaker::Camera> ring(int count, double radius, double height,
                                                 std::array<double, 3> target, int widthPx, int heightPx)
{
    std::vector<tovarine::TextureBaker::Camera> cameras;
    for (int i = 0; i < count; ++i) {
        const double angle = 2 * M_PI * i / count;
        const std::array<double, 3> centre{target[0] + radius * std::sin(angle), target[1] + height,
                                           target[2] + radius * std::cos(angle)};
        std::array<double, 3> forward{target[0] - centre[0], target[1] - centre[1], target[2] - centre[2]};
        const double fl = std::hypot(forward[0], forward[1], forward[2]);
        for (double& v : forward) {
            v /= fl;
        }
        // Camera x to the right, y down (image rows), z forward.
        std::array<double, 3> right{-forward[2], 0, forward[0]}; // forward × up(0,1,0) without the sign flip
        const double rl = std::hypot(right[0], right[2]);
        right = {right[0] / rl, 0, right[2] / rl};
        const std::array<double, 3> down{forward[1] * right[2] - forward[2] * right[1],
                                         forward[2] * right[0] - forward[0] * right[2],
                                         forward[0] * right[1] - forward[1] * right[0]};
        tovarine::TextureBaker::Camera camera;
        const std::array<const std::array<double, 3>*, 3> rows{&right, &down, &forward};
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                camera.rotation[3 * r + c] = (*rows[r])[c];
            }
            camera.translation[r] =
                -((*rows[r])[0] * centre[0] + (*rows[r])[1] * centre[1] + (*rows[r])[2] * centre[2]);
        }
        camera.widthPx = widthPx;
        camera.heightPx = heightPx;
        camera.fx = camera.fy = 0.9 * widthPx;
        camera.cx = widthPx / 2.0;
        camera.cy = heightPx / 2.0;
        cameras.push_back(camera);
    }
    return cameras;
}

QImage render(const std::vector<Box>& boxes, const tovarine::TextureBaker::Camera& camera)
{
    QImage image(camera.widthPx, camera.heightPx, QImage::Format_RGB888);
    const double* r = camera.rotation;
    const double* t = camera.translation;
    const std::array<double, 3> centre{-(r[0] * t[0] + r[3] * t[1] + r[6] * t[2]),
                                       -(r[1] * t[0] + r[4] * t[1] + r[7] * t[2]),
                                       -(r[2] * t[0] + r[5] * t[1] + r[8] * t[2])};
    for (int y = 0; y < camera.heightPx; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < camera.widthPx; ++x) {
            const double a = (x + 0.5 - camera.cx) / camera.fx;
            const double b = (y + 0.5 - camera.cy) / camera.fy;
            // Ray direction in the model: R^T (a, b, 1).
            const std::array<double, 3> d{r[0] * a + r[3] * b + r[6], r[1] * a + r[4] * b + r[7],
                                          r[2] * a + r[5] * b + r[8]};
            double best = std::numeric_limits<double>::infinity();
            std::array<double, 3> colour{0, 0, 0};
            for (const Box& box : boxes) {
                double tNear = -1e30;
                double tFar = 1e30;
                for (int k = 0; k < 3; ++k) {
                    const double t0 = (box.lo[k] - centre[k]) / d[k];
                    const double t1 = (box.hi[k] - centre[k]) / d[k];
                    tNear = std::max(tNear, std::min(t0, t1));
                    tFar = std::min(tFar, std::max(t0, t1));
                }
                if (tNear <= tFar && tNear > 0 && tNear < best) {
                    best = tNear;
                    colour = colourAt(box, centre[0] + tNear * d[0], centre[1] + tNear * d[1],
                                      centre[2] + tNear * d[2]);
                }
            }
            for (int k = 0; k < 3; ++k) {
                line[3 * x + k] = uchar(std::lround(std::clamp(colour[k], 0.0, 1.0) * 255));
            }
        }
    }
    return image;
}

std::array<double, 3> sample(const QImage& texture, double s, double t)
{
    const int x = std::clamp(int(s * texture.width()), 0, texture.width() - 1);
    const int y = std::clamp(int((1.0 - t) * texture.height()), 0, texture.height() - 1);
    const QColor c = texture.pixelColor(x, y);
    return {c.redF(), c.greenF(), c.blueF()};
}

} // namespace scene
