#pragma once

#include "PhotogrammetrySession.h"

#include <QtGlobal>
#include <cstddef>

namespace tovarine {

// What one detail level asks of the COLMAP chain and of the clean-up.
struct ColmapLevelSettings
{
    int maxImageSizePx = 3200;    // longest side the features are extracted at; 0: the frames' own size
    int maxFeatures = 8192;       // SIFT features per frame
    int poissonDepth = 10;        // octree depth of the surface reconstruction
    int poissonTrim = 5;          // density trim; COLMAP's default (10) empties the mesh
    std::size_t maxTriangles = 0; // decimation cap; 0: none
    int denseImageSizePx = 0;     // longest side of the frames for the dense depth maps; 0: sparse points only
    int textureSizePx = 0;        // side of the diffuse texture baked from the frames; 0: vertex colours only
    bool textureJpeg = true;      // the texture file is JPEG (else PNG)
};

// The detail levels' settings in one table, tuned by bench/Photogrammetry. Any thread.
namespace ColmapDetailTable {

// Exhaustive matching up to this many frames; sequential matching with overlap beyond it (ordered captures).
inline constexpr int kExhaustiveMaxFrames = 60;
inline constexpr int kSequentialOverlap = 15;
// The share of the memory available at the start of a run that the feature extraction may take (the rest
// stays with the desktop and the other programs), and the memory assumed available when the system does not
// say.
inline constexpr double kMemoryShare = 0.75;
inline constexpr qint64 kMemoryBudgetBytes = 7680LL * 1024 * 1024;
// The largest texture baked: the bake holds about 24 bytes per texel (1.5 GB at this size), so a larger
// dimension asked of the custom level is met with this one.
inline constexpr int kMaxTextureSizePx = 8192;

// The table row of `detail`. `custom` is the raw row with the custom detail's polygon limit (0: no cap), its
// texture dimension (at most kMaxTextureSizePx) and format; it gets a texture when its texture maps include
// the diffuse colour or name none (the engine's default set).
ColmapLevelSettings settingsFor(PhotogrammetrySession::Detail detail,
                                const PhotogrammetrySession::CustomDetailSpecification& custom = {});

bool useExhaustiveMatching(int frameCount, PhotogrammetrySession::SampleOrdering ordering);

// SIFT extraction threads that fit in kMemoryShare of `availableMemoryBytes`: CPU SIFT needs about 2.2 GB per
// thread at 3200 px (measured: 4.4 GB peak with two threads), growing with the square of the image size. At
// least 1, at most maxThreads.
int extractionThreads(int imageSizePx, qint64 availableMemoryBytes, int maxThreads);

// The density trim for `pointCount` oriented points: the level's trim, lowered for sparse clouds, whose
// sampling supports only a shallow octree (about log4 of the point count); trimming deeper than that empties
// the mesh. At least 0.
int poissonTrim(int levelTrim, std::size_t pointCount);

// Threads for the surface reconstruction of `pointCount` points: its parallel loops are short on the sparse
// clouds of an object, and on a busy machine threads that wait for each other slow it down by orders of
// magnitude (measured: 0.4 s with 4 threads, 8.4 s with 8 on a machine with other work), so small clouds get
// one.
int poissonThreads(std::size_t pointCount, int maxThreads);

// MemAvailable of /proc/meminfo in bytes; kMemoryBudgetBytes when it cannot be read.
qint64 availableMemoryBytes();

} // namespace ColmapDetailTable
} // namespace tovarine
