#include "PatchMatchStereo.h"
#include "StereoScene.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tovarine::stereo {
namespace {

struct Accuracy {
    std::size_t valid = 0;     // pixels with a depth where the scene has a surface
    std::size_t accurate = 0;  // of those, within 2 % of the true depth (about a third of a pixel here)
    double meanRelativeError = 0;
};

// Pixels this close to the edge have windows that leave every frame: they are never matched.
constexpr int kMargin = 6;

std::size_t innerArea(const DepthNormalMap& map)
{
    return std::size_t(map.width - 2 * kMargin) * std::size_t(map.height - 2 * kMargin);
}

Accuracy measure(const test::Scene& scene, const StereoView& view, const DepthNormalMap& map)
{
    Accuracy a;
    double total = 0;
    for (int y = kMargin; y < map.height - kMargin; ++y) {
        for (int x = kMargin; x < map.width - kMargin; ++x) {
            const float depth = map.depth[map.index(x, y)];
            const float truth = test::trueDepth(scene, view.camera, x, y);
            if (depth <= 0 || truth <= 0) {
                continue;
            }
            const double error = std::abs(depth - truth) / truth;
            ++a.valid;
            a.accurate += error < 0.02 ? 1 : 0;
            total += std::min(error, 1.0);
        }
    }
    a.meanRelativeError = a.valid ? total / double(a.valid) : 1.0;
    return a;
}

std::vector<const StereoView*> othersThan(const std::vector<StereoView>& views, std::size_t reference)
{
    std::vector<const StereoView*> sources;
    for (std::size_t i = 0; i < views.size(); ++i) {
        if (i != reference) {
            sources.push_back(&views[i]);
        }
    }
    return sources;
}

PatchMatchOptions sceneOptions()
{
    PatchMatchOptions options;
    options.minDepth = 1.0f;
    options.maxDepth = 4.0f;
    options.iterations = 4;
    options.threads = 2;
    return options;
}

TEST(PatchMatchStereo, FindsTheDepthOfATexturedWall)
{
    const test::Scene scene{.withSphere = false, .sphereRadius = 0.5f, .wallZ = 0.0f};
    const std::vector<StereoView> views = test::renderViews(scene, 5, 24, 96, 72);
    const DepthNormalMap map = estimateDepthNormal(views[2], othersThan(views, 2), {}, sceneOptions());
    const Accuracy a = measure(scene, views[2], map);
    EXPECT_GT(double(a.accurate), 0.9 * double(innerArea(map))) << a.accurate;
    // The wall faces the middle camera: its normals point back at it.
    const V3 n = map.normal[map.index(48, 36)];
    EXPECT_LT(n.z, -0.9f);
}

TEST(PatchMatchStereo, OnlyTheRegionsPixelsGetADepth)
{
    const test::Scene scene{.withSphere = false, .sphereRadius = 0.5f, .wallZ = 0.0f};
    const std::vector<StereoView> views = test::renderViews(scene, 5, 24, 96, 72);
    PatchMatchOptions options = sceneOptions();
    options.region = {30, 20, 70, 50};
    const DepthNormalMap map = estimateDepthNormal(views[2], othersThan(views, 2), {}, options);
    std::size_t inside = 0, accurate = 0;
    for (int y = 0; y < map.height; ++y) {
        for (int x = 0; x < map.width; ++x) {
            const float depth = map.depth[map.index(x, y)];
            if (!options.region.contains(x, y)) {
                ASSERT_EQ(depth, 0.0f) << x << "," << y;
                continue;
            }
            ++inside;
            const float truth = test::trueDepth(scene, views[2].camera, x, y);
            accurate += std::abs(depth - truth) < 0.02f * truth ? 1 : 0;
        }
    }
    EXPECT_GT(double(accurate), 0.9 * double(inside)) << accurate << " of " << inside;
}

TEST(PatchMatchStereo, SameSeedSameMapWhateverTheThreads)
{
    const test::Scene scene{.withSphere = true};
    const std::vector<StereoView> views = test::renderViews(scene, 3, 20, 48, 36);
    PatchMatchOptions options = sceneOptions();
    options.iterations = 2;
    options.threads = 1;
    const DepthNormalMap one = estimateDepthNormal(views[1], othersThan(views, 1), {}, options);
    options.threads = 3;
    const DepthNormalMap three = estimateDepthNormal(views[1], othersThan(views, 1), {}, options);
    EXPECT_EQ(one.depth, three.depth);
}

TEST(PatchMatchStereo, GeometricPassAndFilterRemoveWhatTheFramesDisagreeOn)
{
    const test::Scene scene{.withSphere = true};
    const std::vector<StereoView> views = test::renderViews(scene, 5, 30, 96, 72);
    const PatchMatchOptions options = sceneOptions();
    std::vector<DepthNormalMap> photometric;
    for (std::size_t i = 0; i < views.size(); ++i) {
        photometric.push_back(estimateDepthNormal(views[i], othersThan(views, i), {}, options));
    }
    const std::size_t ref = 2;
    std::vector<const DepthNormalMap*> sourceMaps;
    for (std::size_t i = 0; i < views.size(); ++i) {
        if (i != ref) {
            sourceMaps.push_back(&photometric[i]);
        }
    }
    const DepthNormalMap geometric =
        estimateDepthNormal(views[ref], othersThan(views, ref), {}, options, sourceMaps, &photometric[ref]);
    const Accuracy before = measure(scene, views[ref], photometric[ref]);
    const Accuracy after = measure(scene, views[ref], geometric);
    EXPECT_LT(after.meanRelativeError, before.meanRelativeError * 0.8)
        << before.meanRelativeError << " -> " << after.meanRelativeError;

    DepthNormalMap filtered = geometric;
    const std::size_t kept = filterDepthNormal(filtered, views[ref], othersThan(views, ref), sourceMaps, {});
    const Accuracy final = measure(scene, views[ref], filtered);
    EXPECT_GT(double(final.accurate), 0.97 * double(final.valid)) << final.accurate << " of " << final.valid;
    EXPECT_GT(double(kept), 0.5 * double(innerArea(filtered))) << kept;
}

TEST(PatchMatchStereo, DegenerateInputsGiveAnEmptyMap)
{
    const std::vector<StereoView> views = test::renderViews({}, 2, 20, 16, 12);
    PatchMatchOptions options = sceneOptions();
    EXPECT_EQ(estimateDepthNormal(views[0], {}, {}, options).validCount(), 0u);
    options.maxDepth = options.minDepth;
    EXPECT_EQ(estimateDepthNormal(views[0], {&views[1]}, {}, options).validCount(), 0u);
    StereoView flat = views[1];
    std::fill(flat.image.pixels.begin(), flat.image.pixels.end(), 0.5f);
    EXPECT_EQ(estimateDepthNormal(flat, {&views[0]}, {}, sceneOptions()).validCount(), 0u)
        << "an untextured frame has nothing to match";
}

} // namespace
} // namespace tovarine::stereo
