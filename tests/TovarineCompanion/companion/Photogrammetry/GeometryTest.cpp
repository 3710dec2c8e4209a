#include "ColmapDetailTable.h"
#include "ColmapProgress.h"
#include "ColmapTextModel.h"
#include "DensePoints.h"
#include "MeshCleanup.h"
#include "ObjectPointCloud.h"
#include "PlyFile.h"
#include "PointCloudGeometry.h"
#include "SceneFixtures.h"

#include <QDir>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <random>

using namespace tovarine;
using geo::Vec3;
namespace pcg = PointCloudGeometry;

namespace {

double angleDeg(const Vec3& a, const Vec3& b)
{
    return std::acos(std::clamp(geo::dot(geo::normalized(a), geo::normalized(b)), -1.0, 1.0)) * 180.0 /
           std::numbers::pi;
}

} // namespace

TEST(PointCloudGeometry, SupportPlaneIsFoundUnderTheObjectDespiteAWallAndOutliers)
{
    std::mt19937 random(3);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::normal_distribution<double> noise(0.0, 0.002);
    const Vec3 up = geo::normalized({0.1, 1.0, -0.05});
    const Vec3 a = geo::normalized(geo::cross(up, {0, 0, 1}));
    const Vec3 b = geo::cross(up, a);
    std::vector<Vec3> points;
    for (int i = 0; i < 600; ++i) { // the tilted ground, offset along up by 0.5
        points.push_back(a * u(random) + b * u(random) + up * (0.5 + noise(random)));
    }
    for (int i = 0; i < 900; ++i) { // a larger vertical wall: more points but the wrong orientation
        points.push_back(Vec3{u(random), 0.5 + 1.5 * (u(random) + 1), 0.8 + noise(random)});
    }
    for (int i = 0; i < 300; ++i) { // the object and scattered outliers above the ground
        points.push_back(Vec3{0.2 * u(random), 0.8 + 0.3 * u(random), 0.2 * u(random)});
    }
    pcg::PlaneFitOptions options;
    options.inlierDistance = 0.01;
    const auto plane = pcg::fitSupportPlane(points, {0, 1, 0}, {0, 0.9, 0}, options);
    ASSERT_TRUE(plane.has_value());
    EXPECT_LT(angleDeg(plane->normal, up), 1.0);
    EXPECT_NEAR(plane->offset, 0.5, 0.005);

    // A plane above the reference point is not a support plane; with only the wall left nothing qualifies.
    std::vector<Vec3> wallOnly(points.begin() + 600, points.begin() + 1500);
    EXPECT_FALSE(pcg::fitSupportPlane(wallOnly, {0, 1, 0}, {0, 0.9, 0}, options).has_value());
    EXPECT_FALSE(pcg::fitSupportPlane(points, {0, 1, 0}, {0, 0.2, 0}, options).has_value());
}

TEST(PointCloudGeometry, AxesMeetAtTheObjectAndOrbitUpPointsAwayFromWhereCamerasLook)
{
    std::vector<Vec3> centres, directions;
    const Vec3 target{0.3, -0.2, 1.0};
    for (int i = 0; i < 12; ++i) {
        const double angle = 2 * std::numbers::pi * i / 12;
        const Vec3 c = target + Vec3{std::cos(angle), 0.4, std::sin(angle)};
        centres.push_back(c);
        directions.push_back(target - c);
    }
    const auto meet = pcg::closestPointToLines(centres, directions);
    ASSERT_TRUE(meet.has_value());
    EXPECT_LT(geo::norm(*meet - target), 1e-9);
    EXPECT_LT(angleDeg(pcg::orbitUp(centres, directions), {0, 1, 0}), 1e-6);

    // Parallel axes have no meeting point.
    EXPECT_FALSE(pcg::closestPointToLines({{0, 0, 0}, {1, 0, 0}}, {{0, 0, 1}, {0, 0, 1}}).has_value());
}

TEST(PointCloudGeometry, MetricScaleMakesTheMedianCameraDistanceTheAssumedOne)
{
    const std::vector<Vec3> centres{{2, 0, 0}, {0, 3, 0}, {0, 0, 2.5}, {-100, 0, 0}, {0, -2.5, 0}};
    EXPECT_DOUBLE_EQ(pcg::metricScale(centres, {0, 0, 0}), pcg::kAssumedCameraDistanceM / 2.5);
    EXPECT_DOUBLE_EQ(pcg::metricScale({}, {0, 0, 0}), 1.0);
}

TEST(PointCloudGeometry, NormalsOfASphereFollowTheViewersAndOutliersAreDropped)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<Vec3> points, viewers;
    for (int i = 0; i < 2000; ++i) {
        const double z = 2 * u(random) - 1;
        const double phi = 2 * std::numbers::pi * u(random);
        const Vec3 n{std::sqrt(1 - z * z) * std::cos(phi), z, std::sqrt(1 - z * z) * std::sin(phi)};
        points.push_back(n);
        // The viewer sits outside, off to one side: the sign comes from it, the direction from the fit.
        viewers.push_back(geo::normalized(n * 3.0 + Vec3{0.5, 0.2, 0} - n));
    }
    const std::vector<Vec3> normals = pcg::estimateNormals(points, viewers, 12);
    ASSERT_EQ(normals.size(), points.size());
    int wrong = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (angleDeg(normals[i], points[i]) > 10.0) {
            ++wrong;
        }
    }
    EXPECT_LT(wrong, 20);

    points.push_back({5, 5, 5});
    points.push_back({-4, 0, 0});
    const auto kept = pcg::statisticalInliers(points, 8, 2.5);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), points.size() - 1), 0);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), points.size() - 2), 0);
    EXPECT_GT(kept.size(), 1950u);
}

TEST(ObjectPointCloud, SphereOnGroundBecomesAMetricUprightObjectWithoutTheGround)
{
    const SparseModel model = test::sphereOnGroundModel(3.7);
    const auto cloud = ObjectPointCloud::build(model);
    ASSERT_TRUE(cloud.hasValue()) << cloud.error().toStdString();
    EXPECT_TRUE(cloud->supportPlaneFound);
    ASSERT_GT(cloud->positions.size(), 800u);
    ASSERT_EQ(cloud->normals.size(), cloud->positions.size());
    const Vec3 centre{0, test::kSphereRadiusM, 0};
    int offSurface = 0;
    int inward = 0;
    for (std::size_t i = 0; i < cloud->positions.size(); ++i) {
        const Vec3& p = cloud->positions[i];
        // Metric scale: the cameras stand 0.4 m from the object, so the sphere has its true radius.
        if (std::abs(geo::norm(p - centre) - test::kSphereRadiusM) > 0.003) {
            ++offSurface;
        }
        if (geo::dot(cloud->normals[i], p - centre) < 0) {
            ++inward;
        }
        EXPECT_GT(p.y, 0.002) << "a ground point survived";
    }
    EXPECT_LT(offSurface, 10);
    EXPECT_LT(inward, 10);
    ASSERT_EQ(cloud->cameraCentres.size(), model.images.size());
    for (const auto& [name, c] : cloud->cameraCentres) {
        EXPECT_NEAR(geo::norm(c - centre), 0.4, 0.002) << name.toStdString();
        EXPECT_GT(c.y, centre.y);
    }
}

TEST(DensePoints, ObjectRegionIsThePaddedBoxOfTheObjectInColmapsFrame)
{
    const SparseModel model = test::sphereOnGroundModel(3.7);
    auto cloud = ObjectPointCloud::build(model);
    ASSERT_TRUE(cloud.hasValue()) << cloud.error().toStdString();
    const std::vector<Vec3> corners = DensePoints::objectRegion(*cloud, 0.1);
    ASSERT_EQ(corners.size(), 8u);
    // Back in the model frame the corners span the sphere's box widened by a tenth of its diameter.
    const double r = test::kSphereRadiusM;
    Vec3 low{1e9, 1e9, 1e9}, high{-1e9, -1e9, -1e9};
    for (const Vec3& corner : corners) {
        const Vec3 p = cloud->frame.apply(corner);
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    for (const auto& [lo, hi] : {std::pair{low.x, high.x}, std::pair{low.z, high.z}}) {
        EXPECT_NEAR(lo, -1.2 * r, 0.005);
        EXPECT_NEAR(hi, 1.2 * r, 0.005);
    }
    EXPECT_NEAR(high.y, 2.2 * r, 0.005);
    cloud->positions.clear();
    EXPECT_TRUE(DensePoints::objectRegion(*cloud, 0.1).empty());
}

TEST(ObjectPointCloud, TooFewCamerasOrPointsIsAClearError)
{
    SparseModel model = test::sphereOnGroundModel();
    SparseModel twoCameras = model;
    twoCameras.images.resize(2);
    const auto few = ObjectPointCloud::build(twoCameras);
    ASSERT_FALSE(few.hasValue());
    EXPECT_TRUE(few.error().contains(QStringLiteral("at least 3")));

    model.points.resize(20);
    const auto sparse = ObjectPointCloud::build(model);
    ASSERT_FALSE(sparse.hasValue());
    EXPECT_TRUE(sparse.error().contains(QStringLiteral("reliable points")));
}

TEST(MeshCleanup, KeepsTheObjectFacingOutwardWithinTheCropAndTheCap)
{
    const PlyMesh surface = test::untidySphereSurface();
    MeshCleanup::Options options;
    options.cropRadiusM = 0.2;
    options.cropBottomM = 0.0;
    ModelMesh mesh = MeshCleanup::finish(surface, options);
    ASSERT_GT(mesh.triangleCount(), 0u);
    // The sphere's first and last rings of vertices sit on its poles: of each quad there, the triangle with
    // two corners on the pole has no area and goes.
    EXPECT_EQ(mesh.triangleCount(), 24u * 48u * 2u - 2u * 48u)
        << "the slab below the ground or the speck survived";
    EXPECT_GT(MeshCleanup::signedVolume(mesh.positions, mesh.indices), 0.0);
    EXPECT_EQ(mesh.normals.size(), mesh.positions.size());
    ASSERT_EQ(mesh.colors.size(), mesh.positions.size());
    EXPECT_FLOAT_EQ(mesh.colors[0], 200.0f / 255.0f);
    // Normals point away from the sphere's centre.
    for (std::size_t v = 0; v < mesh.vertexCount(); v += 37) {
        const Vec3 p{mesh.positions[3 * v], mesh.positions[3 * v + 1] - test::kSphereRadiusM,
                     mesh.positions[3 * v + 2]};
        const Vec3 n{mesh.normals[3 * v], mesh.normals[3 * v + 1], mesh.normals[3 * v + 2]};
        EXPECT_GT(geo::dot(p, n), 0.0);
    }

    options.maxTriangles = 500;
    mesh = MeshCleanup::finish(surface, options);
    EXPECT_LE(mesh.triangleCount(), 500u);
    EXPECT_GT(mesh.triangleCount(), 100u);
    EXPECT_GT(MeshCleanup::signedVolume(mesh.positions, mesh.indices), 0.0);

    options.cropRadiusM = 0.001;
    EXPECT_EQ(MeshCleanup::finish(surface, options).triangleCount(), 0u);
}

TEST(MeshCleanup, DropsTrianglesWithoutArea)
{
    // A 10 cm square of two triangles with a small, well-shaped triangle on one corner, and three triangles
    // without area on its edges: one with a corner in the middle of an edge (three distinct, collinear
    // vertices), one whose third vertex repeats another's position under its own index, and a sliver a float
    // step thick that the exporter's scaling can flatten.
    PlyMesh surface;
    surface.positions = {
        0.0f,     0.0f,     0.0f,        // 0
        0.1f,     0.0f,     0.0f,        // 1
        0.1f,     0.0f,     0.1f,        // 2
        0.0f,     0.0f,     0.1f,        // 3
        0.05f,    0.0f,     0.0f,        // 4: on the edge 0-1
        0.1f,     0.0f,     0.1f,        // 5: where 2 is
        0.05f,    0.0f,     0.10000001f, // 6: a float step off the edge 3-2
        0.1f,     0.00001f, 0.1f,        // 7
        0.09999f, 0.00001f, 0.1f,        // 8
    };
    surface.indices = {0, 2, 1, 0, 3, 2, 2, 7, 8, 0, 1, 4, 1, 5, 2, 3, 6, 2};
    MeshCleanup::Options options;
    options.minComponentFraction = 0.0;
    const ModelMesh mesh = MeshCleanup::finish(surface, options);

    ASSERT_EQ(mesh.triangleCount(), 3u);
    EXPECT_EQ(mesh.vertexCount(), 6u);
    // Every triangle left keeps its area in the millimetre, Z-up coordinates the OBJ is written in.
    for (std::size_t t = 0; t < mesh.triangleCount(); ++t) {
        Vec3 corner[3];
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t v = mesh.indices[3 * t + k];
            const float x = mesh.positions[3 * v] * 1000.0f, y = mesh.positions[3 * v + 1] * 1000.0f,
                        z = mesh.positions[3 * v + 2] * 1000.0f;
            corner[k] = {x, -z, y};
        }
        EXPECT_GT(geo::norm(geo::cross(corner[1] - corner[0], corner[2] - corner[0])), 0.0) << t;
    }
}

TEST(PlyFile, ReadsBothEncodingsAndRejectsBrokenFiles)
{
    QTemporaryDir dir;
    const PlyMesh sphere = test::untidySphereSurface();
    const QString ascii = dir.filePath(QStringLiteral("ascii.ply"));
    ASSERT_TRUE(test::writeAsciiPly(sphere, ascii));
    const auto read = PlyFile::readMesh(ascii);
    ASSERT_TRUE(read.hasValue()) << read.error().toStdString();
    EXPECT_EQ(read->indices, sphere.indices);
    EXPECT_EQ(read->colors, sphere.colors);
    ASSERT_EQ(read->positions.size(), sphere.positions.size());
    EXPECT_NEAR(read->positions[100], sphere.positions[100], 1e-6);

    // The point cloud written for the surface step reads back (vertex part only, no faces).
    const QString cloudPath = dir.filePath(QStringLiteral("cloud.ply"));
    ASSERT_TRUE(PlyFile::writePointCloud(cloudPath, {{1, 2, 3}, {4, 5, 6}}, {{0, 1, 0}, {1, 0, 0}},
                                         {{1, 2, 3}, {4, 5, 6}})
                    .hasValue());
    const auto cloud = PlyFile::readMesh(cloudPath);
    ASSERT_TRUE(cloud.hasValue());
    EXPECT_EQ(cloud->positions, (std::vector<float>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(cloud->colors, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(cloud->normals, (std::vector<float>{0, 1, 0, 1, 0, 0}));
    EXPECT_TRUE(read->normals.empty()) << "a surface without normals reads without them";
    const auto dense = DensePoints::read(cloudPath);
    ASSERT_TRUE(dense.hasValue()) << dense.error().toStdString();
    ASSERT_EQ(dense->positions.size(), 2u);
    EXPECT_EQ(dense->normals[1].x, 1.0);
    EXPECT_EQ(dense->colors[1], (std::array<std::uint8_t, 3>{4, 5, 6}));

    const struct
    {
        const char* name;
        QByteArray bytes;
    } broken[] = {
        {"not a ply", "hello"},
        {"truncated binary",
         "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\nend_header\n\x01\x02"},
        {"index out of range",
         "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
         "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n"
         "0 0 0\n3 0 1 2\n"},
        {"absurd count",
         "ply\nformat ascii 1.0\nelement vertex 99999999999\nproperty float x\nend_header\n1\n"},
        {"big endian", "ply\nformat binary_big_endian 1.0\nelement vertex 0\nend_header\n"},
    };
    for (const auto& c : broken) {
        const QString path = dir.filePath(QStringLiteral("broken.ply"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.bytes);
        file.close();
        EXPECT_FALSE(PlyFile::readMesh(path).hasValue()) << c.name;
    }
    EXPECT_FALSE(PlyFile::readMesh(dir.filePath(QStringLiteral("missing.ply"))).hasValue());
}

// Float colour channels run 0...1; whatever a file holds instead, NaN included, gives a channel of 0...255.
TEST(PlyFile, FloatColoursOfAnyValueGiveAChannelInRange)
{
    const struct
    {
        const char* name;
        QByteArray red; // little-endian float
        std::uint8_t channel;
    } cases[] = {
        {"half", QByteArray("\x00\x00\x00\x3f", 4), 127},
        {"one", QByteArray("\x00\x00\x80\x3f", 4), 255},
        {"above one", QByteArray("\x00\x00\x00\x40", 4), 255},
        {"negative", QByteArray("\x00\x00\x80\xbf", 4), 0},
        {"infinity", QByteArray("\x00\x00\x80\x7f", 4), 255},
        {"minus infinity", QByteArray("\x00\x00\x80\xff", 4), 0},
        {"NaN", QByteArray("\xff\xff\xff\xff", 4), 0},
        {"quiet NaN", QByteArray("\x00\x00\xc0\x7f", 4), 0},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        QByteArray bytes("ply\nformat binary_little_endian 1.0\nelement vertex 1\nproperty float x\n"
                         "property float y\nproperty float z\nproperty float red\nproperty float green\n"
                         "property float blue\nend_header\n");
        bytes.append(QByteArray(12, '\0')); // x y z
        bytes.append(c.red);
        bytes.append(QByteArray("\x00\x00\x80\x3f", 4)); // green 1
        bytes.append(QByteArray(4, '\0'));                 // blue 0
        const QString path = dir.filePath(QStringLiteral("colour.ply"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        const auto read = PlyFile::readMesh(path);
        ASSERT_TRUE(read.hasValue()) << c.name << ": " << read.error().toStdString();
        EXPECT_EQ(read->colors, (std::vector<std::uint8_t>{c.channel, 255, 0})) << c.name;
    }
}

TEST(ColmapTextModel, ReadsWhatColmapWritesIncludingImagesWithoutObservations)
{
    QTemporaryDir dir;
    const SparseModel model = test::sphereOnGroundModel();
    ASSERT_TRUE(test::writeTextModel(model, dir.path()));
    const auto read = ColmapTextModel::read(dir.path());
    ASSERT_TRUE(read.hasValue()) << read.error().toStdString();
    ASSERT_EQ(read->images.size(), model.images.size());
    EXPECT_EQ(ColmapTextModel::registeredImageCount(dir.path()), static_cast<int>(model.images.size()));
    // Of several models, the one that registers the most images; none without images.txt.
    QTemporaryDir root;
    SparseModel fewer = model;
    fewer.images.resize(3);
    ASSERT_TRUE(test::writeTextModel(fewer, root.filePath(QStringLiteral("0"))));
    ASSERT_TRUE(test::writeTextModel(model, root.filePath(QStringLiteral("1"))));
    ASSERT_TRUE(QDir(root.path()).mkdir(QStringLiteral("2")));
    EXPECT_EQ(ColmapTextModel::largestModel(root.path()), root.filePath(QStringLiteral("1")));
    EXPECT_EQ(ColmapTextModel::largestModel(root.filePath(QStringLiteral("2"))), QString());
    EXPECT_EQ(read->images[5].name, model.images[5].name);
    EXPECT_LT(geo::norm(read->images[5].centre() - model.images[5].centre()), 1e-9);
    ASSERT_EQ(read->points.size(), model.points.size());
    EXPECT_EQ(read->points[10].imageIds, model.points[10].imageIds);
    ASSERT_EQ(read->cameras.size(), 1u);
    EXPECT_EQ(read->cameras[0].model, QStringLiteral("SIMPLE_RADIAL"));
    EXPECT_EQ(read->cameras[0].widthPx, 640);
    EXPECT_EQ(read->cameras[0].params, (std::vector<double>{544, 320, 240, 0}));
    EXPECT_EQ(read->images[5].cameraId, 1);
    QFile cameras(dir.filePath(QStringLiteral("cameras.txt")));
    ASSERT_TRUE(cameras.open(QIODevice::WriteOnly));
    cameras.write("1 PINHOLE 640 480 500 500 320 two\n");
    cameras.close();
    EXPECT_FALSE(ColmapTextModel::read(dir.path()).hasValue()) << "a malformed camera is an error";
    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("cameras.txt"))));

    QFile images(dir.filePath(QStringLiteral("images.txt")));
    ASSERT_TRUE(images.open(QIODevice::WriteOnly));
    images.write("# comment\n1 1 0 0 0 0 0 0 1 a b.jpg\n\n2 1 0 0 0 1 0 0 1 c.jpg\n1.0 2.0 -1\n");
    images.close();
    const auto spaced = ColmapTextModel::read(dir.path());
    ASSERT_TRUE(spaced.hasValue());
    ASSERT_EQ(spaced->images.size(), 2u);
    EXPECT_EQ(spaced->images[0].name, QStringLiteral("a b.jpg"));
    EXPECT_EQ(spaced->images[1].name, QStringLiteral("c.jpg"));

    ASSERT_TRUE(images.open(QIODevice::WriteOnly));
    images.write("1 1 0 zero 0 0 0 0 1 a.jpg\n\n");
    images.close();
    EXPECT_FALSE(ColmapTextModel::read(dir.path()).hasValue());
    EXPECT_FALSE(ColmapTextModel::read(dir.filePath(QStringLiteral("nothing"))).hasValue());
}

TEST(ColmapProgress, LinesOfEachStageGiveTheirPosition)
{
    using ColmapProgress::Stage;
    const struct
    {
        Stage stage;
        const char* line;
        std::optional<double> within;
    } cases[] = {
        {Stage::extract, "Processed file [3/12]", 0.25},
        {Stage::extract, "Matching image [3/12]", std::nullopt},
        {Stage::match, "Matching image [6/12] in 0.2s", 0.5},
        {Stage::match, "Matching block [1/3, 1/3] in 1.0s", 1.0 / 9},
        {Stage::match, "Matching block [3/3, 3/3] in 1.0s", 1.0},
        {Stage::map, "Registering image #17 (9)", 9.0 / 36},
        {Stage::map, "Registering image #17 (90)", 1.0},
        {Stage::map, "Processed file [3/12]", std::nullopt},
        {Stage::extract, "Processed file [3/0]", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto within = ColmapProgress::parseLine(c.stage, c.line, 36);
        ASSERT_EQ(within.has_value(), c.within.has_value()) << c.line;
        if (within) {
            EXPECT_NEAR(*within, *c.within, 1e-12) << c.line;
        }
    }
    EXPECT_DOUBLE_EQ(ColmapProgress::overall(Stage::prepare, 0.0), 0.0);
    EXPECT_DOUBLE_EQ(ColmapProgress::overall(Stage::cleanup, 1.0), 1.0);
    EXPECT_DOUBLE_EQ(ColmapProgress::overall(Stage::map, std::nan("")),
                     ColmapProgress::stageStart(Stage::map));
    EXPECT_LT(ColmapProgress::creep(1e9, 5.0), 1.0);
}

TEST(ColmapDetailTable, ExtractionThreadsStayWithinMemoryAndTrimFollowsTheSampling)
{
    // Sparse clouds support only a shallow octree: a deeper trim would empty the mesh.
    EXPECT_EQ(ColmapDetailTable::poissonTrim(5, 700), 2);
    EXPECT_EQ(ColmapDetailTable::poissonTrim(5, 20'000), 5);
    EXPECT_EQ(ColmapDetailTable::poissonTrim(5, 1'000'000), 5);
    EXPECT_EQ(ColmapDetailTable::poissonTrim(5, 0), 0);

    constexpr qint64 kGiB = 1024LL * 1024 * 1024;
    // Three quarters of the memory available, at about 2.3 GB a thread at 3200 px.
    const struct
    {
        int imageSizePx;
        qint64 available;
        int maxThreads;
        int expected;
    } cases[] = {
        {3200, 64 * kGiB, 8, 8}, // a large machine is not held to a fixed budget
        {3200, 24 * kGiB, 8, 7}, {3200, 10 * kGiB, 8, 3}, {4032, 10 * kGiB, 8, 2},
        {1024, 10 * kGiB, 8, 8}, {3200, 2 * kGiB, 8, 1}, // never fewer than one
        {640, 64 * kGiB, 3, 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ColmapDetailTable::extractionThreads(c.imageSizePx, c.available, c.maxThreads), c.expected)
            << c.imageSizePx << " px, " << c.available / kGiB << " GiB";
    }
    EXPECT_EQ(ColmapDetailTable::poissonThreads(3000, 4), 1);
    EXPECT_EQ(ColmapDetailTable::poissonThreads(200'000, 4), 4);
}
