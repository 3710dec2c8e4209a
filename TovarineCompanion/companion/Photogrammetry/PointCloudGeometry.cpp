#include "PointCloudGeometry.h"

#include <algorithm>
#include <cmath>
#include <nanoflann.hpp>
#include <numbers>
#include <random>

namespace tovarine::PointCloudGeometry {
namespace {

using geo::Vec3;

struct CloudAdaptor
{
    const std::vector<Vec3>& points;
    std::size_t kdtree_get_point_count() const { return points.size(); }
    double kdtree_get_pt(std::size_t i, std::size_t dim) const { return points[i][static_cast<int>(dim)]; }
    template <class Box> bool kdtree_get_bbox(Box&) const { return false; }
};

using KdTree = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<double, CloudAdaptor>,
                                                   CloudAdaptor, 3, std::size_t>;

geo::Mat3 covariance(const std::vector<Vec3>& points, const Vec3& mean)
{
    geo::Mat3 c{{0, 0, 0, 0, 0, 0, 0, 0, 0}};
    for (const Vec3& p : points) {
        const Vec3 d = p - mean;
        for (int r = 0; r < 3; ++r) {
            for (int col = 0; col < 3; ++col) {
                c(r, col) += d[r] * d[col];
            }
        }
    }
    return c;
}

Vec3 mean(const std::vector<Vec3>& points)
{
    Vec3 sum;
    for (const Vec3& p : points) {
        sum += p;
    }
    return points.empty() ? sum : sum / static_cast<double>(points.size());
}

} // namespace

double median(std::vector<double> values)
{
    if (values.empty()) {
        return 0.0;
    }
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

Plane fitPlane(const std::vector<Vec3>& points)
{
    const Vec3 centre = mean(points);
    const geo::SymmetricEigen eigen = geo::symmetricEigen(covariance(points, centre));
    Plane plane;
    plane.normal = eigen.eigenvectors[0];
    plane.offset = geo::dot(plane.normal, centre);
    return plane;
}

std::optional<Plane> fitSupportPlane(const std::vector<Vec3>& points, const Vec3& upHint, const Vec3& above,
                                     const PlaneFitOptions& options)
{
    if (points.size() < 3) {
        return std::nullopt;
    }
    const Vec3 up = geo::normalized(upHint);
    const double minCos = std::cos(options.maxTiltDeg * std::numbers::pi / 180.0);
    std::mt19937 random(options.seed);
    std::uniform_int_distribution<std::size_t> pick(0, points.size() - 1);

    std::size_t bestCount = 0;
    Plane best;
    for (int iteration = 0; iteration < options.iterations; ++iteration) {
        const Vec3& a = points[pick(random)];
        const Vec3& b = points[pick(random)];
        const Vec3& c = points[pick(random)];
        Vec3 normal = geo::cross(b - a, c - a);
        if (geo::norm(normal) < 1e-12) {
            continue;
        }
        normal = geo::normalized(normal);
        if (geo::dot(normal, up) < 0) {
            normal = -normal;
        }
        if (geo::dot(normal, up) < minCos) {
            continue;
        }
        Plane candidate{normal, geo::dot(normal, a)};
        if (candidate.signedDistance(above) <= options.inlierDistance) {
            continue;
        }
        std::size_t count = 0;
        for (const Vec3& p : points) {
            if (std::abs(candidate.signedDistance(p)) <= options.inlierDistance) {
                ++count;
            }
        }
        if (count > bestCount) {
            bestCount = count;
            best = candidate;
        }
    }
    if (bestCount < std::max<std::size_t>(options.minInliers, 3)) {
        return std::nullopt;
    }
    std::vector<Vec3> inliers;
    inliers.reserve(bestCount);
    for (const Vec3& p : points) {
        if (std::abs(best.signedDistance(p)) <= options.inlierDistance) {
            inliers.push_back(p);
        }
    }
    Plane refined = fitPlane(inliers);
    if (geo::dot(refined.normal, up) < 0) {
        refined.normal = -refined.normal;
        refined.offset = -refined.offset;
    }
    // Keep the refinement only when it still honours the constraints it was searched under.
    if (geo::dot(refined.normal, up) < minCos || refined.signedDistance(above) <= 0) {
        return best;
    }
    return refined;
}

std::optional<Vec3> closestPointToLines(const std::vector<Vec3>& centres, const std::vector<Vec3>& directions)
{
    if (centres.size() < 2 || centres.size() != directions.size()) {
        return std::nullopt;
    }
    geo::Mat3 a{{0, 0, 0, 0, 0, 0, 0, 0, 0}};
    Vec3 b;
    for (std::size_t i = 0; i < centres.size(); ++i) {
        const Vec3 d = geo::normalized(directions[i]);
        geo::Mat3 projector;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                projector(r, c) = (r == c ? 1.0 : 0.0) - d[r] * d[c];
            }
        }
        for (int k = 0; k < 9; ++k) {
            a.m[k] += projector.m[k];
        }
        b += projector * centres[i];
    }
    // Lines that are nearly parallel leave one direction unconstrained.
    const geo::SymmetricEigen eigen = geo::symmetricEigen(a);
    if (eigen.eigenvalues[0] < 1e-3 * static_cast<double>(centres.size())) {
        return std::nullopt;
    }
    Vec3 x;
    if (!geo::solve3(a, b, x)) {
        return std::nullopt;
    }
    return x;
}

Vec3 orbitUp(const std::vector<Vec3>& cameraCentres, const std::vector<Vec3>& viewDirections)
{
    if (cameraCentres.size() < 3) {
        return {0, 0, 1};
    }
    Vec3 up = fitPlane(cameraCentres).normal;
    double lookSum = 0.0;
    for (const Vec3& d : viewDirections) {
        lookSum += geo::dot(geo::normalized(d), up);
    }
    return lookSum > 0 ? -up : up;
}

double metricScale(const std::vector<Vec3>& cameraCentres, const Vec3& objectCentre)
{
    std::vector<double> distances;
    distances.reserve(cameraCentres.size());
    for (const Vec3& c : cameraCentres) {
        distances.push_back(geo::norm(c - objectCentre));
    }
    const double typical = median(distances);
    return typical > 0 ? kAssumedCameraDistanceM / typical : 1.0;
}

std::vector<Vec3> estimateNormals(const std::vector<Vec3>& points, const std::vector<Vec3>& towardViewer,
                                  int k, const std::atomic<bool>* cancelled)
{
    std::vector<Vec3> normals(points.size());
    if (points.empty()) {
        return normals;
    }
    CloudAdaptor adaptor{points};
    KdTree tree(3, adaptor, nanoflann::KDTreeSingleIndexAdaptorParams(16));
    tree.buildIndex();
    const std::size_t wanted = std::min<std::size_t>(static_cast<std::size_t>(std::max(k, 3)), points.size());
    std::vector<std::size_t> indices(wanted);
    std::vector<double> distances(wanted);
    std::vector<Vec3> neighbours;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (cancelled && (i & 1023) == 0 && cancelled->load()) {
            return {};
        }
        const double query[3] = {points[i].x, points[i].y, points[i].z};
        const std::size_t found = tree.knnSearch(query, wanted, indices.data(), distances.data());
        const Vec3 viewer = i < towardViewer.size() ? towardViewer[i] : Vec3{};
        if (found < 3) {
            normals[i] = geo::normalized(viewer);
            continue;
        }
        neighbours.clear();
        for (std::size_t n = 0; n < found; ++n) {
            neighbours.push_back(points[indices[n]]);
        }
        Vec3 normal = fitPlane(neighbours).normal;
        if (geo::dot(normal, viewer) < 0) {
            normal = -normal;
        }
        normals[i] = normal;
    }
    return normals;
}

std::vector<std::size_t> statisticalInliers(const std::vector<Vec3>& points, int k, double stdDevs)
{
    std::vector<std::size_t> kept;
    if (points.size() <= static_cast<std::size_t>(k)) {
        for (std::size_t i = 0; i < points.size(); ++i) {
            kept.push_back(i);
        }
        return kept;
    }
    CloudAdaptor adaptor{points};
    KdTree tree(3, adaptor, nanoflann::KDTreeSingleIndexAdaptorParams(16));
    tree.buildIndex();
    const std::size_t wanted = static_cast<std::size_t>(k) + 1; // the point itself comes first
    std::vector<std::size_t> indices(wanted);
    std::vector<double> distances(wanted);
    std::vector<double> meanDistance(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double query[3] = {points[i].x, points[i].y, points[i].z};
        const std::size_t found = tree.knnSearch(query, wanted, indices.data(), distances.data());
        double sum = 0.0;
        for (std::size_t n = 1; n < found; ++n) {
            sum += std::sqrt(distances[n]);
        }
        meanDistance[i] = found > 1 ? sum / static_cast<double>(found - 1) : 0.0;
    }
    double mu = 0.0;
    for (double d : meanDistance) {
        mu += d;
    }
    mu /= static_cast<double>(meanDistance.size());
    double variance = 0.0;
    for (double d : meanDistance) {
        variance += (d - mu) * (d - mu);
    }
    const double sigma = std::sqrt(variance / static_cast<double>(meanDistance.size()));
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (meanDistance[i] <= mu + stdDevs * sigma) {
            kept.push_back(i);
        }
    }
    return kept;
}

} // namespace tovarine::PointCloudGeometry
