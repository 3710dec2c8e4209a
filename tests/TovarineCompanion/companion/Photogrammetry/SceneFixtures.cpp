#include "SceneFixtures.h"

#include <QDir>
#include <QFile>
#include <QTextStream>
#include <cmath>
#include <numbers>
#include <random>

namespace tovarine::test {
namespace {

using geo::Mat3;
using geo::Vec3;

struct Similarity
{
    Mat3 rotation = Mat3::fromQuaternion(0.9, 0.2, -0.3, 0.25);
    double scale = 1.0;
    Vec3 offset{1.5, -0.7, 2.2};

    Vec3 apply(const Vec3& p) const { return rotation * p * scale + offset; }
};

// Rotation whose rows are the camera's axes in world coordinates (x right, y down, z forward).
Mat3 lookAt(const Vec3& eye, const Vec3& target)
{
    const Vec3 forward = geo::normalized(target - eye);
    const Vec3 right = geo::normalized(geo::cross(forward, Vec3{0, 1, 0}));
    const Vec3 down = geo::cross(forward, right);
    return Mat3::fromRows(right, down, forward);
}

} // namespace

SparseModel sphereOnGroundModel(double worldScale)
{
    Similarity toWorld;
    toWorld.scale = worldScale;
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 0.0004);
    std::uniform_real_distribution<double> unit(0.0, 1.0);

    SparseModel model;
    const Vec3 centre{0, kSphereRadiusM, 0};
    const int cameras = 24;
    const double elevation = 25.0 * std::numbers::pi / 180.0;
    for (int i = 0; i < cameras; ++i) {
        const double angle = 2 * std::numbers::pi * i / cameras;
        const Vec3 eye = centre + Vec3{std::cos(angle) * std::cos(elevation), std::sin(elevation),
                                       std::sin(angle) * std::cos(elevation)} *
                                      0.4;
        // World-to-camera: R_w = R_model * rotation^T, t = -R_w * (scale * eye + offset).
        const Mat3 rotation = lookAt(eye, centre) * toWorld.rotation.transposed();
        SparseImage image;
        image.id = i + 1;
        image.name = QStringLiteral("frame_%1.jpg").arg(i, 5, 10, QLatin1Char('0'));
        image.rotation = rotation;
        image.translation = -(rotation * toWorld.apply(eye));
        model.images.push_back(image);
    }
    auto addPoint = [&](const Vec3& p, std::vector<int> track, double error) {
        SparsePoint point;
        point.position = toWorld.apply(p + Vec3{noise(random), noise(random), noise(random)});
        point.color = {180, 120, 60};
        point.reprojectionErrorPx = error;
        point.imageIds = std::move(track);
        model.points.push_back(point);
    };
    std::vector<int> allCameras;
    for (int i = 1; i <= cameras; ++i) {
        allCameras.push_back(i);
    }
    // Sphere points: seen by the cameras in front of them.
    for (int i = 0; i < 1500; ++i) {
        const double z = 2 * unit(random) - 1;
        const double phi = 2 * std::numbers::pi * unit(random);
        const Vec3 n{std::sqrt(1 - z * z) * std::cos(phi), z, std::sqrt(1 - z * z) * std::sin(phi)};
        const Vec3 p = centre + n * kSphereRadiusM;
        if (p.y < 0.01) {
            continue; // the underside touching the ground is never seen
        }
        std::vector<int> track;
        for (int c = 0; c < cameras; ++c) {
            if (geo::dot(model.images[c].centre() - toWorld.apply(p), toWorld.rotation * n) > 0) {
                track.push_back(c + 1);
            }
        }
        addPoint(p, track, 0.6);
    }
    // Ground points around the object, out to where the cameras stand.
    for (int i = 0; i < 3000; ++i) {
        const double r = 0.4 * std::sqrt(unit(random));
        const double phi = 2 * std::numbers::pi * unit(random);
        const Vec3 p{r * std::cos(phi), 0, r * std::sin(phi)};
        if (std::hypot(p.x, p.z) < 0.03) {
            continue;
        }
        addPoint(p, allCameras, 0.7);
    }
    // Weak points: short tracks or large errors, scattered through the scene.
    for (int i = 0; i < 200; ++i) {
        const Vec3 p{0.3 * (unit(random) - 0.5), 0.2 * unit(random), 0.3 * (unit(random) - 0.5)};
        addPoint(p, i % 2 ? std::vector<int>{1, 2} : allCameras, i % 2 ? 0.5 : 6.0);
    }
    return model;
}

bool writeTextModel(const SparseModel& model, const QString& folder)
{
    QDir().mkpath(folder);
    QFile cameras(QDir(folder).filePath(QStringLiteral("cameras.txt")));
    QFile images(QDir(folder).filePath(QStringLiteral("images.txt")));
    QFile points(QDir(folder).filePath(QStringLiteral("points3D.txt")));
    if (!cameras.open(QIODevice::WriteOnly) || !images.open(QIODevice::WriteOnly) ||
        !points.open(QIODevice::WriteOnly)) {
        return false;
    }
    QTextStream(&cameras) << "# Camera list\n1 SIMPLE_RADIAL 640 480 544 320 240 0\n";
    QTextStream imageStream(&images);
    imageStream.setRealNumberPrecision(17);
    imageStream << "# Image list with two lines of data per image:\n";
    for (const SparseImage& image : model.images) {
        // Quaternion from the rotation matrix (the trace is positive enough for these views or we fall back).
        const Mat3& r = image.rotation;
        double w = std::sqrt(std::max(0.0, 1 + r(0, 0) + r(1, 1) + r(2, 2))) / 2;
        double x = std::sqrt(std::max(0.0, 1 + r(0, 0) - r(1, 1) - r(2, 2))) / 2;
        double y = std::sqrt(std::max(0.0, 1 - r(0, 0) + r(1, 1) - r(2, 2))) / 2;
        double z = std::sqrt(std::max(0.0, 1 - r(0, 0) - r(1, 1) + r(2, 2))) / 2;
        x = std::copysign(x, r(2, 1) - r(1, 2));
        y = std::copysign(y, r(0, 2) - r(2, 0));
        z = std::copysign(z, r(1, 0) - r(0, 1));
        imageStream << image.id << ' ' << w << ' ' << x << ' ' << y << ' ' << z << ' ' << image.translation.x
                    << ' ' << image.translation.y << ' ' << image.translation.z << " 1 " << image.name
                    << "\n\n";
    }
    QTextStream pointStream(&points);
    pointStream.setRealNumberPrecision(17);
    pointStream << "# 3D point list\n";
    int id = 1;
    for (const SparsePoint& p : model.points) {
        pointStream << id++ << ' ' << p.position.x << ' ' << p.position.y << ' ' << p.position.z << ' '
                    << p.color[0] << ' ' << p.color[1] << ' ' << p.color[2] << ' ' << p.reprojectionErrorPx;
        int k = 0;
        for (int image : p.imageIds) {
            pointStream << ' ' << image << ' ' << k++;
        }
        pointStream << '\n';
    }
    return true;
}

PlyMesh untidySphereSurface()
{
    PlyMesh mesh;
    auto addVertex = [&](const Vec3& p) {
        mesh.positions.insert(mesh.positions.end(), {float(p.x), float(p.y), float(p.z)});
        mesh.colors.insert(mesh.colors.end(), {200, 100, 50});
        return static_cast<std::uint32_t>(mesh.positions.size() / 3 - 1);
    };
    const int rings = 24;
    const int segments = 48;
    const auto base = static_cast<std::uint32_t>(0);
    for (int r = 0; r <= rings; ++r) {
        const double theta = std::numbers::pi * r / rings;
        for (int s = 0; s < segments; ++s) {
            const double phi = 2 * std::numbers::pi * s / segments;
            addVertex(
                Vec3{std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)} *
                    kSphereRadiusM +
                Vec3{0, kSphereRadiusM, 0});
        }
    }
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            const std::uint32_t a = base + r * segments + s;
            const std::uint32_t b = base + r * segments + (s + 1) % segments;
            const std::uint32_t c = a + segments;
            const std::uint32_t d = b + segments;
            // Inward winding on purpose: the clean-up has to turn it outward.
            mesh.indices.insert(mesh.indices.end(), {a, b, c, b, d, c});
        }
    }
    // A slab under the ground and a stray speck beside the object.
    auto addQuad = [&](const Vec3& o, double size) {
        const std::uint32_t a = addVertex(o);
        const std::uint32_t b = addVertex(o + Vec3{size, 0, 0});
        const std::uint32_t c = addVertex(o + Vec3{size, 0, size});
        const std::uint32_t d = addVertex(o + Vec3{0, 0, size});
        mesh.indices.insert(mesh.indices.end(), {a, c, b, a, d, c});
    };
    addQuad({-0.1, -0.02, -0.1}, 0.2);
    addQuad({0.08, 0.03, 0.0}, 0.002);
    return mesh;
}

bool writeAsciiPly(const PlyMesh& mesh, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QTextStream out(&file);
    out.setRealNumberPrecision(9);
    out << "ply\nformat ascii 1.0\nelement vertex " << mesh.positions.size() / 3
        << "\nproperty float x\nproperty float y\nproperty float z\nproperty uchar red\nproperty uchar "
           "green\n"
           "property uchar blue\nelement face "
        << mesh.indices.size() / 3 << "\nproperty list uchar int vertex_indices\nend_header\n";
    for (std::size_t v = 0; v < mesh.positions.size() / 3; ++v) {
        out << mesh.positions[3 * v] << ' ' << mesh.positions[3 * v + 1] << ' ' << mesh.positions[3 * v + 2]
            << ' ' << mesh.colors[3 * v] << ' ' << mesh.colors[3 * v + 1] << ' ' << mesh.colors[3 * v + 2]
            << '\n';
    }
    for (std::size_t t = 0; t < mesh.indices.size(); t += 3) {
        out << "3 " << mesh.indices[t] << ' ' << mesh.indices[t + 1] << ' ' << mesh.indices[t + 2] << '\n';
    }
    return true;
}

} // namespace tovarine::test
