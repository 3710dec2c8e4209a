// Preview cost for a 1M-triangle model: building the buffers, and one frame per shading mode (drawn into an
// 800 x 600 4x-multisampled framebuffer, finished with glFinish). Run: xvfb-run -a preview_bench
#include "PreviewBuffers.h"
#include "PreviewRenderer.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QSurfaceFormat>
#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>

namespace {

using namespace tovarine;

constexpr int kWidthPx = 800;
constexpr int kHeightPx = 600;

// rings x segments x 2 triangles: 500 x 1000 x 2 = 1,000,000.
ModelMesh millionTriangleSphere()
{
    const int rings = 500;
    const int segments = 1000;
    ModelMesh mesh;
    mesh.positions.reserve(std::size_t(rings + 1) * (segments + 1) * 3);
    for (int r = 0; r <= rings; ++r) {
        const double theta = M_PI * r / rings;
        for (int s = 0; s <= segments; ++s) {
            const double phi = 2.0 * M_PI * s / segments;
            const double radius = 0.1 * (1.0 + 0.05 * std::sin(9 * theta) * std::cos(13 * phi));
            mesh.positions.insert(mesh.positions.end(), {float(radius * std::sin(theta) * std::cos(phi)),
                                                         float(radius * std::cos(theta)),
                                                         float(radius * std::sin(theta) * std::sin(phi))});
            mesh.colors.insert(mesh.colors.end(), {0.7f, float(r) / rings, 0.4f});
        }
    }
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            const std::uint32_t a = r * (segments + 1) + s;
            const std::uint32_t b = a + segments + 1;
            mesh.indices.insert(mesh.indices.end(), {a, b, a + 1, a + 1, b, b + 1});
        }
    }
    return mesh;
}

const ModelMesh& sphere()
{
    static const ModelMesh mesh = millionTriangleSphere();
    return mesh;
}

struct GlTarget
{
    QOffscreenSurface surface;
    QOpenGLContext context;
    std::unique_ptr<QOpenGLFramebufferObject> framebuffer;
    PreviewRenderer renderer;
    bool ready = false;

    GlTarget()
    {
        QSurfaceFormat format;
        format.setVersion(3, 3);
        format.setProfile(QSurfaceFormat::CoreProfile);
        format.setDepthBufferSize(24);
        surface.setFormat(format);
        surface.create();
        context.setFormat(format);
        if (!context.create() || !context.makeCurrent(&surface)) {
            return;
        }
        QOpenGLFramebufferObjectFormat fboFormat;
        fboFormat.setSamples(4);
        fboFormat.setAttachment(QOpenGLFramebufferObject::Depth);
        framebuffer = std::make_unique<QOpenGLFramebufferObject>(kWidthPx, kHeightPx, fboFormat);
        ready = framebuffer->bind() && renderer.initialize();
    }
};

// Made on first use and destroyed before the application object.
std::unique_ptr<GlTarget> g_target;

void BM_BuildBuffers(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(buildPreviewBuffers(sphere()));
    }
    state.counters["triangles"] = double(sphere().triangleCount());
}
BENCHMARK(BM_BuildBuffers)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Frame(benchmark::State& state, PreviewLook::ShadingMode shading)
{
    if (!g_target) {
        g_target = std::make_unique<GlTarget>();
    }
    GlTarget& target = *g_target;
    if (!target.ready) {
        state.SkipWithError("no OpenGL 3.3 core context (run under xvfb-run)");
        return;
    }
    static const auto buffers = std::make_shared<const PreviewBuffers>(buildPreviewBuffers(sphere()));
    target.renderer.upload(buffers);
    const OrbitCamera camera(CameraFraming::frame(buffers->bounds));
    PreviewLookValues look;
    look.shading = shading;
    auto* gl = target.context.functions();
    for (auto _ : state) {
        target.renderer.render(camera, kWidthPx, kHeightPx, look);
        gl->glFinish();
    }
    state.counters["triangles"] = double(buffers->triangleIndices.size() / 3);
    state.SetLabel(reinterpret_cast<const char*>(gl->glGetString(GL_RENDERER)));
}
BENCHMARK_CAPTURE(BM_Frame, lit, PreviewLook::ShadingMode::lit)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_Frame, albedo, PreviewLook::ShadingMode::albedo)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_Frame, wireframe, PreviewLook::ShadingMode::wireframe)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_target && g_target->ready) {
        g_target->context.makeCurrent(&g_target->surface);
        g_target->renderer.release();
        g_target->framebuffer.reset();
        g_target->context.doneCurrent();
    }
    g_target.reset();
    return 0;
}
