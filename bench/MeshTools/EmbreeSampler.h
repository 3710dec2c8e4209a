#pragma once

#include "MeshMinThickness.h"
#include "MeshTypes.h"

// Reference wall-thickness sampler on Embree 3 for the benchmark only: casts the same per-face rays as the
// mesh tools (same origin, direction, 1e-9 near limit, same skipped neighbours through a filter), in single
// precision, as a ceiling to measure the grid walk against.
namespace tovarine::bench {

struct EmbreeTimings
{
    double buildSeconds = 0.0;
    double castSeconds = 0.0;
};

MeshMinThickness::ThicknessSamples embreeSamples(const MeshLists& mesh, int threads, EmbreeTimings& timings);

} // namespace tovarine::bench
