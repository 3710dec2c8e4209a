#pragma once

#include "PatchMatchStereo.h"
#include "StereoTypes.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

// Depth and normal maps for a COLMAP dense workspace, as COLMAP's image_undistorter leaves it: images/ with the
// undistorted frames and sparse/ with cameras.txt, images.txt and points3D.txt (pinhole cameras). Writes
// stereo/depth_maps/<frame>.geometric.bin, stereo/normal_maps/<frame>.geometric.bin and stereo/fusion.cfg, which
// COLMAP's stereo_fusion reads. Any thread; the work runs on `threads` workers.
namespace tovarine::stereo {

struct DenseOptions {
    int sourceViews = 4;          // source frames per reference frame, chosen by shared sparse points
    int minSparsePoints = 10;     // a frame with fewer sparse points gets no map
    PatchMatchOptions patchMatch; // depth range is set per frame from its sparse points
    int geometricIterations = 2;  // the geometric pass starts from the photometric map: it needs fewer sweeps
    FilterOptions filter;
    int threads = 0;
    // World points whose hull holds everything worth a depth (the corners of the object's box): each frame
    // matches only the pixels of their image and the depths they span. Empty: whole frames.
    std::vector<V3> region;
};

struct DenseReport {
    int frames = 0;           // registered frames in the workspace
    int mapsWritten = 0;      // frames that got a map
    std::size_t pixelsKept = 0;
    std::vector<std::string> skipped; // frames without a map, with the reason
};

struct DenseControl {
    std::function<void(double)> progress; // 0..1 over the whole step, from a worker thread
    const std::atomic<bool>* cancel = nullptr;
};

// The maps of every registered frame. Returns an error text, empty on success; a cancel returns "cancelled".
std::string computeWorkspaceMaps(const std::string& workspace, const DenseOptions& options, DenseReport& report,
                                 const DenseControl& control = {});

// COLMAP's dense array file: "width&height&channels&" then float32 values, channel by channel, row by row.
bool writeColmapArray(const std::string& path, int width, int height, int channels, const std::vector<float>& planar);
bool readColmapArray(const std::string& path, int& width, int& height, int& channels, std::vector<float>& planar);

} // namespace tovarine::stereo
