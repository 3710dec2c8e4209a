// Reading and writing a model file of about one million triangles, and its OBJ export.
#include "OBJExporter.h"
#include "UsdzFile.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

using namespace tovarine;

namespace {

// A bumpy sphere of 708 × 708 quads (1,002,528 triangles) with normals and colours, coordinates in metres
// with the many-digit floats a reconstruction produces.
const ModelMesh& millionTriangleMesh()
{
    static const ModelMesh mesh = [] {
        constexpr int kRings = 708;
        constexpr int kSegments = 708;
        ModelMesh m;
        m.positions.reserve(std::size_t(kRings + 1) * (kSegments + 1) * 3);
        for (int r = 0; r <= kRings; ++r) {
            const double theta = std::numbers::pi * r / kRings;
            for (int s = 0; s <= kSegments; ++s) {
                const double phi = 2 * std::numbers::pi * s / kSegments;
                const double radius = 0.08 + 0.002 * std::sin(7 * theta) * std::cos(5 * phi);
                const double nx = std::sin(theta) * std::cos(phi), ny = std::cos(theta), nz = std::sin(theta) * std::sin(phi);
                m.positions.insert(m.positions.end(), {float(radius * nx), float(radius * ny), float(radius * nz)});
                m.normals.insert(m.normals.end(), {float(nx), float(ny), float(nz)});
                m.colors.insert(m.colors.end(),
                                {float(0.5 + 0.5 * nx), float(0.5 + 0.5 * ny), float(0.5 + 0.5 * nz)});
            }
        }
        for (int r = 0; r < kRings; ++r) {
            for (int s = 0; s < kSegments; ++s) {
                const auto a = std::uint32_t(r * (kSegments + 1) + s);
                const auto b = a + kSegments + 1;
                m.indices.insert(m.indices.end(), {a, b, a + 1, a + 1, b, b + 1});
            }
        }
        return m;
    }();
    return mesh;
}

void setCounters(benchmark::State& state, std::size_t bytes)
{
    state.counters["triangles"] = double(millionTriangleMesh().triangleCount());
    state.counters["MB"] = double(bytes) / 1e6;
}

void BM_UsdzEncode(benchmark::State& state)
{
    const ModelMesh& mesh = millionTriangleMesh();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const QByteArray package = UsdzFile::encode(mesh);
        bytes = std::size_t(package.size());
        benchmark::DoNotOptimize(package.constData());
    }
    setCounters(state, bytes);
}

void BM_UsdzWrite(benchmark::State& state)
{
    const ModelMesh& mesh = millionTriangleMesh();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("model.usdz"));
    for (auto _ : state) {
        if (!UsdzFile::write(mesh, path)) {
            state.SkipWithError("write failed");
        }
    }
    setCounters(state, std::size_t(QFileInfo(path).size()));
}

void BM_UsdzRead(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("model.usdz"));
    UsdzFile::write(millionTriangleMesh(), path);
    for (auto _ : state) {
        const auto mesh = UsdzFile::read(path);
        if (!mesh || mesh->triangleCount() != millionTriangleMesh().triangleCount()) {
            state.SkipWithError("read failed");
        }
    }
    setCounters(state, std::size_t(QFileInfo(path).size()));
}

void BM_ObjExport(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("model.usdz"));
    const QString destination = dir.filePath(QStringLiteral("model.obj"));
    UsdzFile::write(millionTriangleMesh(), source);
    for (auto _ : state) {
        if (OBJExporter::exportModel(source, destination, QStringLiteral("mm"))) {
            state.SkipWithError("export failed");
        }
    }
    setCounters(state, std::size_t(QFileInfo(destination).size()));
}

} // namespace

BENCHMARK(BM_UsdzEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UsdzWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UsdzRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ObjExport)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
