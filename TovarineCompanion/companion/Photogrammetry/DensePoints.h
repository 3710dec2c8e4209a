#pragma once

#include "Expected.h"
#include "ObjectPointCloud.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

// The fused dense cloud brought into the object's model frame: read from the fusion step's PLY, moved, scaled
// and oriented like the sparse object cloud, and cropped to the same object bounds (the support surface and
// what lies beyond the object left out). Any thread.
namespace tovarine::DensePoints {

struct Cloud {
    std::vector<geo::Vec3> positions; // model frame, metres
    std::vector<geo::Vec3> normals;   // unit
    std::vector<std::array<std::uint8_t, 3>> colors;
};

// Reads a PLY point cloud (through the reader of surface files: x y z with optional nx ny nz and red green blue);
// points that are not finite are left out. Error: a sentence naming the file; never a crash on bad input.
Expected<Cloud, QString> read(const QString& path);

// The points of `world` (COLMAP's frame) inside the object bounds of `object`, in its model frame.
Cloud toObject(const Cloud& world, const ObjectCloud& object);

// The eight corners, in COLMAP's frame, of the box around the object's points in the model frame, widened on
// every side by `margin` times its largest extent: where dense matching is worth doing. Empty for no points.
std::vector<geo::Vec3> objectRegion(const ObjectCloud& object, double margin);

} // namespace tovarine::DensePoints
