#include "EmbreeSampler.h"

#include "VecMath.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <embree3/rtcore.h>
#include <string>
#include <thread>
#include <vector>

namespace tovarine::bench {

namespace {

struct FaceContext
{
    RTCIntersectContext context; // first, so Embree's pointer is also ours
    std::int64_t face = 0;
    const MeshTriangles* triangles = nullptr;
};

void skipSelfAndEdgeNeighbours(const RTCFilterFunctionNArguments* args)
{
    const auto* face = reinterpret_cast<const FaceContext*>(args->context);
    for (unsigned i = 0; i < args->N; ++i) {
        if (args->valid[i] == 0) {
            continue;
        }
        const unsigned prim = RTCHitN_primID(args->hit, args->N, i);
        const MeshTriangle& own = (*face->triangles)[static_cast<std::size_t>(face->face)];
        const MeshTriangle& other = (*face->triangles)[prim];
        if (MeshMinThickness::skipsCandidate(own, face->face, other, prim)) {
            args->valid[i] = 0;
        }
    }
}

double since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

MeshMinThickness::ThicknessSamples embreeSamples(const MeshLists& mesh, int threads, EmbreeTimings& timings)
{
    const auto start = std::chrono::steady_clock::now();
    const std::string config = "threads=" + std::to_string(threads);
    RTCDevice device = rtcNewDevice(config.c_str());
    RTCScene scene = rtcNewScene(device);
    RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
    auto* vertices = static_cast<float*>(rtcSetNewGeometryBuffer(
        geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), mesh.positions.size()));
    for (std::size_t v = 0; v < mesh.positions.size(); ++v) {
        for (int a = 0; a < 3; ++a) {
            vertices[3 * v + a] = static_cast<float>(mesh.positions[v][a]);
        }
    }
    auto* indices = static_cast<unsigned*>(rtcSetNewGeometryBuffer(
        geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(unsigned), mesh.triangles.size()));
    for (std::size_t t = 0; t < mesh.triangles.size(); ++t) {
        for (int k = 0; k < 3; ++k) {
            indices[3 * t + k] = static_cast<unsigned>(mesh.triangles[t][k]);
        }
    }
    rtcSetGeometryIntersectFilterFunction(geometry, skipSelfAndEdgeNeighbours);
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(scene, geometry);
    rtcReleaseGeometry(geometry);
    rtcCommitScene(scene);
    timings.buildSeconds = since(start);

    const auto castStart = std::chrono::steady_clock::now();
    Vec3 lo;
    Vec3 hi;
    vecmath::boundingBox(mesh.positions, lo, hi);
    const MeshMinThickness::RayConstants constants =
        MeshMinThickness::rayConstants({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
    MeshMinThickness::ThicknessSamples samples;
    samples.thicknessMM.assign(mesh.triangles.size(), 0.0);
    samples.measured.assign(mesh.triangles.size(), 0);
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        FaceContext context;
        rtcInitIntersectContext(&context.context);
        context.triangles = &mesh.triangles;
        for (;;) {
            const std::size_t begin = next.fetch_add(1024);
            if (begin >= mesh.triangles.size()) {
                return;
            }
            const std::size_t end = std::min(mesh.triangles.size(), begin + 1024);
            for (std::size_t i = begin; i < end; ++i) {
                const MeshTriangle& t = mesh.triangles[i];
                const MeshMinThickness::FaceRay ray = MeshMinThickness::faceRay(
                    mesh.positions[static_cast<std::size_t>(t[0])],
                    mesh.positions[static_cast<std::size_t>(t[1])],
                    mesh.positions[static_cast<std::size_t>(t[2])], constants.nudge);
                if (ray.degenerate) {
                    continue;
                }
                context.face = static_cast<std::int64_t>(i);
                RTCRayHit hit{};
                hit.ray.org_x = static_cast<float>(ray.origin[0]);
                hit.ray.org_y = static_cast<float>(ray.origin[1]);
                hit.ray.org_z = static_cast<float>(ray.origin[2]);
                hit.ray.dir_x = static_cast<float>(ray.dir[0]);
                hit.ray.dir_y = static_cast<float>(ray.dir[1]);
                hit.ray.dir_z = static_cast<float>(ray.dir[2]);
                hit.ray.tnear = 1e-9f;
                hit.ray.tfar = INFINITY;
                hit.ray.mask = 0xFFFFFFFFu;
                hit.hit.geomID = RTC_INVALID_GEOMETRY_ID;
                rtcIntersect1(scene, &context.context, &hit);
                if (hit.hit.geomID != RTC_INVALID_GEOMETRY_ID) {
                    samples.thicknessMM[i] = static_cast<double>(hit.ray.tfar) + constants.nudge;
                    samples.measured[i] = 1;
                }
            }
        }
    };
    {
        std::vector<std::jthread> pool;
        for (int t = 1; t < threads; ++t) {
            pool.emplace_back(work);
        }
        work();
    }
    timings.castSeconds = since(castStart);
    rtcReleaseScene(scene);
    rtcReleaseDevice(device);
    return samples;
}

} // namespace tovarine::bench
