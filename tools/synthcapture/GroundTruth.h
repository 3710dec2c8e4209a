#pragma once

#include "Expected.h"
#include "ModelMesh.h"
#include "PlyFile.h"
#include "Vec3.h"

#include <QHash>
#include <QString>
#include <utility>
#include <vector>

// The ground truth synthcapture writes beside a capture (truth/cameras.txt, truth/surface.ply) and the
// accuracy of a model measured against it. Any thread.
namespace synth {

struct GroundTruth
{
    QHash<QString, tovarine::geo::Vec3> cameraCentres; // by frame name, metres
    tovarine::PlyMesh surface;
    double objectHeightM = 0.0;
    double reliefHeightM = 0.0;                    // 0: the object has no relief
    std::vector<tovarine::geo::Vec3> reliefPoints; // true surface points on relief features
};

// Reads <captureFolder>/truth; an error sentence when it is missing or malformed.
tovarine::Expected<GroundTruth, QString> readGroundTruth(const QString& captureFolder);

// truth ≈ scale * rotation * recovered + translation, least squares over corresponding points (Horn).
struct Similarity
{
    tovarine::geo::Mat3 rotation;
    tovarine::geo::Vec3 translation;
    double scale = 1.0;
    double rmsM = 0.0; // residual over the correspondences

    tovarine::geo::Vec3 apply(const tovarine::geo::Vec3& p) const
    {
        return rotation * p * scale + translation;
    }
};
tovarine::Expected<Similarity, QString>
alignCameras(const std::vector<std::pair<QString, tovarine::geo::Vec3>>& recovered, const GroundTruth& truth);

struct Accuracy
{
    double meanM = 0.0;
    double p95M = 0.0;
    double maxM = 0.0;
    std::size_t samples = 0;
};

// Distances from the model's vertices (after `alignment`) to the true surface.
// `perVertex`, when given, receives each vertex's distance in order.
Accuracy measure(const tovarine::ModelMesh& model, const Similarity& alignment, const GroundTruth& truth,
                 std::vector<double>* perVertex = nullptr);

} // namespace synth
