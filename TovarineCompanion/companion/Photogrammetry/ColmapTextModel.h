#pragma once

#include "Expected.h"
#include "Vec3.h"

#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace tovarine {

// One registered frame of a sparse model: world-to-camera rotation and translation (x_cam = R x_world + t).
struct SparseImage
{
    int id = 0;
    int cameraId = 0;
    QString name;
    geo::Mat3 rotation;
    geo::Vec3 translation;

    geo::Vec3 centre() const { return -(rotation.transposed() * translation); }
    // The optical axis (camera +Z) in world coordinates.
    geo::Vec3 viewDirection() const { return rotation.transposed() * geo::Vec3{0, 0, 1}; }
    // The image's "up" (camera -Y, since image rows grow downwards) in world coordinates.
    geo::Vec3 upDirection() const { return rotation.transposed() * geo::Vec3{0, -1, 0}; }
};

struct SparsePoint
{
    geo::Vec3 position;
    std::array<std::uint8_t, 3> color{};
    double reprojectionErrorPx = 0.0;
    std::vector<int> imageIds; // one per observation (the track)
};

// One camera of cameras.txt: its model name (PINHOLE, SIMPLE_RADIAL, …), image size and parameters as listed.
struct SparseCamera
{
    int id = 0;
    QString model;
    int widthPx = 0;
    int heightPx = 0;
    std::vector<double> params;
};

struct SparseModel
{
    std::vector<SparseImage> images;
    std::vector<SparsePoint> points;
    std::vector<SparseCamera> cameras; // empty when the folder has no cameras.txt
};

// Reads the text form of a sparse model (images.txt and points3D.txt in one folder) as written by
// `colmap model_converter --output_type TXT`. Any thread.
namespace ColmapTextModel {

// Error: a sentence naming the file that is missing or malformed (cameras.txt may be missing).
Expected<SparseModel, QString> read(const QString& folder);

// Number of registered images in images.txt of `folder`; 0 when the file is missing or unreadable.
int registeredImageCount(const QString& folder);

// The folder below `root` (one text model each) that registers the most images; empty when none registers
// any.
QString largestModel(const QString& root);

} // namespace ColmapTextModel
} // namespace tovarine
