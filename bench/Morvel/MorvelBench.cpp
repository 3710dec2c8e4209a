// Times of a cage fit with the stand-in engine page: the host's own overhead around an engine that does
// almost nothing, for a 100k-triangle scan. Needs a display: run under xvfb-run.
#include "EngineHost.h"
#include "EngineScheme.h"
#include "MorvelDetail.h"
#include "MorvelEngineLocator.h"
#include "MorvelOutput.h"
#include "MorvelRun.h"
#include "MorvelScanReader.h"
#include "UsdzFile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QGuiApplication>
#include <QJsonObject>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>

using namespace tovarine;

namespace {

// A wavy sheet of columns x rows cells (two triangles each), 1 mm apart.
ModelMesh sheet(int kColumns, int kRows)
{
    ModelMesh mesh;
    for (int r = 0; r <= kRows; ++r) {
        for (int c = 0; c <= kColumns; ++c) {
            const float x = static_cast<float>(c) * 0.001f;
            const float z = static_cast<float>(r) * 0.001f;
            mesh.positions.insert(mesh.positions.end(),
                                  {x, 0.01f * std::sin(x * 40.0f) * std::cos(z * 30.0f), z});
        }
    }
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            const auto a = static_cast<std::uint32_t>(r * (kColumns + 1) + c);
            const auto b = a + 1;
            const auto d = a + kColumns + 1;
            mesh.indices.insert(mesh.indices.end(), {a, d, b, b, d, d + 1});
        }
    }
    return mesh;
}

struct Fixture
{
    QTemporaryDir dir;
    QString meshPath;
    MorvelScan scan;

    Fixture(int columns, int rows)
    {
        meshPath = QDir(dir.path()).filePath(QStringLiteral("model.usdz"));
        if (!UsdzFile::write(sheet(columns, rows), meshPath)) {
            qFatal("could not write the benchmark scan");
        }
        scan = MorvelScanReader::read(meshPath).value();
    }
};

// 100,000 triangles, 50,451 vertices.
Fixture& fixture()
{
    static Fixture f(250, 200);
    return f;
}

// 1,000,000 triangles, 501,501 vertices: the largest reply, when the stand-in echoes the scan.
Fixture& largeFixture()
{
    static Fixture f(1000, 500);
    return f;
}

void waitFor(const bool& done)
{
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

void BM_ScanRead100k(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(MorvelScanReader::read(f.meshPath));
    }
    state.counters["triangles"] = static_cast<double>(f.scan.triangleCount);
}

// From the call to run() to the reply in hand (page load, scan served, start call, reply).
void BM_HostStartToReply(benchmark::State& state)
{
    Fixture& f = state.range(1) == 0 ? fixture() : largeFixture();
    const QString mode = state.range(0) == 0 ? QStringLiteral("ok") : QStringLiteral("echoScan");
    qsizetype replyBytes = 0;
    for (auto _ : state) {
        bool done = false;
        EngineHost host;
        host.run(f.scan, QJsonObject{{"standinMode", mode}}, 600, {},
                 [&](const Expected<QString, EngineFailure>& result) {
                     if (!result) {
                         qFatal("engine failed: %s", qPrintable(result.error().localizedDescription()));
                     }
                     replyBytes = result.value().toUtf8().size();
                     done = true;
                 });
        waitFor(done);
    }
    state.counters["replyBytes"] = static_cast<double>(replyBytes);
    state.counters["triangles"] = static_cast<double>(f.scan.triangleCount);
}

// The whole fit as the session runs it: scan read, engine, decode and the three files.
void BM_FitTotal100k(benchmark::State& state)
{
    Fixture& f = fixture();
    const QString mode = state.range(0) == 0 ? QStringLiteral("ok") : QStringLiteral("echoScan");
    std::int64_t totalMs = 0;
    for (auto _ : state) {
        bool done = false;
        MorvelRun::Request request;
        request.meshPath = f.meshPath;
        request.dir = f.dir.path();
        request.options = MorvelDetails::options(MorvelDetail::standard);
        request.options.insert(QStringLiteral("standinMode"), mode);
        request.timeLimitSeconds = 600;
        request.logTag = QStringLiteral("bench");
        MorvelRun::make(request, {}, [&](const Expected<MorvelRun::Finished, MorvelRun::Failure>& result) {
            if (!result) {
                qFatal("fit failed: %s", qPrintable(result.error().localizedDescription));
            }
            totalMs = result.value().totalMs;
            done = true;
        });
        waitFor(done);
    }
    state.counters["totalMs"] = static_cast<double>(totalMs);
}

} // namespace

BENCHMARK(BM_ScanRead100k)->Unit(benchmark::kMillisecond);
// Args: stand-in mode (0 bounding box, 1 echo the scan as the limit surface), scan (0 100k, 1 1M triangles).
BENCHMARK(BM_HostStartToReply)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();
BENCHMARK(BM_FitTotal100k)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

int main(int argc, char** argv)
{
    EngineScheme::registerScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QGuiApplication app(argc, argv);
    MorvelEngineLocator::setEngineFolderForTesting(QStringLiteral(TOVARINE_TESTDATA_DIR "/morvel-standin"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
