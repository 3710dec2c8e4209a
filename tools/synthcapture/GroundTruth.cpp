#include "GroundTruth.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <array>
#include <cmath>
#include <nanoflann.hpp>

namespace synth {
namespace {

using tovarine::geo::Mat3;
using tovarine::geo::Vec3;
namespace geo = tovarine::geo;

// Largest eigenvector of a symmetric 4x4 matrix by Jacobi rotations.
std::array<double, 4> largestEigenvector4(std::array<std::array<double, 4>, 4> a)
{
    std::array<std::array<double, 4>, 4> v{};
    for (int i = 0; i < 4; ++i) {
        v[i][i] = 1;
    }
    for (int sweep = 0; sweep < 60; ++sweep) {
        for (int p = 0; p < 3; ++p) {
            for (int q = p + 1; q < 4; ++q) {
                if (std::abs(a[p][q]) < 1e-300) {
                    continue;
                }
                const double theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
                const double t = (theta >= 0 ? 1.0 : -1.0) / (std::abs(theta) + std::sqrt(theta * theta + 1));
                const double c = 1 / std::sqrt(t * t + 1), s = t * c;
                for (int k = 0; k < 4; ++k) {
                    const double akp = a[k][p], akq = a[k][q];
                    a[k][p] = c * akp - s * akq;
                    a[k][q] = s * akp + c * akq;
                }
                for (int k = 0; k < 4; ++k) {
                    const double apk = a[p][k], aqk = a[q][k];
                    a[p][k] = c * apk - s * aqk;
                    a[q][k] = s * apk + c * aqk;
                }
                for (int k = 0; k < 4; ++k) {
                    const double vkp = v[k][p], vkq = v[k][q];
                    v[k][p] = c * vkp - s * vkq;
                    v[k][q] = s * vkp + c * vkq;
                }
            }
        }
    }
    int best = 0;
    for (int i = 1; i < 4; ++i) {
        if (a[i][i] > a[best][best]) {
            best = i;
        }
    }
    return {v[0][best], v[1][best], v[2][best], v[3][best]};
}

double pointTriangleDistance(const Vec3& p, const Vec3& a, const Vec3& b, const Vec3& c)
{
    // Closest point on a triangle (Ericson, Real-Time Collision Detection, 5.1.5).
    const Vec3 ab = b - a, ac = c - a, ap = p - a;
    const double d1 = geo::dot(ab, ap), d2 = geo::dot(ac, ap);
    if (d1 <= 0 && d2 <= 0)
        return geo::norm(p - a);
    const Vec3 bp = p - b;
    const double d3 = geo::dot(ab, bp), d4 = geo::dot(ac, bp);
    if (d3 >= 0 && d4 <= d3)
        return geo::norm(p - b);
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0)
        return geo::norm(p - (a + ab * (d1 / (d1 - d3))));
    const Vec3 cp = p - c;
    const double d5 = geo::dot(ab, cp), d6 = geo::dot(ac, cp);
    if (d6 >= 0 && d5 <= d6)
        return geo::norm(p - c);
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0)
        return geo::norm(p - (a + ac * (d2 / (d2 - d6))));
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) {
        return geo::norm(p - (b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)))));
    }
    const double denom = 1 / (va + vb + vc);
    return geo::norm(p - (a + ab * (vb * denom) + ac * (vc * denom)));
}

struct VertexCloud
{
    const std::vector<float>& positions;
    std::size_t kdtree_get_point_count() const { return positions.size() / 3; }
    float kdtree_get_pt(std::size_t i, std::size_t d) const { return positions[3 * i + d]; }
    template <class B> bool kdtree_get_bbox(B&) const { return false; }
};

} // namespace

tovarine::Expected<GroundTruth, QString> readGroundTruth(const QString& captureFolder)
{
    const QDir dir(captureFolder);
    QFile cameras(dir.filePath(QStringLiteral("truth/cameras.txt")));
    if (!cameras.open(QIODevice::ReadOnly)) {
        return tovarine::unexpected(QStringLiteral("no truth/cameras.txt in %1").arg(captureFolder));
    }
    GroundTruth truth;
    for (const QByteArray& raw : cameras.readAll().split('\n')) {
        const QList<QByteArray> f = raw.simplified().split(' ');
        if (raw.startsWith("# object_height_m") && f.size() >= 3) {
            truth.objectHeightM = f[2].toDouble();
        }
        if (raw.startsWith("# relief_height_m") && f.size() >= 3) {
            truth.reliefHeightM = f[2].toDouble();
        }
        if (raw.startsWith('#') || f.size() < 4) {
            continue;
        }
        truth.cameraCentres.insert(QString::fromUtf8(f[0]),
                                   Vec3{f[1].toDouble(), f[2].toDouble(), f[3].toDouble()});
    }
    auto surface = tovarine::PlyFile::readMesh(dir.filePath(QStringLiteral("truth/surface.ply")));
    if (!surface) {
        return tovarine::unexpected(surface.error());
    }
    truth.surface = std::move(*surface);
    if (truth.reliefHeightM > 0) {
        QFile relief(dir.filePath(QStringLiteral("truth/relief.txt")));
        if (!relief.open(QIODevice::ReadOnly)) {
            return tovarine::unexpected(QStringLiteral("no truth/relief.txt in %1").arg(captureFolder));
        }
        for (const QByteArray& raw : relief.readAll().split('\n')) {
            const QList<QByteArray> f = raw.simplified().split(' ');
            if (f.size() == 3) {
                truth.reliefPoints.push_back({f[0].toDouble(), f[1].toDouble(), f[2].toDouble()});
            }
        }
    }
    return truth;
}

tovarine::Expected<Similarity, QString> alignCameras(const std::vector<std::pair<QString, Vec3>>& recovered,
                                                     const GroundTruth& truth)
{
    std::vector<Vec3> from, to;
    for (const auto& [name, centre] : recovered) {
        const auto found = truth.cameraCentres.constFind(name);
        if (found != truth.cameraCentres.constEnd()) {
            from.push_back(centre);
            to.push_back(*found);
        }
    }
    if (from.size() < 3) {
        return tovarine::unexpected(QStringLiteral("fewer than 3 cameras match the ground truth"));
    }
    Vec3 meanFrom, meanTo;
    for (std::size_t i = 0; i < from.size(); ++i) {
        meanFrom += from[i];
        meanTo += to[i];
    }
    meanFrom = meanFrom / static_cast<double>(from.size());
    meanTo = meanTo / static_cast<double>(to.size());
    double spreadFrom = 0, spreadTo = 0;
    std::array<std::array<double, 3>, 3> s{};
    for (std::size_t i = 0; i < from.size(); ++i) {
        const Vec3 a = from[i] - meanFrom, b = to[i] - meanTo;
        spreadFrom += geo::dot(a, a);
        spreadTo += geo::dot(b, b);
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                s[r][c] += a[r] * b[c];
            }
        }
    }
    const std::array<std::array<double, 4>, 4> n{{
        {s[0][0] + s[1][1] + s[2][2], s[1][2] - s[2][1], s[2][0] - s[0][2], s[0][1] - s[1][0]},
        {s[1][2] - s[2][1], s[0][0] - s[1][1] - s[2][2], s[0][1] + s[1][0], s[2][0] + s[0][2]},
        {s[2][0] - s[0][2], s[0][1] + s[1][0], -s[0][0] + s[1][1] - s[2][2], s[1][2] + s[2][1]},
        {s[0][1] - s[1][0], s[2][0] + s[0][2], s[1][2] + s[2][1], -s[0][0] - s[1][1] + s[2][2]},
    }};
    const auto q = largestEigenvector4(n);
    Similarity result;
    result.rotation = Mat3::fromQuaternion(q[0], q[1], q[2], q[3]);
    result.scale = std::sqrt(spreadTo / spreadFrom);
    result.translation = meanTo - result.rotation * meanFrom * result.scale;
    double squared = 0;
    for (std::size_t i = 0; i < from.size(); ++i) {
        const Vec3 d = result.apply(from[i]) - to[i];
        squared += geo::dot(d, d);
    }
    result.rmsM = std::sqrt(squared / static_cast<double>(from.size()));
    return result;
}

Accuracy measure(const tovarine::ModelMesh& model, const Similarity& alignment, const GroundTruth& truth,
                 std::vector<double>* perVertex)
{
    const auto& tp = truth.surface.positions;
    const auto& ti = truth.surface.indices;
    std::vector<std::vector<std::uint32_t>> incident(tp.size() / 3);
    for (std::size_t t = 0; t < ti.size() / 3; ++t) {
        for (int k = 0; k < 3; ++k) {
            incident[ti[3 * t + k]].push_back(static_cast<std::uint32_t>(t));
        }
    }
    VertexCloud cloud{tp};
    nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<float, VertexCloud>, VertexCloud, 3,
                                        std::size_t>
        tree(3, cloud, nanoflann::KDTreeSingleIndexAdaptorParams(16));
    tree.buildIndex();
    auto vertex = [&](std::uint32_t i) { return Vec3{tp[3 * i], tp[3 * i + 1], tp[3 * i + 2]}; };

    std::vector<double> distances;
    distances.reserve(model.vertexCount());
    constexpr std::size_t k = 8;
    std::size_t indices[k];
    float squared[k];
    for (std::size_t v = 0; v < model.vertexCount(); ++v) {
        const Vec3 p =
            alignment.apply({model.positions[3 * v], model.positions[3 * v + 1], model.positions[3 * v + 2]});
        const float query[3] = {static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)};
        const std::size_t found = tree.knnSearch(query, k, indices, squared);
        double best = found ? std::sqrt(static_cast<double>(squared[0])) : 1e30;
        for (std::size_t n = 0; n < found; ++n) {
            for (std::uint32_t t : incident[indices[n]]) {
                best = std::min(best, pointTriangleDistance(p, vertex(ti[3 * t]), vertex(ti[3 * t + 1]),
                                                            vertex(ti[3 * t + 2])));
            }
        }
        distances.push_back(best);
    }
    if (perVertex) {
        *perVertex = distances;
    }
    Accuracy accuracy;
    accuracy.samples = distances.size();
    if (distances.empty()) {
        return accuracy;
    }
    double sum = 0;
    for (double d : distances) {
        sum += d;
    }
    accuracy.meanM = sum / static_cast<double>(distances.size());
    std::sort(distances.begin(), distances.end());
    accuracy.p95M = distances[static_cast<std::size_t>(0.95 * static_cast<double>(distances.size() - 1))];
    accuracy.maxM = distances.back();
    return accuracy;
}

} // namespace synth
