#include "PatchMatchStereo.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <random>
#include <thread>

namespace tovarine::stereo {
namespace {

constexpr float kWorstCost = 2.0f;
// Random normals are kept this far from grazing the viewing ray (cosine).
constexpr float kMinFacing = 0.1f;

// Splits rows [0, count) over worker threads; each row runs once. Returns false when stopped.
struct StopFlag {
    const std::atomic<bool>* flag = nullptr;
    bool stop_requested() const { return flag && flag->load(std::memory_order_relaxed); }
};

template <typename Body>
bool parallelRows(int count, int threads, const StopFlag& stop, Body body)
{
    std::atomic<int> next{0};
    auto worker = [&] {
        for (int row = next++; row < count && !stop.stop_requested(); row = next++) {
            body(row);
        }
    };
    std::vector<std::jthread> pool;
    for (int i = 1; i < threads; ++i) {
        pool.emplace_back(worker);
    }
    worker();
    pool.clear();
    return !stop.stop_requested();
}

struct Hypothesis {
    float depth = 0;
    V3 normal{0, 0, -1};
};

// What a source frame needs per evaluation: its camera relative to the reference.
struct SourceGeometry {
    const StereoView* view = nullptr;
    const DepthNormalMap* map = nullptr;
    M3 rotation;    // reference camera frame to source camera frame
    V3 translation;
    M3 rotationBack; // source camera frame to reference camera frame
    V3 translationBack;
    // The plane homography Ks (R + t n^T / c) Kr^-1 is fixed = Ks R Kr^-1 plus the rank-one term
    // (Ks t) (Kr^-T n / c)^T, whose right factor depends only on the hypothesis.
    M3 fixedHomography;
    V3 projectedTranslation;
};

class Evaluator {
public:
    Evaluator(const StereoView& reference, const std::vector<SourceGeometry>& sources,
              const PatchMatchOptions& options)
        : m_ref(reference), m_sources(sources), m_options(options)
    {
        for (int dy = -options.windowRadiusPx; dy <= options.windowRadiusPx; dy += options.windowStepPx) {
            for (int dx = -options.windowRadiusPx; dx <= options.windowRadiusPx; dx += options.windowStepPx) {
                m_offsets.push_back({dx, dy});
                m_offsetX.push_back(float(dx));
                m_offsetY.push_back(float(dy));
            }
        }
    }

    std::size_t sampleCount() const { return m_offsets.size(); }

    // The reference window of pixel (x, y), centred to zero mean and unit norm; false for a flat window.
    bool referenceWindow(int x, int y, std::vector<float>& window) const
    {
        window.resize(m_offsets.size());
        float sum = 0;
        for (std::size_t i = 0; i < m_offsets.size(); ++i) {
            const int sx = std::clamp(x + m_offsets[i][0], 0, m_ref.image.width - 1);
            const int sy = std::clamp(y + m_offsets[i][1], 0, m_ref.image.height - 1);
            window[i] = m_ref.image.at(sx, sy);
            sum += window[i];
        }
        return normalise(window, sum);
    }

    // The pixel's cost under a hypothesis, and each source's part in `perSource` (for tests and filtering).
    // With a `bound`, the caller only needs to know whether the cost is below it: once the sources compared
    // so far show it cannot be, the rest are skipped and a cost of at least `bound` comes back.
    float cost(int x, int y, const Hypothesis& h, const float* refWindow, std::vector<float>& perSource,
               std::vector<float>& scratch, float bound = kWorstCost + 1) const
    {
        perSource.assign(m_sources.size(), kWorstCost);
        const float u = float(x) + 0.5f;
        const float v = float(y) + 0.5f;
        const V3 ray = m_ref.camera.ray(u, v);
        const V3 point = ray * h.depth;
        const float planeOffset = dot(h.normal, point);
        if (h.depth <= 0 || planeOffset >= 0) {
            return kWorstCost;
        }
        // Kr^-T n / c: the hypothesis' part of every source's homography.
        const PinholeCamera& rc = m_ref.camera;
        const float invC = 1.0f / planeOffset;
        const float q0 = h.normal.x / rc.fx * invC;
        const float q1 = h.normal.y / rc.fy * invC;
        const float q2 = (h.normal.z - h.normal.x * rc.cx / rc.fx - h.normal.y * rc.cy / rc.fy) * invC;
        for (std::size_t s = 0; s < m_sources.size(); ++s) {
            const SourceGeometry& source = m_sources[s];
            float m[9];
            const float b[3] = {source.projectedTranslation.x, source.projectedTranslation.y,
                                source.projectedTranslation.z};
            for (int r = 0; r < 3; ++r) {
                m[r * 3] = source.fixedHomography.m[std::size_t(r) * 3] + b[r] * q0;
                m[r * 3 + 1] = source.fixedHomography.m[std::size_t(r) * 3 + 1] + b[r] * q1;
                m[r * 3 + 2] = source.fixedHomography.m[std::size_t(r) * 3 + 2] + b[r] * q2;
            }
            const float ncc = correlation(m, u, v, source.view->image, refWindow);
            if (!(ncc > -2.0f)) {
                continue;
            }
            float c = std::clamp(1.0f - ncc, 0.0f, kWorstCost);
            if (source.map) {
                c += m_options.geometricWeight * geometricError(point, *source.view, *source.map, source, u, v);
            }
            perSource[s] = c;
            if (const float least = leastCost(perSource, s + 1); least >= bound) {
                return least;
            }
        }
        return aggregate(perSource, scratch);
    }

    // Pixel distance a reference point travels into the source's depth map and back.
    float geometricError(const V3& point, const StereoView& source, const DepthNormalMap& map,
                         const SourceGeometry& geometry, float u, float v) const
    {
        const V3 inSource = geometry.rotation * point + geometry.translation;
        const float cap = m_options.maxGeometricErrorPx;
        if (inSource.z <= 0) {
            return cap;
        }
        const PinholeCamera& sc = source.camera;
        const float su = sc.fx * inSource.x / inSource.z + sc.cx;
        const float sv = sc.fy * inSource.y / inSource.z + sc.cy;
        const int sx = int(std::floor(su));
        const int sy = int(std::floor(sv));
        if (sx < 0 || sy < 0 || sx >= map.width || sy >= map.height) {
            return cap;
        }
        const float sourceDepth = map.depth[map.index(sx, sy)];
        if (sourceDepth <= 0) {
            return cap;
        }
        const V3 back = geometry.rotationBack * (sc.ray(su, sv) * sourceDepth) + geometry.translationBack;
        if (back.z <= 0) {
            return cap;
        }
        const PinholeCamera& rc = m_ref.camera;
        const float du = rc.fx * back.x / back.z + rc.cx - u;
        const float dv = rc.fy * back.y / back.z + rc.cy - v;
        return std::min(std::sqrt(du * du + dv * dv), cap);
    }

private:
    // NCC of the reference window (zero mean, unit norm) with the source window the homography `m` gives for
    // the window centred on (u, v); NaN when the window leaves the source frame or is flat there. The
    // window's four corners decide whether it lies inside (a plane homography in front of the camera keeps a
    // convex window convex), so the loop over samples has no branches.
    float correlation(const float* m, float u, float v, const GreyImage& image, const float* refWindow) const
    {
        constexpr float kNone = std::numeric_limits<float>::quiet_NaN();
        const float r = float(m_options.windowRadiusPx);
        const float maxX = float(image.width) - 0.5f;
        const float maxY = float(image.height) - 0.5f;
        for (const float cy : {v - r, v + r}) {
            for (const float cx : {u - r, u + r}) {
                const float hz = m[6] * cx + m[7] * cy + m[8];
                if (!(hz > 1e-6f)) {
                    return kNone;
                }
                const float su = (m[0] * cx + m[1] * cy + m[2]) / hz;
                const float sv = (m[3] * cx + m[4] * cy + m[5]) / hz;
                if (!(su >= 0.5f && sv >= 0.5f && su <= maxX && sv <= maxY)) {
                    return kNone;
                }
            }
        }
        const int lastX = std::max(0, image.width - 2);
        const int lastY = std::max(0, image.height - 2);
        const std::size_t stride = image.height > 1 ? std::size_t(image.width) : 0;
        const int dx = image.width > 1 ? 1 : 0;
        const float* pixels = image.pixels.data();
        const float baseX = m[0] * u + m[1] * v + m[2];
        const float baseY = m[3] * u + m[4] * v + m[5];
        const float baseZ = m[6] * u + m[7] * v + m[8];
        const std::size_t n = m_offsetX.size();
        float sum = 0, squares = 0, cross = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const float ox = m_offsetX[i];
            const float oy = m_offsetY[i];
            const float invZ = 1.0f / (baseZ + m[6] * ox + m[7] * oy);
            // Pixel centres are at +0.5; the corners above keep these at or above zero.
            const float px = (baseX + m[0] * ox + m[1] * oy) * invZ - 0.5f;
            const float py = (baseY + m[3] * ox + m[4] * oy) * invZ - 0.5f;
            const int x0 = std::clamp(int(px), 0, lastX);
            const int y0 = std::clamp(int(py), 0, lastY);
            const float fx = px - float(x0);
            const float fy = py - float(y0);
            const float* row0 = pixels + std::size_t(y0) * std::size_t(image.width) + std::size_t(x0);
            const float* row1 = row0 + stride;
            const float top = row0[0] + fx * (row0[dx] - row0[0]);
            const float bottom = row1[0] + fx * (row1[dx] - row1[0]);
            const float value = top + fy * (bottom - top);
            sum += value;
            squares += value * value;
            cross += refWindow[i] * value;
        }
        // The reference window has zero mean, so its correlation with the raw source values equals the one
        // with the centred ones.
        const float centredSquares = squares - sum * sum / float(n);
        if (!(centredSquares >= 1e-8f * float(n))) {
            return kNone;
        }
        return cross / std::sqrt(centredSquares);
    }

    static bool normalise(std::vector<float>& values, float sum)
    {
        const float mean = sum / float(values.size());
        float squares = 0;
        for (float& value : values) {
            value -= mean;
            squares += value * value;
        }
        if (squares < 1e-8f * float(values.size())) {
            return false;
        }
        const float scale = 1.0f / std::sqrt(squares);
        for (float& value : values) {
            value *= scale;
        }
        return true;
    }

    // The least the pixel's cost can come to once the first `known` sources are compared (the others could
    // match perfectly): the mean of the best views, with the unknown sources at 0.
    float leastCost(const std::vector<float>& perSource, std::size_t known) const
    {
        constexpr std::size_t kMaxSources = 16;
        const std::size_t k = std::min<std::size_t>(std::max(1, m_options.bestViews), perSource.size());
        const std::size_t unknown = perSource.size() - known;
        if (unknown >= k || known > kMaxSources) {
            return 0;
        }
        std::array<float, kMaxSources> costs{};
        std::copy(perSource.begin(), perSource.begin() + std::ptrdiff_t(known), costs.begin());
        const std::size_t counted = k - unknown;
        std::partial_sort(costs.begin(), costs.begin() + std::ptrdiff_t(counted),
                          costs.begin() + std::ptrdiff_t(known));
        float total = 0;
        for (std::size_t i = 0; i < counted; ++i) {
            total += costs[i];
        }
        return total / float(k);
    }

    float aggregate(const std::vector<float>& perSource, std::vector<float>& scratch) const
    {
        scratch.assign(perSource.begin(), perSource.end());
        const std::size_t k = std::min<std::size_t>(std::max(1, m_options.bestViews), scratch.size());
        if (k == 0) {
            return kWorstCost;
        }
        std::partial_sort(scratch.begin(), scratch.begin() + std::ptrdiff_t(k), scratch.end());
        float total = 0;
        for (std::size_t i = 0; i < k; ++i) {
            total += scratch[i];
        }
        return total / float(k);
    }

    const StereoView& m_ref;
    const std::vector<SourceGeometry>& m_sources;
    const PatchMatchOptions& m_options;
    std::vector<std::array<int, 2>> m_offsets;
    std::vector<float> m_offsetX; // the same offsets as floats, one array per axis
    std::vector<float> m_offsetY;
};

V3 randomNormal(std::mt19937_64& random, const V3& ray)
{
    std::normal_distribution<float> gauss(0.0f, 1.0f);
    const V3 towardCamera = normalized(ray) * -1.0f;
    for (int attempt = 0; attempt < 16; ++attempt) {
        V3 n = normalized(V3{gauss(random), gauss(random), gauss(random)});
        if (dot(n, towardCamera) < 0) {
            n = n * -1.0f;
        }
        if (dot(n, towardCamera) > kMinFacing) {
            return n;
        }
    }
    return towardCamera;
}

V3 perturbNormal(std::mt19937_64& random, const V3& normal, const V3& ray, float amount)
{
    std::uniform_real_distribution<float> spread(-amount, amount);
    V3 n = normalized(normal + V3{spread(random), spread(random), spread(random)});
    const V3 towardCamera = normalized(ray) * -1.0f;
    return dot(n, towardCamera) > kMinFacing ? n : normal;
}

std::vector<SourceGeometry> relativeGeometry(const StereoView& reference,
                                             const std::vector<const StereoView*>& sources,
                                             const std::vector<const DepthNormalMap*>& sourceMaps)
{
    std::vector<SourceGeometry> result;
    const M3 refToWorld = reference.camera.rotation.transposed();
    for (std::size_t i = 0; i < sources.size(); ++i) {
        SourceGeometry g;
        g.view = sources[i];
        g.map = i < sourceMaps.size() ? sourceMaps[i] : nullptr;
        // X_s = Rs (Rr^T (X_r - tr)) + ts
        g.rotation = sources[i]->camera.rotation * refToWorld;
        g.translation = sources[i]->camera.translation - g.rotation * reference.camera.translation;
        g.rotationBack = g.rotation.transposed();
        g.translationBack = (g.rotationBack * g.translation) * -1.0f;
        const PinholeCamera& rc = reference.camera;
        const PinholeCamera& sc = sources[i]->camera;
        const M3 ks{{sc.fx, 0, sc.cx, 0, sc.fy, sc.cy, 0, 0, 1}};
        const M3 krInv{{1 / rc.fx, 0, -rc.cx / rc.fx, 0, 1 / rc.fy, -rc.cy / rc.fy, 0, 0, 1}};
        g.fixedHomography = ks * g.rotation * krInv;
        g.projectedTranslation = ks * g.translation;
        result.push_back(g);
    }
    return result;
}

int threadCount(int requested)
{
    return requested > 0 ? requested : std::max(1, int(std::thread::hardware_concurrency()));
}

} // namespace

DepthNormalMap estimateDepthNormal(const StereoView& reference, const std::vector<const StereoView*>& sources,
                                   const std::vector<SparseDepth>& sparse, const PatchMatchOptions& options,
                                   const std::vector<const DepthNormalMap*>& sourceMaps,
                                   const DepthNormalMap* start, const PatchMatchControl& control)
{
    const int width = reference.image.width;
    const int height = reference.image.height;
    DepthNormalMap map;
    map.width = width;
    map.height = height;
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    map.depth.assign(pixels, 0.0f);
    map.normal.assign(pixels, V3{0, 0, -1});
    map.cost.assign(pixels, kWorstCost);
    if (pixels == 0 || sources.empty() || !(options.maxDepth > options.minDepth) || !(options.minDepth > 0)) {
        return map;
    }
    const std::vector<SourceGeometry> geometry = relativeGeometry(reference, sources, sourceMaps);
    const Evaluator evaluator(reference, geometry, options);
    const int threads = threadCount(options.threads);
    const StopFlag stop{control.cancel};

    // Reference windows are fixed for the whole run.
    std::vector<float> windows(pixels * evaluator.sampleCount());
    std::vector<std::uint8_t> textured(pixels, 0);
    parallelRows(height, threads, stop, [&](int y) {
        std::vector<float> window;
        for (int x = 0; x < width; ++x) {
            const std::size_t i = map.index(x, y);
            textured[i] = options.region.contains(x, y) && evaluator.referenceWindow(x, y, window) ? 1 : 0;
            std::copy(window.begin(), window.end(), windows.begin() + std::ptrdiff_t(i * window.size()));
        }
    });
    auto windowOf = [&](std::size_t i) { return windows.data() + i * evaluator.sampleCount(); };

    // Start: the previous pass's map, or random planes with the sparse depths planted.
    std::vector<Hypothesis> hypotheses(pixels);
    std::uniform_real_distribution<float> depthDraw(options.minDepth, options.maxDepth);
    if (start && start->width == width && start->height == height) {
        for (std::size_t i = 0; i < pixels; ++i) {
            hypotheses[i] = {start->depth[i], start->normal[i]};
        }
    }
    parallelRows(height, threads, stop, [&](int y) {
        std::mt19937_64 random(options.seed * 0x9E3779B97F4A7C15ULL + std::uint64_t(y));
        for (int x = 0; x < width; ++x) {
            Hypothesis& h = hypotheses[map.index(x, y)];
            if (h.depth <= 0) {
                const V3 ray = reference.camera.ray(float(x) + 0.5f, float(y) + 0.5f);
                h = {depthDraw(random), randomNormal(random, ray)};
            }
        }
    });
    if (!start) {
        for (const SparseDepth& point : sparse) {
            const int cx = int(point.u);
            const int cy = int(point.v);
            if (!(point.depth >= options.minDepth && point.depth <= options.maxDepth)) {
                continue;
            }
            for (int y = std::max(0, cy - 1); y <= std::min(height - 1, cy + 1); ++y) {
                for (int x = std::max(0, cx - 1); x <= std::min(width - 1, cx + 1); ++x) {
                    const V3 ray = reference.camera.ray(float(x) + 0.5f, float(y) + 0.5f);
                    hypotheses[map.index(x, y)] = {point.depth, normalized(ray) * -1.0f};
                }
            }
        }
    }
    parallelRows(height, threads, stop, [&](int y) {
        std::vector<float> perSource;
        std::vector<float> scratch;
        for (int x = 0; x < width; ++x) {
            const std::size_t i = map.index(x, y);
            if (textured[i]) {
                map.cost[i] = evaluator.cost(x, y, hypotheses[i], windowOf(i), perSource, scratch);
            }
        }
    });

    // Neighbours of the other colour whose planes are tried: the adjacent ones in even iterations, the ones five
    // pixels away (which carry a good plane across a badly matched patch) in odd ones.
    constexpr std::array<std::array<int, 2>, 4> kNear{{{-1, 0}, {1, 0}, {0, -1}, {0, 1}}};
    constexpr std::array<std::array<int, 2>, 4> kFar{{{-5, 0}, {5, 0}, {0, -5}, {0, 5}}};
    const int sweeps = options.iterations * 2;
    for (int sweep = 0; sweep < sweeps && !stop.stop_requested(); ++sweep) {
        const int colour = sweep % 2;
        const int iteration = sweep / 2;
        const float depthSpan = (options.maxDepth - options.minDepth) * std::pow(0.5f, float(iteration + 1));
        const float normalSpread = 0.5f * std::pow(0.5f, float(iteration));
        parallelRows(height, threads, stop, [&](int y) {
            std::mt19937_64 random(options.seed * 0xD1B54A32D192ED03ULL + std::uint64_t(sweep) * 1000003ULL
                                   + std::uint64_t(y));
            std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
            std::vector<float> perSource;
            std::vector<float> scratch;
            for (int x = (y + colour) % 2; x < width; x += 2) {
                const std::size_t i = map.index(x, y);
                if (!textured[i]) {
                    continue;
                }
                const float* window = windowOf(i);
                Hypothesis best = hypotheses[i];
                float bestCost = map.cost[i];
                auto consider = [&](const Hypothesis& candidate) {
                    const float c = evaluator.cost(x, y, candidate, window, perSource, scratch, bestCost);
                    if (c < bestCost) {
                        bestCost = c;
                        best = candidate;
                    }
                };
                // Neighbours of the other colour: their planes, carried to this pixel.
                const V3 ray = reference.camera.ray(float(x) + 0.5f, float(y) + 0.5f);
                for (const auto& offset : iteration % 2 == 0 ? kNear : kFar) {
                    const int nx = x + offset[0];
                    const int ny = y + offset[1];
                    if (nx < 0 || ny < 0 || nx >= width || ny >= height) {
                        continue;
                    }
                    const Hypothesis& n = hypotheses[map.index(nx, ny)];
                    const V3 nRay = reference.camera.ray(float(nx) + 0.5f, float(ny) + 0.5f);
                    const float c = dot(n.normal, nRay * n.depth);
                    const float denominator = dot(n.normal, ray);
                    if (denominator < -1e-6f) {
                        const float depth = c / denominator;
                        if (depth >= options.minDepth && depth <= options.maxDepth) {
                            consider({depth, n.normal});
                        }
                    }
                }
                // Refinement: a fresh random plane early on, then small steps around the best one.
                if (iteration == 0) {
                    consider({options.minDepth + (options.maxDepth - options.minDepth) * (unit(random) * 0.5f + 0.5f),
                              randomNormal(random, ray)});
                }
                const float depth = std::clamp(best.depth + unit(random) * depthSpan, options.minDepth,
                                               options.maxDepth);
                consider({depth, best.normal});
                consider({best.depth, perturbNormal(random, best.normal, ray, normalSpread)});
                hypotheses[i] = best;
                map.cost[i] = bestCost;
            }
        });
        if (control.progress) {
            control.progress(double(sweep + 1) / double(sweeps));
        }
    }
    for (std::size_t i = 0; i < pixels; ++i) {
        // A pixel no source could be compared with (its window leaves every frame) has no depth.
        if (textured[i] && map.cost[i] < kWorstCost) {
            map.depth[i] = hypotheses[i].depth;
            map.normal[i] = hypotheses[i].normal;
        }
    }
    return map;
}

std::size_t filterDepthNormal(DepthNormalMap& map, const StereoView& reference,
                              const std::vector<const StereoView*>& sources,
                              const std::vector<const DepthNormalMap*>& sourceMaps, const FilterOptions& options)
{
    const std::vector<SourceGeometry> geometry = relativeGeometry(reference, sources, sourceMaps);
    const int needed = std::min<int>(options.minConsistentViews, int(sourceMaps.size()));
    std::size_t kept = 0;
    for (int y = 0; y < map.height; ++y) {
        for (int x = 0; x < map.width; ++x) {
            const std::size_t i = map.index(x, y);
            if (map.depth[i] <= 0) {
                continue;
            }
            if (map.cost[i] > options.maxCost) {
                map.depth[i] = 0;
                continue;
            }
            const float u = float(x) + 0.5f;
            const float v = float(y) + 0.5f;
            const V3 point = reference.camera.ray(u, v) * map.depth[i];
            int agreeing = 0;
            for (const SourceGeometry& g : geometry) {
                if (!g.map) {
                    continue;
                }
                const V3 inSource = g.rotation * point + g.translation;
                if (inSource.z <= 0) {
                    continue;
                }
                const PinholeCamera& sc = g.view->camera;
                const float su = sc.fx * inSource.x / inSource.z + sc.cx;
                const float sv = sc.fy * inSource.y / inSource.z + sc.cy;
                const int sx = int(std::floor(su));
                const int sy = int(std::floor(sv));
                if (sx < 0 || sy < 0 || sx >= g.map->width || sy >= g.map->height) {
                    continue;
                }
                const float sourceDepth = g.map->depth[g.map->index(sx, sy)];
                if (sourceDepth <= 0 || std::abs(sourceDepth - inSource.z) > options.maxRelativeDepthError * inSource.z) {
                    continue;
                }
                const V3 back = g.rotationBack * (sc.ray(su, sv) * sourceDepth) + g.translationBack;
                const PinholeCamera& rc = reference.camera;
                const float du = rc.fx * back.x / back.z + rc.cx - u;
                const float dv = rc.fy * back.y / back.z + rc.cy - v;
                if (du * du + dv * dv <= options.maxReprojectionPx * options.maxReprojectionPx) {
                    ++agreeing;
                }
            }
            if (agreeing < needed) {
                map.depth[i] = 0;
            } else {
                ++kept;
            }
        }
    }
    return kept;
}

} // namespace tovarine::stereo
