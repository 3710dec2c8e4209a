// synthcapture: renders a synthetic orbit capture of a textured object of known geometry on a textured
// ground.
//   synthcapture --out DIR [--frames 36] [--width 4032] [--height 3024] [--orbits 1|2] [--seed 1] [--threads
//   4] [--relief]
// Writes DIR/Images/frame_00000.jpg ..., DIR/truth/cameras.txt (per frame: name, centre, world-to-camera
// rotation rows, fx fy cx cy) and DIR/truth/surface.ply (the object's true surface, metres, +Y up); with
// --relief also DIR/truth/relief.txt (the surface's vertices on relief features, x y z per line).
#include "SyntheticScene.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSaveFile>
#include <QTextStream>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>
#include <thread>

namespace {

using synth::Vec3f;

struct Camera
{
    QString name;
    Vec3f eye;
    Vec3f rows[3]; // world-to-camera rotation: right, down, forward
    double fx = 0, fy = 0, cx = 0, cy = 0;
    int width = 0, height = 0;

    Vec3f toCamera(const Vec3f& p) const
    {
        const Vec3f d{p.x - eye.x, p.y - eye.y, p.z - eye.z};
        return {rows[0].x * d.x + rows[0].y * d.y + rows[0].z * d.z,
                rows[1].x * d.x + rows[1].y * d.y + rows[1].z * d.z,
                rows[2].x * d.x + rows[2].y * d.y + rows[2].z * d.z};
    }
};

Vec3f normalise(const Vec3f& a)
{
    const double n = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    return {a.x / n, a.y / n, a.z / n};
}

Vec3f cross(const Vec3f& a, const Vec3f& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Camera makeCamera(int index, const Vec3f& eye, const Vec3f& target, int width, int height)
{
    Camera camera;
    camera.name = QStringLiteral("frame_%1.jpg").arg(index, 5, 10, QLatin1Char('0'));
    camera.eye = eye;
    const Vec3f forward = normalise({target.x - eye.x, target.y - eye.y, target.z - eye.z});
    const Vec3f right = normalise(cross(forward, {0, 1, 0}));
    const Vec3f down = cross(forward, right);
    camera.rows[0] = right;
    camera.rows[1] = down;
    camera.rows[2] = forward;
    camera.fx = camera.fy = 0.8 * width;
    camera.cx = width / 2.0;
    camera.cy = height / 2.0;
    camera.width = width;
    camera.height = height;
    return camera;
}

QImage render(const synth::SyntheticScene& scene, const Camera& camera)
{
    const synth::SceneMesh& mesh = scene.mesh();
    const int w = camera.width, h = camera.height;
    std::vector<float> depth(static_cast<std::size_t>(w) * h, std::numeric_limits<float>::infinity());
    std::vector<std::int32_t> triangle(static_cast<std::size_t>(w) * h, -1);
    std::vector<float> baryA(static_cast<std::size_t>(w) * h), baryB(static_cast<std::size_t>(w) * h);

    std::vector<Vec3f> cam(mesh.positions.size());
    for (std::size_t i = 0; i < mesh.positions.size(); ++i) {
        cam[i] = camera.toCamera(mesh.positions[i]);
    }
    for (std::size_t t = 0; t < mesh.indices.size() / 3; ++t) {
        const Vec3f& p0 = cam[mesh.indices[3 * t]];
        const Vec3f& p1 = cam[mesh.indices[3 * t + 1]];
        const Vec3f& p2 = cam[mesh.indices[3 * t + 2]];
        if (p0.z < 0.02 || p1.z < 0.02 || p2.z < 0.02) {
            continue;
        }
        const double u0 = camera.fx * p0.x / p0.z + camera.cx, v0 = camera.fy * p0.y / p0.z + camera.cy;
        const double u1 = camera.fx * p1.x / p1.z + camera.cx, v1 = camera.fy * p1.y / p1.z + camera.cy;
        const double u2 = camera.fx * p2.x / p2.z + camera.cx, v2 = camera.fy * p2.y / p2.z + camera.cy;
        const double area = (u1 - u0) * (v2 - v0) - (u2 - u0) * (v1 - v0);
        if (std::abs(area) < 1e-12) {
            continue;
        }
        const int x0 = std::max(0, static_cast<int>(std::floor(std::min({u0, u1, u2}))));
        const int x1 = std::min(w - 1, static_cast<int>(std::ceil(std::max({u0, u1, u2}))));
        const int y0 = std::max(0, static_cast<int>(std::floor(std::min({v0, v1, v2}))));
        const int y1 = std::min(h - 1, static_cast<int>(std::ceil(std::max({v0, v1, v2}))));
        for (int y = y0; y <= y1; ++y) {
            const double py = y + 0.5;
            for (int x = x0; x <= x1; ++x) {
                const double px = x + 0.5;
                const double l1 = ((px - u0) * (v2 - v0) - (u2 - u0) * (py - v0)) / area;
                const double l2 = ((u1 - u0) * (py - v0) - (px - u0) * (v1 - v0)) / area;
                const double l0 = 1 - l1 - l2;
                if (l0 < 0 || l1 < 0 || l2 < 0) {
                    continue;
                }
                // Perspective-correct weights.
                const double q0 = l0 / p0.z, q1 = l1 / p1.z, q2 = l2 / p2.z;
                const double sum = q0 + q1 + q2;
                const auto z = static_cast<float>(1.0 / sum);
                const std::size_t pixel = static_cast<std::size_t>(y) * w + x;
                if (z < depth[pixel]) {
                    depth[pixel] = z;
                    triangle[pixel] = static_cast<std::int32_t>(t);
                    baryA[pixel] = static_cast<float>(q1 / sum);
                    baryB[pixel] = static_cast<float>(q2 / sum);
                }
            }
        }
    }

    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const std::size_t pixel = static_cast<std::size_t>(y) * w + x;
            std::array<double, 3> colour;
            if (triangle[pixel] < 0) {
                // Featureless sky, brighter toward the top.
                const double v = 0.75 + 0.2 * (1.0 - static_cast<double>(y) / h);
                colour = {v * 0.8, v * 0.88, v};
            } else {
                const std::size_t t = static_cast<std::size_t>(triangle[pixel]);
                const double b1 = baryA[pixel], b2 = baryB[pixel], b0 = 1 - b1 - b2;
                const auto& P = mesh.positions;
                const auto& N = mesh.normals;
                const std::uint32_t i0 = mesh.indices[3 * t], i1 = mesh.indices[3 * t + 1],
                                    i2 = mesh.indices[3 * t + 2];
                const Vec3f p{b0 * P[i0].x + b1 * P[i1].x + b2 * P[i2].x,
                              b0 * P[i0].y + b1 * P[i1].y + b2 * P[i2].y,
                              b0 * P[i0].z + b1 * P[i1].z + b2 * P[i2].z};
                const Vec3f n = normalise({b0 * N[i0].x + b1 * N[i1].x + b2 * N[i2].x,
                                           b0 * N[i0].y + b1 * N[i1].y + b2 * N[i2].y,
                                           b0 * N[i0].z + b1 * N[i1].z + b2 * N[i2].z});
                colour = scene.shade(p, n, mesh.isGround[t] != 0);
            }
            for (int c = 0; c < 3; ++c) {
                line[3 * x + c] = static_cast<uchar>(std::lround(std::clamp(colour[c], 0.0, 1.0) * 255.0));
            }
        }
    }
    return image;
}

bool writeSurface(const synth::SceneMesh& mesh, const QString& path)
{
    QByteArray out("ply\nformat binary_little_endian 1.0\nelement vertex ");
    out += QByteArray::number(static_cast<qulonglong>(mesh.positions.size()));
    out += "\nproperty float x\nproperty float y\nproperty float z\nelement face ";
    out += QByteArray::number(static_cast<qulonglong>(mesh.indices.size() / 3));
    out += "\nproperty list uchar int vertex_indices\nend_header\n";
    for (const Vec3f& p : mesh.positions) {
        for (double v : {p.x, p.y, p.z}) {
            const auto f = static_cast<float>(v);
            out.append(reinterpret_cast<const char*>(&f), 4);
        }
    }
    for (std::size_t t = 0; t < mesh.indices.size(); t += 3) {
        out.append(char(3));
        for (int k = 0; k < 3; ++k) {
            const auto i = static_cast<std::int32_t>(mesh.indices[t + k]);
            out.append(reinterpret_cast<const char*>(&i), 4);
        }
    }
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size() && file.commit();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Renders a synthetic orbit capture with its ground truth."));
    parser.addHelpOption();
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("Output folder."),
                                       QStringLiteral("dir"));
    const QCommandLineOption framesOption(QStringLiteral("frames"), QStringLiteral("Number of frames."),
                                          QStringLiteral("n"), QStringLiteral("36"));
    const QCommandLineOption widthOption(QStringLiteral("width"), QStringLiteral("Frame width."),
                                         QStringLiteral("px"), QStringLiteral("4032"));
    const QCommandLineOption heightOption(QStringLiteral("height"), QStringLiteral("Frame height."),
                                          QStringLiteral("px"), QStringLiteral("3024"));
    const QCommandLineOption orbitsOption(QStringLiteral("orbits"), QStringLiteral("1 or 2 camera orbits."),
                                          QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Texture seed."),
                                        QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption threadsOption(QStringLiteral("threads"), QStringLiteral("Render threads."),
                                           QStringLiteral("n"), QStringLiteral("4"));
    const QCommandLineOption reliefOption(
        QStringLiteral("relief"),
        QStringLiteral("Grooves, bumps and ledges about 1 % of the object's height."));
    parser.addOptions({outOption, framesOption, widthOption, heightOption, orbitsOption, seedOption,
                       threadsOption, reliefOption});
    parser.process(app);
    if (!parser.isSet(outOption)) {
        std::fprintf(stderr, "synthcapture: --out is required\n");
        return 2;
    }
    const QDir out(parser.value(outOption));
    const int frames = std::max(3, parser.value(framesOption).toInt());
    const int width = std::max(64, parser.value(widthOption).toInt());
    const int height = std::max(64, parser.value(heightOption).toInt());
    const int orbits = std::clamp(parser.value(orbitsOption).toInt(), 1, 2);
    const int threads = std::max(1, parser.value(threadsOption).toInt());
    if (!out.mkpath(QStringLiteral("Images")) || !out.mkpath(QStringLiteral("truth"))) {
        std::fprintf(stderr, "synthcapture: cannot create %s\n", qPrintable(out.path()));
        return 1;
    }

    const synth::SyntheticScene scene(static_cast<std::uint32_t>(parser.value(seedOption).toUInt()),
                                      parser.isSet(reliefOption));
    const Vec3f target = scene.objectCentre();
    std::vector<Camera> cameras;
    for (int i = 0; i < frames; ++i) {
        // One orbit at 20 degrees elevation, or two (20 and 40 degrees) sharing the frames; 0.4 m from the
        // object's centre, with a small wobble in distance as a hand-held capture has.
        const int orbit = orbits == 2 ? (i * 2) / frames : 0;
        const int perOrbit = orbits == 2 ? (orbit == 0 ? frames / 2 : frames - frames / 2) : frames;
        const int k = orbits == 2 ? (orbit == 0 ? i : i - frames / 2) : i;
        const double angle = 2 * std::numbers::pi * k / perOrbit + orbit * 0.3;
        const double elevation = (orbit == 0 ? 20.0 : 40.0) * std::numbers::pi / 180.0;
        const double distance = 0.4 * (1.0 + 0.04 * std::sin(3.0 * angle));
        const Vec3f eye{target.x + distance * std::cos(elevation) * std::cos(angle),
                        target.y + distance * std::sin(elevation),
                        target.z + distance * std::cos(elevation) * std::sin(angle)};
        cameras.push_back(makeCamera(i, eye, target, width, height));
    }

    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < std::min(threads, frames); ++t) {
        workers.emplace_back([&] {
            for (int i = next++; i < frames; i = next++) {
                const QImage image = render(scene, cameras[i]);
                if (!image.save(out.filePath(QStringLiteral("Images/") + cameras[i].name), "JPG", 92)) {
                    failed = true;
                }
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    if (failed) {
        std::fprintf(stderr,
                     "synthcapture: a frame could not be written (is the JPEG image plugin installed?)\n");
        return 1;
    }

    QSaveFile cameraFile(out.filePath(QStringLiteral("truth/cameras.txt")));
    if (!cameraFile.open(QIODevice::WriteOnly)) {
        return 1;
    }
    QTextStream stream(&cameraFile);
    stream.setRealNumberPrecision(12);
    stream << "# name cx cy cz r00 r01 r02 r10 r11 r12 r20 r21 r22 fx fy px py (metres, +Y up, world to "
              "camera rows)\n";
    stream << "# object_height_m " << scene.objectHeightM() << "\n";
    if (scene.reliefHeightM() > 0) {
        stream << "# relief_height_m " << scene.reliefHeightM() << "\n";
    }
    for (const Camera& c : cameras) {
        stream << c.name << ' ' << c.eye.x << ' ' << c.eye.y << ' ' << c.eye.z;
        for (const Vec3f& row : c.rows) {
            stream << ' ' << row.x << ' ' << row.y << ' ' << row.z;
        }
        stream << ' ' << c.fx << ' ' << c.fy << ' ' << c.cx << ' ' << c.cy << '\n';
    }
    stream.flush();
    if (!cameraFile.commit() ||
        !writeSurface(scene.objectSurface(), out.filePath(QStringLiteral("truth/surface.ply")))) {
        std::fprintf(stderr, "synthcapture: the ground truth could not be written\n");
        return 1;
    }
    if (scene.reliefHeightM() > 0) {
        QSaveFile reliefFile(out.filePath(QStringLiteral("truth/relief.txt")));
        if (!reliefFile.open(QIODevice::WriteOnly)) {
            return 1;
        }
        QTextStream relief(&reliefFile);
        relief.setRealNumberPrecision(9);
        for (const Vec3f& p : scene.reliefPoints()) {
            relief << p.x << ' ' << p.y << ' ' << p.z << '\n';
        }
        relief.flush();
        if (!reliefFile.commit()) {
            std::fprintf(stderr, "synthcapture: the relief points could not be written\n");
            return 1;
        }
    }
    std::printf("synthcapture: %d frames %dx%d in %s\n", frames, width, height, qPrintable(out.path()));
    return 0;
}
