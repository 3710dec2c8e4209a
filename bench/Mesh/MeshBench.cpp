// The kit's mesh tools on a scan-like loose-triangle mesh: 1M triangles, 3M vertices, every corner its own
// vertex with its own normal (what a renderer or a scanner hands over before welding). The welder is timed
// beside meshoptimizer's exact-match vertex remap of the same vertices (remap table, then the index and
// position buffers remapped), and the STL writer's file write goes to tmpfs (/dev/shm) so the disk does not
// set the rate.
//
//   ostrel_mesh_bench [--benchmark_filter=...]

#include "Mesh/MeshExportFiles.h"
#include "Mesh/OBJExporter.h"
#include "Mesh/STLExporter.h"
#include "Mesh/VertexWelder.h"
#include "Mesh/WatertightValidator.h"

#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>
#include <meshoptimizer.h>

#include <cmath>
#include <random>
#include <vector>

using namespace ostrel;

namespace {

constexpr int kGridN = 289; // 6 × 289² × 2 = 1,002,252 triangles

struct Soup
{
    std::vector<Float3> vertices;
    std::vector<Float3> normals;
    std::vector<std::uint32_t> indices;
};

// A cube's six faces split into n × n quads pushed onto a lumpy sphere of radius 60 mm with a little noise,
// expanded to loose triangles: shared corners repeat bit for bit, as in an unwelded export.
Soup scanSoup()
{
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, 0.05f);
    std::vector<Float3> grid;
    std::vector<std::uint32_t> tris;
    auto point = [&](int face, int i, int j) {
        const float u = 2.0f * static_cast<float>(i) / kGridN - 1.0f;
        const float v = 2.0f * static_cast<float>(j) / kGridN - 1.0f;
        Float3 c;
        switch (face) {
        case 0: c = {1, u, v}; break;
        case 1: c = {-1, v, u}; break;
        case 2: c = {v, 1, u}; break;
        case 3: c = {u, -1, v}; break;
        case 4: c = {u, v, 1}; break;
        default: c = {v, u, -1}; break;
        }
        const float len = length(c);
        const float r = 60.0f * (1.0f + 0.1f * std::sin(3.0f * c.x / len) * std::cos(4.0f * c.y / len));
        return Float3{c.x / len * r, c.y / len * r, c.z / len * r};
    };
    // Seams between cube faces are welded here by position, so the soup's repeats are exact everywhere.
    std::vector<std::uint32_t> ids;
    for (int face = 0; face < 6; ++face) {
        const auto base = static_cast<std::uint32_t>(grid.size());
        for (int i = 0; i <= kGridN; ++i) {
            for (int j = 0; j <= kGridN; ++j) {
                grid.push_back(point(face, i, j));
            }
        }
        auto at = [&](int i, int j) { return base + static_cast<std::uint32_t>(i * (kGridN + 1) + j); };
        for (int i = 0; i < kGridN; ++i) {
            for (int j = 0; j < kGridN; ++j) {
                tris.insert(tris.end(), {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j), at(i + 1, j + 1),
                                         at(i, j + 1)});
            }
        }
    }
    std::vector<unsigned int> remap(grid.size());
    const std::size_t unique = meshopt_generateVertexRemap(remap.data(), nullptr, grid.size(), grid.data(),
                                                           grid.size(), sizeof(Float3));
    std::vector<Float3> welded(unique);
    meshopt_remapVertexBuffer(welded.data(), grid.data(), grid.size(), sizeof(Float3), remap.data());
    for (Float3& p : welded) {
        p = Float3{p.x + noise(rng), p.y + noise(rng), p.z + noise(rng)};
    }
    Soup soup;
    soup.vertices.reserve(tris.size());
    for (const std::uint32_t t : tris) {
        soup.vertices.push_back(welded[remap[t]]);
    }
    for (std::size_t t = 0; t < tris.size(); t += 3) {
        const Float3 n = unguardedFaceNormal(soup.vertices[t], soup.vertices[t + 1], soup.vertices[t + 2]);
        soup.normals.insert(soup.normals.end(), {n, n, n});
    }
    soup.indices.resize(tris.size());
    for (std::size_t i = 0; i < soup.indices.size(); ++i) {
        soup.indices[i] = static_cast<std::uint32_t>(i);
    }
    return soup;
}

const Soup& soup()
{
    static const Soup s = scanSoup();
    return s;
}

const VertexWelder::WeldResult& welded()
{
    static const VertexWelder::WeldResult w =
        VertexWelder::weld(soup().vertices, soup().normals, soup().indices, STLExporter::kExportWeldThreshold);
    return w;
}

void setCounters(benchmark::State& state)
{
    state.counters["triangles"] = static_cast<double>(soup().indices.size() / 3);
    state.counters["welded_vertices"] = static_cast<double>(welded().weldedCount);
}

void BM_Weld(benchmark::State& state)
{
    for (auto _ : state) {
        auto result = VertexWelder::weld(soup().vertices, soup().normals, soup().indices,
                                         STLExporter::kExportWeldThreshold);
        benchmark::DoNotOptimize(result);
    }
    setCounters(state);
}

// meshoptimizer's exact-match remap, then the same outputs the welder makes: indices and kept positions.
void BM_MeshoptExactRemap(benchmark::State& state)
{
    const Soup& s = soup();
    for (auto _ : state) {
        std::vector<unsigned int> remap(s.vertices.size());
        const std::size_t unique = meshopt_generateVertexRemap(remap.data(), s.indices.data(), s.indices.size(),
                                                               s.vertices.data(), s.vertices.size(),
                                                               sizeof(Float3));
        std::vector<unsigned int> indices(s.indices.size());
        meshopt_remapIndexBuffer(indices.data(), s.indices.data(), s.indices.size(), remap.data());
        std::vector<Float3> positions(unique);
        meshopt_remapVertexBuffer(positions.data(), s.vertices.data(), s.vertices.size(), sizeof(Float3),
                                  remap.data());
        benchmark::DoNotOptimize(indices.data());
        benchmark::DoNotOptimize(positions.data());
    }
    setCounters(state);
}

void BM_Validate(benchmark::State& state)
{
    for (auto _ : state) {
        auto result = WatertightValidator::validate(welded().vertices, welded().indices);
        if (!result.isWatertight) {
            state.SkipWithError("the welded scan should be closed");
        }
        benchmark::DoNotOptimize(result);
    }
    setCounters(state);
}

void BM_STLBuild(benchmark::State& state)
{
    std::int64_t bytes = 0;
    for (auto _ : state) {
        auto result = STLExporter::build(soup().vertices, soup().normals, soup().indices, "bench", 0,
                                         STLExporter::kExportWeldThreshold);
        bytes += result.data.size();
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(bytes);
    setCounters(state);
}

// The write step alone: the built file, written atomically to tmpfs.
void BM_STLWriteToTmpfs(benchmark::State& state)
{
    static const QByteArray data = STLExporter::build(soup().vertices, soup().normals, soup().indices, "bench",
                                                      0, STLExporter::kExportWeldThreshold)
                                       .data;
    const QString path = QDir(QStringLiteral("/dev/shm")).filePath(QStringLiteral("ostrel_mesh_bench.stl"));
    std::int64_t bytes = 0;
    for (auto _ : state) {
        if (!MeshExportFiles::writeAtomically(path, data.constData(), data.size())) {
            state.SkipWithError("cannot write to /dev/shm");
            break;
        }
        bytes += data.size();
    }
    QFile::remove(path);
    state.SetBytesProcessed(bytes);
}

void BM_STLExportToTmpfs(benchmark::State& state)
{
    std::int64_t bytes = 0;
    for (auto _ : state) {
        auto result = STLExporter::exportMesh(soup().vertices, soup().normals, soup().indices,
                                              QStringLiteral("ostrel_mesh_bench"), "bench", 0,
                                              QStringLiteral("/dev/shm"));
        if (!result.filePath) {
            state.SkipWithError("cannot write to /dev/shm");
            break;
        }
        bytes += result.data.size();
    }
    QFile::remove(QStringLiteral("/dev/shm/ostrel_mesh_bench.stl"));
    state.SetBytesProcessed(bytes);
    setCounters(state);
}

void BM_OBJBuild(benchmark::State& state)
{
    const OBJExporter::ExportConfig config("bench", "scan", 0, STLExporter::kExportWeldThreshold, false);
    std::int64_t bytes = 0;
    for (auto _ : state) {
        auto result = OBJExporter::build(soup().vertices, soup().normals, soup().indices, config);
        bytes += static_cast<std::int64_t>(result.objString.size());
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(bytes);
    setCounters(state);
}

} // namespace

BENCHMARK(BM_Weld)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshoptExactRemap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Validate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_STLBuild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_STLWriteToTmpfs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_STLExportToTmpfs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OBJBuild)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
