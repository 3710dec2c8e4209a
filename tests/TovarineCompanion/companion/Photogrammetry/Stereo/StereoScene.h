#pragma once

#include "StereoTypes.h"

#include <vector>

// Small scenes with known depth for the stereo tests: frames of a textured sphere in front of a textured back
// wall (or the wall alone), rendered by ray casting from cameras on an arc.
namespace tovarine::stereo::test {

struct Scene {
    bool withSphere = true;
    float sphereRadius = 0.5f;
    float wallZ = -1.0f;
};

// Depth of the surface seen through pixel (x, y) of `camera`; 0 when nothing is hit.
float trueDepth(const Scene& scene, const PinholeCamera& camera, int x, int y);

// `count` views spread over `spreadDegrees` on an arc of radius 2 around the origin, each looking at it.
std::vector<StereoView> renderViews(const Scene& scene, int count, float spreadDegrees, int width, int height);

} // namespace tovarine::stereo::test
