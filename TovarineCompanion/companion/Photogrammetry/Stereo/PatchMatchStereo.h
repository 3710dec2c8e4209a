#pragma once

#include "StereoTypes.h"

#include <functional>
#include <atomic>
#include <vector>

// PatchMatch depth and normal estimation for one reference frame against its source frames, on the CPU.
//
// Each pixel holds a plane hypothesis (depth, normal). A hypothesis is scored by warping a window of the
// reference frame into each source frame through the plane's homography and comparing grey values by normalised
// cross-correlation (cost 1 - NCC); the pixel's cost is the mean of its best source costs. Hypotheses start at
// random (with the sparse points' depths planted where they fall), spread to neighbours in a red-black
// checkerboard and are refined by random perturbation. The geometric pass adds, per source, the pixel distance
// a point travels when sent into the source's own depth map and back, so depths the other frames disagree with
// lose. Deterministic for a seed, whatever the number of threads. Any thread; it starts its own workers.
namespace tovarine::stereo {

// Pixels [left, right) x [top, bottom); the default holds every pixel.
struct PixelRect
{
    int left = 0;
    int top = 0;
    int right = 1 << 30;
    int bottom = 1 << 30;
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

struct PatchMatchOptions {
    float minDepth = 0.1f;         // depth search range, camera z in model units
    float maxDepth = 10.0f;
    int windowRadiusPx = 4;        // the compared window is (2r + 1)^2 pixels, sampled every windowStepPx
    int windowStepPx = 2;
    int iterations = 4;            // red and black sweeps per pass
    int bestViews = 3;             // a pixel's cost: the mean of its best this many source costs
    float geometricWeight = 0.3f;  // cost per pixel of forward-backward error in the geometric pass
    float maxGeometricErrorPx = 3; // the geometric error counts up to this
    std::uint64_t seed = 1;
    int threads = 0;               // 0: all cores
    PixelRect region;              // pixels outside get no depth and cost nothing
};

struct PatchMatchControl {
    std::function<void(double)> progress; // fraction of this call's work, from a worker thread; may be empty
    const std::atomic<bool>* cancel = nullptr; // set: the sweeps end early (within a row); the map is incomplete
};

// The photometric pass (sourceMaps empty) or the geometric pass (one map per source, in the order of
// `sources`, and `start` the reference's own photometric map to continue from).
DepthNormalMap estimateDepthNormal(const StereoView& reference, const std::vector<const StereoView*>& sources,
                                   const std::vector<SparseDepth>& sparse, const PatchMatchOptions& options,
                                   const std::vector<const DepthNormalMap*>& sourceMaps = {},
                                   const DepthNormalMap* start = nullptr, const PatchMatchControl& control = {});

struct FilterOptions {
    float maxCost = 0.5f;          // 1 - NCC above this is dropped
    int minConsistentViews = 2;    // sources that must agree (fewer when there are fewer sources)
    float maxReprojectionPx = 1.5f;
    float maxRelativeDepthError = 0.01f;
};

// Keeps only the depths that match well and that enough source maps agree with (reprojection and relative
// depth); the rest become 0. Returns how many stayed.
std::size_t filterDepthNormal(DepthNormalMap& map, const StereoView& reference,
                              const std::vector<const StereoView*>& sources,
                              const std::vector<const DepthNormalMap*>& sourceMaps, const FilterOptions& options);

} // namespace tovarine::stereo
