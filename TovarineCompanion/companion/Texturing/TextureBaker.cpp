#include "TextureBaker.h"

#include "TriangleRaster.h"

#include <QImageReader>
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <functional>
#include <limits>
#include <thread>

namespace tovarine::TextureBaker {

void Camera::project(double x, double y, double z, double& u, double& v) const
{
    const double a = x / z;
    const double b = y / z;
    const double r2 = a * a + b * b;
    const double radial = 1.0 + k1 * r2 + k2 * r2 * r2;
    const double da = a * radial + 2.0 * p1 * a * b + p2 * (r2 + 2.0 * a * a);
    const double db = b * radial + p1 * (r2 + 2.0 * b * b) + 2.0 * p2 * a * b;
    u = fx * da + cx;
    v = fy * db + cy;
}

namespace {

constexpr int kMaxBlend = 8;
// A point is hidden when the depth map holds a surface this much (relative) nearer than the point.
constexpr double kDepthTolerance = 0.02;

struct Vec
{
    double x = 0, y = 0, z = 0;
};

Vec operator-(Vec a, Vec b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec cross(Vec a, Vec b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(Vec a, Vec b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
double length(Vec a)
{
    return std::sqrt(dot(a, a));
}

// Runs fn(begin, end) over [0, count) in chunks on `threads` workers.
void parallelFor(std::size_t count, int threads, const std::function<void(std::size_t, std::size_t)>& fn)
{
    const std::size_t chunk = std::max<std::size_t>(1, count / (std::size_t(std::max(threads, 1)) * 8));
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (;;) {
            const std::size_t begin = next.fetch_add(chunk);
            if (begin >= count) {
                return;
            }
            fn(begin, std::min(count, begin + chunk));
        }
    };
    std::vector<std::thread> workers;
    for (int i = 1; i < std::min<int>(threads, int((count + chunk - 1) / chunk)); ++i) {
        workers.emplace_back(work);
    }
    work();
    for (std::thread& worker : workers) {
        worker.join();
    }
}

struct ViewGeometry
{
    const Camera* camera = nullptr;
    Vec centre;
    double depthScale = 1.0; // depth map pixels per image pixel
    int depthWidth = 0;
    int depthHeight = 0;
    std::vector<float> depth;

    Vec toCamera(Vec p) const
    {
        const double* r = camera->rotation;
        const double* t = camera->translation;
        return {r[0] * p.x + r[1] * p.y + r[2] * p.z + t[0], r[3] * p.x + r[4] * p.y + r[5] * p.z + t[1],
                r[6] * p.x + r[7] * p.y + r[8] * p.z + t[2]};
    }
    // Image pixel (u, v) of the camera-space point c; false behind the camera or outside the image.
    bool pixel(Vec c, double& u, double& v) const
    {
        if (c.z <= 1e-9) {
            return false;
        }
        camera->project(c.x, c.y, c.z, u, v);
        return u >= 0 && v >= 0 && u < camera->widthPx && v < camera->heightPx;
    }
    bool sees(Vec c, double u, double v) const
    {
        const int x = std::min(depthWidth - 1, int(u * depthScale));
        const int y = std::min(depthHeight - 1, int(v * depthScale));
        return c.z <= double(depth[std::size_t(y) * depthWidth + x]) * (1.0 + kDepthTolerance);
    }
};

} // namespace

Expected<QImage, QString> bake(const ModelMesh& mesh, const std::vector<View>& views, const Options& options,
                               Report* report)
{
    Report localReport;
    Report& out = report ? *report : localReport;
    out = {};
    const std::size_t vertexCount = mesh.vertexCount();
    const std::size_t triangleCount = mesh.triangleCount();
    if (triangleCount == 0 || mesh.texcoords.size() != vertexCount * 2) {
        return unexpected(QStringLiteral("The model has no texture layout to bake into."));
    }
    if (options.sizePx < 16) {
        return unexpected(QStringLiteral("The texture size %1 is too small.").arg(options.sizePx));
    }
    const auto isCancelled = [&] { return options.cancelled && options.cancelled->load(); };
    const int threads = std::max(1, options.threads);
    const auto point = [&](std::uint32_t v) {
        return Vec{mesh.positions[3 * std::size_t(v)], mesh.positions[3 * std::size_t(v) + 1],
                   mesh.positions[3 * std::size_t(v) + 2]};
    };

    // 1. Per frame: an occlusion depth map, and how well it sees each triangle it sees whole.
    std::vector<ViewGeometry> geometry(views.size());
    std::vector<std::vector<std::pair<std::uint32_t, float>>> seen(views.size());
    parallelFor(views.size(), threads, [&](std::size_t begin, std::size_t end) {
        for (std::size_t vi = begin; vi < end && !isCancelled(); ++vi) {
            const Camera& camera = views[vi].camera;
            ViewGeometry& view = geometry[vi];
            view.camera = &camera;
            if (camera.widthPx <= 0 || camera.heightPx <= 0 || camera.fx <= 0 || camera.fy <= 0) {
                continue;
            }
            const double* r = camera.rotation;
            const double* t = camera.translation;
            view.centre = {-(r[0] * t[0] + r[3] * t[1] + r[6] * t[2]),
                           -(r[1] * t[0] + r[4] * t[1] + r[7] * t[2]),
                           -(r[2] * t[0] + r[5] * t[1] + r[8] * t[2])};
            view.depthScale =
                double(std::max(16, options.depthSidePx)) / std::max(camera.widthPx, camera.heightPx);
            view.depthWidth = std::max(1, int(std::ceil(camera.widthPx * view.depthScale)));
            view.depthHeight = std::max(1, int(std::ceil(camera.heightPx * view.depthScale)));
            view.depth.assign(std::size_t(view.depthWidth) * view.depthHeight,
                              std::numeric_limits<float>::infinity());

            std::vector<std::array<double, 3>> projected(vertexCount); // image u, v and depth (0: behind)
            for (std::size_t i = 0; i < vertexCount; ++i) {
                const Vec c = view.toCamera(point(std::uint32_t(i)));
                if (c.z <= 1e-9) {
                    projected[i] = {0, 0, 0};
                    continue;
                }
                double u = 0;
                double v = 0;
                camera.project(c.x, c.y, c.z, u, v);
                projected[i] = {u, v, c.z};
            }
            for (std::size_t tri = 0; tri < triangleCount; ++tri) {
                const auto& a = projected[mesh.indices[3 * tri]];
                const auto& b = projected[mesh.indices[3 * tri + 1]];
                const auto& c = projected[mesh.indices[3 * tri + 2]];
                if (a[2] <= 0 || b[2] <= 0 || c[2] <= 0) {
                    continue;
                }
                const double s = view.depthScale;
                rasteriseTriangle(a[0] * s, a[1] * s, b[0] * s, b[1] * s, c[0] * s, c[1] * s, view.depthWidth,
                                  view.depthHeight, [&](int x, int y, double w0, double w1, double w2) {
                                      const double z = 1.0 / (w0 / a[2] + w1 / b[2] + w2 / c[2]);
                                      float& d = view.depth[std::size_t(y) * view.depthWidth + x];
                                      d = std::min(d, float(z));
                                  });
            }

            for (std::size_t tri = 0; tri < triangleCount; ++tri) {
                const std::uint32_t* idx = &mesh.indices[3 * tri];
                const Vec p0 = point(idx[0]), p1 = point(idx[1]), p2 = point(idx[2]);
                const Vec n = cross(p1 - p0, p2 - p0);
                const Vec centroid{(p0.x + p1.x + p2.x) / 3, (p0.y + p1.y + p2.y) / 3,
                                   (p0.z + p1.z + p2.z) / 3};
                const Vec toCamera = view.centre - centroid;
                const double nLength = length(n);
                const double distance = length(toCamera);
                if (nLength <= 0 || distance <= 0) {
                    continue;
                }
                const double facing = dot(n, toCamera) / (nLength * distance);
                if (facing < 0.15) {
                    continue;
                }
                // The triangle is seen when its centre and points near its corners are in the frame and not
                // hidden.
                bool visible = true;
                double uv[3][2] = {};
                for (int k = 0; k < 4 && visible; ++k) {
                    const Vec q = k == 3 ? centroid
                                         : Vec{0.9 * (k == 0   ? p0
                                                      : k == 1 ? p1
                                                               : p2)
                                                           .x +
                                                   0.1 * centroid.x,
                                               0.9 * (k == 0   ? p0
                                                      : k == 1 ? p1
                                                               : p2)
                                                           .y +
                                                   0.1 * centroid.y,
                                               0.9 * (k == 0   ? p0
                                                      : k == 1 ? p1
                                                               : p2)
                                                           .z +
                                                   0.1 * centroid.z};
                    const Vec c = view.toCamera(q);
                    double u = 0;
                    double v = 0;
                    visible = view.pixel(c, u, v) && view.sees(c, u, v);
                    if (k < 3) {
                        uv[k][0] = u;
                        uv[k][1] = v;
                    }
                }
                if (!visible) {
                    continue;
                }
                const double pixels = 0.5 * std::abs((uv[1][0] - uv[0][0]) * (uv[2][1] - uv[0][1]) -
                                                     (uv[1][1] - uv[0][1]) * (uv[2][0] - uv[0][0]));
                seen[vi].emplace_back(std::uint32_t(tri), float(std::max(pixels, 1e-6) * facing));
            }
        }
    });
    if (isCancelled()) {
        return unexpected(QString());
    }

    // 2. Per triangle: the frames that see it best.
    const int blend = std::clamp(options.blendViews, 1, kMaxBlend);
    struct Candidates
    {
        std::array<std::int32_t, kMaxBlend> view;
        std::array<float, kMaxBlend> score;
        int count = 0;
    };
    std::vector<Candidates> candidates(triangleCount);
    for (std::size_t vi = 0; vi < views.size(); ++vi) {
        for (const auto& [tri, score] : seen[vi]) {
            Candidates& c = candidates[tri];
            int at = c.count;
            while (at > 0 && c.score[at - 1] < score) {
                --at;
            }
            if (at >= blend) {
                continue;
            }
            for (int k = std::min(c.count, blend - 1); k > at; --k) {
                c.view[k] = c.view[k - 1];
                c.score[k] = c.score[k - 1];
            }
            c.view[at] = std::int32_t(vi);
            c.score[at] = score;
            c.count = std::min(c.count + 1, blend);
        }
        seen[vi] = {};
    }
    std::vector<std::vector<std::uint32_t>> viewTriangles(views.size());
    for (std::size_t tri = 0; tri < triangleCount; ++tri) {
        Candidates& c = candidates[tri];
        int kept = 0;
        for (int k = 0; k < c.count; ++k) {
            if (c.score[k] >= options.blendFloor * c.score[0]) {
                viewTriangles[std::size_t(c.view[k])].push_back(std::uint32_t(tri));
                ++kept;
            }
        }
        c.count = kept;
        if (kept > 0) {
            ++out.trianglesFromFrames;
        } else {
            ++out.trianglesFromVertexColours;
        }
    }
    if (out.trianglesFromFrames == 0) {
        return unexpected(
            QStringLiteral("None of the %1 frames sees the model's surface.").arg(views.size()));
    }

    // 3. Which triangle owns each texel.
    const int side = options.sizePx;
    const std::size_t texels = std::size_t(side) * side;
    std::vector<std::int32_t> owner(texels, -1);
    const auto texelPos = [&](std::uint32_t v, double& x, double& y) {
        x = double(mesh.texcoords[2 * std::size_t(v)]) * side;
        y = (1.0 - double(mesh.texcoords[2 * std::size_t(v) + 1])) * side;
    };
    // Calls fn(x, y, w0, w1, w2) for each texel whose centre lies in triangle `tri` of the layout.
    const auto forTexels = [&](std::size_t tri, auto&& fn) {
        double ax, ay, bx, by, cx, cy;
        texelPos(mesh.indices[3 * tri], ax, ay);
        texelPos(mesh.indices[3 * tri + 1], bx, by);
        texelPos(mesh.indices[3 * tri + 2], cx, cy);
        rasteriseTriangle(ax, ay, bx, by, cx, cy, side, side, fn);
    };
    for (std::size_t tri = 0; tri < triangleCount; ++tri) {
        forTexels(tri, [&](int x, int y, double, double, double) {
            owner[std::size_t(y) * side + x] = std::int32_t(tri);
        });
    }

    // 4. Frame by frame (a few read at once), every texel of the triangles it colours gathers its colour.
    std::vector<float> sum(texels * 4, 0.0f); // r, g, b, weight
    for (std::size_t first = 0; first < views.size(); first += std::size_t(threads)) {
        if (isCancelled()) {
            return unexpected(QString());
        }
        const std::size_t last = std::min(views.size(), first + std::size_t(threads));
        std::vector<QImage> images(last - first);
        parallelFor(last - first, threads, [&](std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i) {
                if (viewTriangles[first + i].empty()) {
                    continue;
                }
                QImageReader reader(views[first + i].imagePath);
                reader.setAutoTransform(false);
                const QSize size = reader.size();
                const int limit = std::max(16, options.maxImageSidePx);
                if (size.isValid() && std::max(size.width(), size.height()) > limit) {
                    reader.setScaledSize(size.scaled(limit, limit, Qt::KeepAspectRatio));
                }
                images[i] = reader.read().convertToFormat(QImage::Format_RGB888);
            }
        });
        for (std::size_t i = 0; i < images.size(); ++i) {
            const std::size_t vi = first + i;
            if (viewTriangles[vi].empty()) {
                continue;
            }
            const QImage& image = images[i];
            if (image.isNull()) {
                ++out.framesUnreadable;
                continue;
            }
            ++out.framesRead;
            const ViewGeometry& view = geometry[vi];
            const double sx = double(image.width()) / view.camera->widthPx;
            const double sy = double(image.height()) / view.camera->heightPx;
            const std::vector<std::uint32_t>& tris = viewTriangles[vi];
            parallelFor(tris.size(), threads, [&](std::size_t begin, std::size_t end) {
                for (std::size_t k = begin; k < end; ++k) {
                    const std::uint32_t tri = tris[k];
                    const Candidates& c = candidates[tri];
                    float weight = 0;
                    for (int j = 0; j < c.count; ++j) {
                        if (std::size_t(c.view[j]) == vi) {
                            weight = c.score[j] / c.score[0];
                        }
                    }
                    weight *= weight;
                    const Vec p0 = point(mesh.indices[3 * tri]);
                    const Vec p1 = point(mesh.indices[3 * tri + 1]);
                    const Vec p2 = point(mesh.indices[3 * tri + 2]);
                    forTexels(tri, [&](int x, int y, double w0, double w1, double w2) {
                        const std::size_t texel = std::size_t(y) * side + x;
                        if (owner[texel] != std::int32_t(tri)) {
                            return;
                        }
                        const Vec p{w0 * p0.x + w1 * p1.x + w2 * p2.x, w0 * p0.y + w1 * p1.y + w2 * p2.y,
                                    w0 * p0.z + w1 * p1.z + w2 * p2.z};
                        const Vec cam = view.toCamera(p);
                        double u = 0;
                        double v = 0;
                        if (!view.pixel(cam, u, v) || !view.sees(cam, u, v)) {
                            return;
                        }
                        // Bilinear sample; pixel i covers [i, i + 1).
                        const double fx = std::clamp(u * sx - 0.5, 0.0, image.width() - 1.0);
                        const double fy = std::clamp(v * sy - 0.5, 0.0, image.height() - 1.0);
                        const int ix = std::min(int(fx), image.width() - 2 < 0 ? 0 : image.width() - 2);
                        const int iy = std::min(int(fy), image.height() - 2 < 0 ? 0 : image.height() - 2);
                        const int jx = std::min(ix + 1, image.width() - 1);
                        const int jy = std::min(iy + 1, image.height() - 1);
                        const double tx = std::clamp(fx - ix, 0.0, 1.0);
                        const double ty = std::clamp(fy - iy, 0.0, 1.0);
                        const uchar* r0 = image.constScanLine(iy);
                        const uchar* r1 = image.constScanLine(jy);
                        float* s = &sum[texel * 4];
                        for (int ch = 0; ch < 3; ++ch) {
                            const double top = r0[3 * ix + ch] * (1 - tx) + r0[3 * jx + ch] * tx;
                            const double bottom = r1[3 * ix + ch] * (1 - tx) + r1[3 * jx + ch] * tx;
                            s[ch] += weight * float(top * (1 - ty) + bottom * ty);
                        }
                        s[3] += weight;
                    });
                }
            });
        }
    }
    if (out.framesRead == 0) {
        return unexpected(
            QStringLiteral("None of the %1 frames could be read for the texture.").arg(views.size()));
    }

    // 5. The texture: gathered colours, vertex colours where no frame reached, then the gutter.
    QImage texture(side, side, QImage::Format_RGB888);
    texture.fill(QColor(128, 128, 128));
    std::vector<std::uint8_t> filled(texels, 0);
    const bool hasColors = mesh.colors.size() == vertexCount * 3;
    parallelFor(triangleCount, threads, [&](std::size_t begin, std::size_t end) {
        for (std::size_t tri = begin; tri < end; ++tri) {
            forTexels(tri, [&](int x, int y, double w0, double w1, double w2) {
                const std::size_t texel = std::size_t(y) * side + x;
                if (owner[texel] != std::int32_t(tri)) {
                    return;
                }
                uchar* pixel = texture.scanLine(y) + 3 * x;
                const float* s = &sum[texel * 4];
                for (int ch = 0; ch < 3; ++ch) {
                    double value = 128.0;
                    if (s[3] > 0) {
                        value = s[ch] / s[3];
                    } else if (hasColors) {
                        const std::uint32_t* idx = &mesh.indices[3 * tri];
                        value = 255.0 * (w0 * mesh.colors[3 * std::size_t(idx[0]) + ch] +
                                         w1 * mesh.colors[3 * std::size_t(idx[1]) + ch] +
                                         w2 * mesh.colors[3 * std::size_t(idx[2]) + ch]);
                    }
                    pixel[ch] = uchar(std::clamp(std::lround(value), 0L, 255L));
                }
                filled[texel] = 1;
            });
        }
    });
    for (int pass = 0; pass < options.gutterPx; ++pass) {
        std::vector<std::uint8_t> next = filled;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                if (filled[std::size_t(y) * side + x]) {
                    continue;
                }
                int total[3] = {0, 0, 0};
                int count = 0;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = x + dx;
                        const int ny = y + dy;
                        if (nx < 0 || ny < 0 || nx >= side || ny >= side ||
                            !filled[std::size_t(ny) * side + nx]) {
                            continue;
                        }
                        const uchar* p = texture.constScanLine(ny) + 3 * nx;
                        for (int ch = 0; ch < 3; ++ch) {
                            total[ch] += p[ch];
                        }
                        ++count;
                    }
                }
                if (count > 0) {
                    uchar* p = texture.scanLine(y) + 3 * x;
                    for (int ch = 0; ch < 3; ++ch) {
                        p[ch] = uchar((total[ch] + count / 2) / count);
                    }
                    next[std::size_t(y) * side + x] = 1;
                }
            }
        }
        filled.swap(next);
    }
    return texture;
}

} // namespace tovarine::TextureBaker
