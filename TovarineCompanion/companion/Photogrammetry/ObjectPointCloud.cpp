#include "ObjectPointCloud.h"

#include "PointCloudGeometry.h"

#include <QHash>
#include <algorithm>
#include <cmath>

namespace tovarine::ObjectPointCloud {
namespace {

using geo::Vec3;
namespace pcg = PointCloudGeometry;

// Width of the support plane's inlier band in metres before the scale is applied to the points.
constexpr double kPlaneInlierM = 0.003;
// Fewer object points than this cannot give a meaningful surface.
constexpr std::size_t kMinObjectPoints = 50;

ModelFrame makeFrame(const Vec3& origin, const Vec3& up, const Vec3& towardFirstCamera, double scale)
{
    Vec3 x = towardFirstCamera - up * geo::dot(towardFirstCamera, up);
    if (geo::norm(x) < 1e-9) {
        x = std::abs(up.x) < 0.9 ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
        x = x - up * geo::dot(x, up);
    }
    x = geo::normalized(x);
    const Vec3 z = geo::cross(x, up);
    ModelFrame frame;
    frame.rotation = geo::Mat3::fromRows(x, up, z);
    frame.origin = origin;
    frame.scale = scale;
    return frame;
}

} // namespace

Expected<ObjectCloud, QString> build(const SparseModel& model, const ObjectCloudOptions& options,
                                     const std::atomic<bool>* cancelled)
{
    auto isCancelled = [&] { return cancelled && cancelled->load(); };
    if (model.images.size() < 3) {
        return unexpected(QStringLiteral("Only %1 frames could be placed; at least 3 are needed.")
                              .arg(model.images.size()));
    }

    std::vector<Vec3> centres;
    std::vector<Vec3> directions;
    QHash<int, std::size_t> imageIndex;
    for (const SparseImage& image : model.images) {
        imageIndex.insert(image.id, centres.size());
        centres.push_back(image.centre());
        directions.push_back(image.viewDirection());
    }

    // Weak points: short tracks or large reprojection errors. Small captures may have few long tracks, so the
    // track rule relaxes to 2 when it would leave too little.
    auto strongPoints = [&](int minTrack) {
        std::vector<std::size_t> kept;
        for (std::size_t i = 0; i < model.points.size(); ++i) {
            const SparsePoint& p = model.points[i];
            if (static_cast<int>(p.imageIds.size()) >= minTrack &&
                p.reprojectionErrorPx <= options.maxReprojectionErrorPx) {
                kept.push_back(i);
            }
        }
        return kept;
    };
    std::vector<std::size_t> strong = strongPoints(options.minTrackLength);
    if (strong.size() < 4 * kMinObjectPoints && options.minTrackLength > 2) {
        strong = strongPoints(2);
    }
    std::vector<Vec3> worldPoints;
    worldPoints.reserve(strong.size());
    for (std::size_t i : strong) {
        worldPoints.push_back(model.points[i].position);
    }
    if (worldPoints.size() < kMinObjectPoints) {
        return unexpected(
            QStringLiteral(
                "Only %1 reliable points could be reconstructed; the frames show too little texture or "
                "overlap.")
                .arg(worldPoints.size()));
    }

    Vec3 centre;
    if (const auto axesMeet = pcg::closestPointToLines(centres, directions)) {
        centre = *axesMeet;
    } else {
        std::vector<double> xs, ys, zs;
        for (const Vec3& p : worldPoints) {
            xs.push_back(p.x);
            ys.push_back(p.y);
            zs.push_back(p.z);
        }
        centre = {pcg::median(xs), pcg::median(ys), pcg::median(zs)};
    }
    Vec3 up = pcg::orbitUp(centres, directions);
    const double scale = pcg::metricScale(centres, centre);

    pcg::PlaneFitOptions planeOptions;
    planeOptions.inlierDistance = kPlaneInlierM / scale;
    const auto plane = pcg::fitSupportPlane(worldPoints, up, centre, planeOptions);
    Vec3 origin = centre;
    if (plane) {
        up = plane->normal;
        origin = centre - up * plane->signedDistance(centre);
    }
    if (isCancelled()) {
        return unexpected(QString());
    }

    ObjectCloud cloud;
    cloud.supportPlaneFound = plane.has_value();
    cloud.frame = makeFrame(origin, up, centres.front() - origin, scale);
    std::vector<Vec3> modelCentres;
    std::vector<double> horizontal;
    std::vector<double> heights;
    for (std::size_t i = 0; i < model.images.size(); ++i) {
        const Vec3 c = cloud.frame.apply(centres[i]);
        modelCentres.push_back(c);
        cloud.cameraCentres.emplace_back(model.images[i].name, c);
        horizontal.push_back(std::hypot(c.x, c.z));
        heights.push_back(c.y);
    }
    cloud.cropRadiusM = options.cropRadiusFraction * pcg::median(horizontal);
    cloud.cropBottomM = plane ? options.supportBandM : -1e30;
    cloud.cropTopM = std::max(pcg::median(heights), 0.0) + cloud.cropRadiusM;

    std::vector<Vec3> positions;
    std::vector<Vec3> towardViewer;
    std::vector<std::array<std::uint8_t, 3>> colors;
    for (std::size_t i : strong) {
        const SparsePoint& point = model.points[i];
        const Vec3 p = cloud.frame.apply(point.position);
        if (std::hypot(p.x, p.z) > cloud.cropRadiusM || p.y < cloud.cropBottomM || p.y > cloud.cropTopM) {
            continue;
        }
        Vec3 viewer;
        for (int id : point.imageIds) {
            const auto found = imageIndex.constFind(id);
            if (found != imageIndex.constEnd()) {
                viewer += geo::normalized(modelCentres[*found] - p);
            }
        }
        positions.push_back(p);
        towardViewer.push_back(viewer);
        colors.push_back(point.color);
    }
    const std::vector<std::size_t> inliers = pcg::statisticalInliers(positions, 8, options.outlierStdDevs);
    if (inliers.size() < kMinObjectPoints) {
        return unexpected(
            QStringLiteral("Only %1 points of the object could be reconstructed; the frames show "
                           "too little texture or overlap.")
                .arg(inliers.size()));
    }
    std::vector<Vec3> viewers;
    cloud.positions.reserve(inliers.size());
    for (std::size_t i : inliers) {
        cloud.positions.push_back(positions[i]);
        cloud.colors.push_back(colors[i]);
        viewers.push_back(towardViewer[i]);
    }
    if (isCancelled()) {
        return unexpected(QString());
    }
    cloud.normals = pcg::estimateNormals(cloud.positions, viewers, options.normalNeighbours, cancelled);
    if (isCancelled()) {
        return unexpected(QString());
    }
    return cloud;
}

} // namespace tovarine::ObjectPointCloud
