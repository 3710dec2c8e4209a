#pragma once

#include "ColmapTextModel.h"
#include "PlyFile.h"

#include <QString>

namespace tovarine::test {

// A sparse model of an orbit capture: a sphere (radius 0.06 m, resting on the ground at the origin) on a
// textured ground, 24 cameras on a circle 0.4 m from the sphere's centre looking slightly down, plus a few
// weak points. The whole scene is moved into an arbitrary frame (rotation, scale `worldScale`, offset), as a
// reconstruction without metric scale would place it.
SparseModel sphereOnGroundModel(double worldScale = 3.7);

inline constexpr double kSphereRadiusM = 0.06;

// Writes `model` in COLMAP's text form (cameras.txt, images.txt, points3D.txt) into `folder`.
bool writeTextModel(const SparseModel& model, const QString& folder);

// A UV sphere in the model frame (radius kSphereRadiusM on the ground at the origin), wound inward, with a
// slab below the ground and a small stray component, as a surface reconstruction may return it.
PlyMesh untidySphereSurface();

// Writes `mesh` as ASCII PLY with colours.
bool writeAsciiPly(const PlyMesh& mesh, const QString& path);

} // namespace tovarine::test
