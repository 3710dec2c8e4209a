// Timed command-line benchmark of the print-preparation mesh tools on generated meshes shaped like real
// ones.
//
//   meshtools_bench [--sizes 1000,100000,1000000] [--threads N] [--runs N] [--no-grow]
//                   [--kinds shell,dense,shuffled,cad] [--keep]
//
// For each size it prints the OBJ reader (without the weld) beside tinyobjloader on the same file, then for
// each mesh kind:
//   shell    a closed two-skin shell, as Thicken writes them (short rays);
//   dense    a dense closed solid like a remeshed scan, faces in a locally coherent order;
//   shuffled the same solid with its faces in random order;
//   cad      a closed cylinder of long side slivers and caps fanned from one rim vertex;
// the wall-thickness sampling of every face (grid build + walk; median of --runs) beside an Embree 3
// sampler casting the same rays, with the grid's size; and the guard, Thicken (on the mesh with its
// underside cut open) and Grow end to end, each in a fresh child process (this binary with --tool) so
// its peak resident memory can be reported per triangle.

#include "BenchMeshes.h"
#include "EmbreeSampler.h"
#include "MeshGrow.h"
#include "MeshMinThickness.h"
#include "MeshThicken.h"
#include "MeshToolIO.h"
#include "MeshTopology.h"
#include "OBJMeshReader.h"
#include "TextFormat.h"

#include <QString>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <tiny_obj_loader.h>
#include <vector>

using namespace tovarine;

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

template <class F> double bestOf(int runs, F&& f)
{
    double best = INFINITY;
    for (int r = 0; r < runs; ++r) {
        const auto start = Clock::now();
        f();
        best = std::min(best, since(start));
    }
    return best;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

void writeObj(const std::string& path, const MeshLists& mesh)
{
    std::string text;
    text.reserve(mesh.positions.size() * 40 + mesh.triangles.size() * 24);
    for (const Vec3& p : mesh.positions) {
        textformat::appendVertexLine(text, p[0], p[1], p[2]);
    }
    for (const MeshTriangle& t : mesh.triangles) {
        textformat::appendFaceLine(text, t[0], t[1], t[2]);
    }
    std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
}

long peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Child mode: runs one tool and prints "<seconds> <peak kB> <summary>".
int runTool(const std::string& tool, const std::string& input, const std::string& outDir, double mm)
{
    const QString in = QString::fromStdString(input);
    const QString dir = QString::fromStdString(outDir) + QStringLiteral("/");
    const auto start = Clock::now();
    std::string summary;
    bool ok = true;
    if (tool == "guard") {
        const auto r = MeshMinThickness::analyze(in, dir + QStringLiteral("thinmap.obj"),
                                                 dir + QStringLiteral("thinmap.mtl"), mm);
        ok = r.hasValue();
        if (ok) {
            summary = std::to_string(r->faceCount) + " faces, " + std::to_string(r->thinCount) + " thin, " +
                      std::to_string(r->noHitCount) + " no-hit";
        }
    } else if (tool == "thicken") {
        const auto r = MeshThicken::thicken(in, dir + QStringLiteral("thick.obj"), mm);
        ok = r.hasValue();
        if (ok) {
            summary = std::to_string(r->outerFaces + r->innerFaces + r->bridgeFaces) +
                      " faces written, edges " + std::to_string(r->open) + "/" +
                      std::to_string(r->nonManifold) + "/" + std::to_string(r->flipped);
        }
    } else if (tool == "grow") {
        int measurements = 0;
        auto count = [&](const QString& line) {
            measurements += line.endsWith(QStringLiteral("sampling thickness\u2026")) ||
                            line == QStringLiteral("final sample\u2026");
        };
        const auto r = MeshGrow::grow(in, dir + QStringLiteral("grown.obj"),
                                      dir + QStringLiteral("grown.mtl"), mm, 4, 2, 0.4, count);
        ok = r.hasValue();
        if (ok) {
            summary = std::to_string(r->initialThin) + " -> " + std::to_string(r->finalThin) + " thin, " +
                      std::to_string(r->iterations) + " iters, " + std::to_string(measurements) +
                      " measurements, " + std::to_string(r->displacedVertices) + " moved";
        }
    }
    const double seconds = since(start);
    std::printf("%.3f %ld %s\n", seconds, peakRssKb(), ok ? summary.c_str() : "FAILED");
    return ok ? 0 : 1;
}

struct ToolRun
{
    double seconds = 0.0;
    double bytesPerTriangle = 0.0;
    std::string summary;
};

ToolRun spawnTool(const std::string& self, const std::string& tool, const std::string& input,
                  const std::string& outDir, double mm, std::int64_t triangles)
{
    const std::string command =
        "'" + self + "' --tool " + tool + " '" + input + "' '" + outDir + "' " + std::to_string(mm);
    ToolRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return run;
    }
    char line[512] = {};
    if (std::fgets(line, sizeof line, pipe)) {
        long kb = 0;
        int used = 0;
        if (std::sscanf(line, "%lf %ld %n", &run.seconds, &kb, &used) >= 2) {
            run.bytesPerTriangle = static_cast<double>(kb) * 1024.0 / static_cast<double>(triangles);
            run.summary = std::string(line + used);
            if (!run.summary.empty() && run.summary.back() == '\n') {
                run.summary.pop_back();
            }
        }
    }
    pclose(pipe);
    return run;
}

void compareSamples(const MeshMinThickness::ThicknessSamples& ours,
                    const MeshMinThickness::ThicknessSamples& ref, std::size_t& agree, std::size_t& differ)
{
    agree = 0;
    differ = 0;
    for (std::size_t f = 0; f < ours.measured.size(); ++f) {
        const bool same = ours.measured[f] == ref.measured[f] &&
                          (!ours.measured[f] || std::abs(ours.thicknessMM[f] - ref.thicknessMM[f]) <=
                                                    1e-3 * std::max(1.0, ours.thicknessMM[f]));
        (same ? agree : differ) += 1;
    }
}

MeshLists meshOfKind(const std::string& kind, std::int64_t size)
{
    if (kind == "dense" || kind == "shuffled") {
        return bench::displacedSphere(size, 40.0, kind == "shuffled", 21);
    }
    if (kind == "cad") {
        return bench::fannedCylinder(size, 20.0, 60.0);
    }
    const MeshLists raw = bench::closedShell(size, 0.9, 0.2, 0.0005, 12);
    return MeshTopology::weld(raw.positions, raw.triangles);
}

// One mesh kind at one size: sampling beside Embree, then the tools end to end.
void benchKind(const std::string& kind, std::int64_t size, int threads, int runs, bool grow,
               const std::string& self, const std::filesystem::path& dir)
{
    const MeshLists mesh = meshOfKind(kind, size);
    const auto faces = static_cast<std::int64_t>(mesh.triangles.size());
    MeshMinThickness::ThicknessSamples ours;
    std::vector<double> sampleSeconds;
    std::vector<double> gridSeconds;
    std::size_t entries = 0;
    std::vector<double> embreeSeconds;
    std::vector<double> bvhSeconds;
    std::vector<double> ratios; // of each run's pair
    MeshMinThickness::ThicknessSamples reference;
    // The two sides take turns, so a change in the machine's load falls on both.
    for (int r = 0; r < runs; ++r) {
        const auto start = Clock::now();
        const auto grid = MeshMinThickness::buildThicknessGrid(mesh.positions, mesh.triangles);
        gridSeconds.push_back(since(start));
        entries = grid.cellTriangles.size();
        ours = MeshMinThickness::sampleThickness(mesh.positions, mesh.triangles, grid, {}, {}, threads);
        sampleSeconds.push_back(since(start));
        bench::EmbreeTimings t;
        reference = bench::embreeSamples(mesh, threads, t);
        embreeSeconds.push_back(t.buildSeconds + t.castSeconds);
        bvhSeconds.push_back(t.buildSeconds);
        ratios.push_back(sampleSeconds.back() / embreeSeconds.back());
    }
    std::size_t agree = 0;
    std::size_t differ = 0;
    compareSamples(ours, reference, agree, differ);
    const double oursMedian = median(sampleSeconds);
    const double embreeMedian = median(embreeSeconds);
    std::printf("  %-8s %lld faces: sample ours %.3f s (grid %.3f s, %.1f entries/face) | Embree %.3f s "
                "(BVH %.3f s) | median ratio %.2fx; %zu agree, %zu differ\n",
                kind.c_str(), static_cast<long long>(faces), oursMedian, median(gridSeconds),
                static_cast<double>(entries) / static_cast<double>(std::max<std::int64_t>(faces, 1)),
                embreeMedian, median(bvhSeconds), median(ratios), agree, differ);

    const std::string path = (dir / (kind + ".obj")).string();
    writeObj(path, mesh);
    const ToolRun guard = spawnTool(self, "guard", path, dir.string(), 4.0, faces);
    std::printf("           guard %.3f s, peak %.0f B/face (%s)\n", guard.seconds, guard.bytesPerTriangle,
                guard.summary.c_str());
    const MeshLists open = bench::cutBottom(mesh, 0.08);
    const std::string openPath = (dir / (kind + "-open.obj")).string();
    writeObj(openPath, open);
    const ToolRun thicken = spawnTool(self, "thicken", openPath, dir.string(), 2.0,
                                      static_cast<std::int64_t>(open.triangles.size()));
    std::printf("           Thicken %.3f s, peak %.0f B/input face (%s)\n", thicken.seconds,
                thicken.bytesPerTriangle, thicken.summary.c_str());
    if (grow) {
        const ToolRun g = spawnTool(self, "grow", path, dir.string(), 4.0, faces);
        std::printf("           Grow %.3f s, peak %.0f B/face (%s)\n", g.seconds, g.bytesPerTriangle,
                    g.summary.c_str());
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 6 && std::string(argv[1]) == "--tool") {
        return runTool(argv[2], argv[3], argv[4], std::atof(argv[5]));
    }
    std::vector<std::int64_t> sizes{1000, 100000, 1000000};
    std::vector<std::string> kinds{"shell", "dense", "shuffled", "cad"};
    int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    int runs = 3;
    bool grow = true;
    bool keep = false; // leave the generated OBJ files for profiling the tools on them
    auto split = [](const std::string& list) {
        std::vector<std::string> items;
        std::size_t pos = 0;
        while (pos < list.size()) {
            const std::size_t comma = list.find(',', pos);
            items.push_back(list.substr(pos, comma - pos));
            pos = comma == std::string::npos ? list.size() : comma + 1;
        }
        return items;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--sizes" && i + 1 < argc) {
            sizes.clear();
            for (const std::string& item : split(argv[++i])) {
                sizes.push_back(std::atoll(item.c_str()));
            }
        } else if (arg == "--kinds" && i + 1 < argc) {
            kinds = split(argv[++i]);
        } else if (arg == "--threads" && i + 1 < argc) {
            threads = std::atoi(argv[++i]);
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--no-grow") {
            grow = false;
        } else if (arg == "--keep") {
            keep = true;
        } else {
            std::fprintf(stderr,
                         "usage: %s [--sizes N,N,...] [--kinds shell,dense,shuffled,cad] [--threads N] "
                         "[--runs N] [--no-grow] [--keep]\n",
                         argv[0]);
            return 2;
        }
    }
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("meshtools-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::printf("threads: %d (sampling and the Embree reference); medians of %d runs; files in %s\n\n",
                threads, runs, dir.c_str());

    for (const std::int64_t size : sizes) {
        std::printf("== %lld triangles ==\n", static_cast<long long>(size));
        // Reader: the scan OBJ, ours (read + parse, no weld) beside tinyobjloader.
        const MeshLists scan = bench::openScan(size, 11);
        const std::string scanPath = (dir / "scan.obj").string();
        writeObj(scanPath, scan);
        std::size_t ourTriangles = 0;
        const double oursRead = bestOf(runs, [&] {
            auto bytes = meshio::readUtf8File(QString::fromStdString(scanPath));
            const MeshLists parsed = OBJMeshReader::parse(
                std::string_view(bytes->constData(), static_cast<std::size_t>(bytes->size())));
            ourTriangles = parsed.triangles.size();
        });
        std::size_t tinyTriangles = 0;
        const double tinyRead = bestOf(runs, [&] {
            tinyobj::ObjReader reader;
            tinyobj::ObjReaderConfig config;
            config.triangulate = true;
            reader.ParseFromFile(scanPath, config);
            tinyTriangles = 0;
            for (const auto& shape : reader.GetShapes()) {
                tinyTriangles += shape.mesh.num_face_vertices.size();
            }
        });
        std::printf("  OBJ read (%.1f MB, %zu tris): ours %.3f s | tinyobjloader %.3f s (%zu tris)\n",
                    static_cast<double>(std::filesystem::file_size(scanPath)) / 1e6, ourTriangles, oursRead,
                    tinyRead, tinyTriangles);
        for (const std::string& kind : kinds) {
            benchKind(kind, size, threads, runs, grow, self, dir);
        }
        std::printf("\n");
    }
    if (!keep) {
        std::filesystem::remove_all(dir);
    }
    return 0;
}
