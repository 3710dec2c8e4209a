#include "MeshFixtures.h"

#include "Mesh/WatertightValidator.h"

#include <gtest/gtest.h>

using namespace ostrel;

namespace {

test::Mesh openBox()
{
    test::Mesh m = test::closedBox();
    m.indices.resize(m.indices.size() - 6); // no left side
    return m;
}

} // namespace

TEST(WatertightValidator, CountsUnreciprocatedHalfEdges)
{
    const test::Mesh box = test::closedBox();
    std::vector<std::uint32_t> flipped = box.indices;
    std::swap(flipped[1], flipped[2]); // one bottom triangle wound the wrong way

    // Fin: a third triangle on the edge (0, 1) of a closed tetrahedron, so that edge runs twice one way.
    std::vector<std::uint32_t> fin = {0, 2, 1, 0, 1, 3, 1, 2, 3, 0, 3, 2, 0, 1, 4};
    // Pinched vertex: two closed tetrahedra sharing only vertex 0.
    std::vector<std::uint32_t> pinched = {0, 2, 1, 0, 1, 3, 1, 2, 3, 0, 3, 2,
                                          0, 5, 4, 0, 4, 6, 4, 5, 6, 0, 6, 5};

    struct Case
    {
        const char* name;
        std::vector<std::uint32_t> indices;
        std::int64_t open;
    };
    const Case cases[] = {
        {"no indices", {}, 0},
        {"fewer than three indices", {0, 1}, 0},
        {"single triangle", {0, 1, 2}, 3},
        {"trailing indices are ignored", {0, 1, 2, 2, 1}, 3},
        {"closed tetrahedron", {0, 2, 1, 0, 1, 3, 1, 2, 3, 0, 3, 2}, 0},
        {"closed box", box.indices, 0},
        {"open box: the missing side's four rim edges", openBox().indices, 4},
        {"one triangle reversed: its three edges counted from both sides", flipped, 6},
        {"non-manifold edge used twice one way and once the other, plus the fin's two open edges", fin, 1 + 1 + 2},
        {"pinched vertex: every edge is still reciprocated", pinched, 0},
        {"a repeated corner's self-edge is its own reverse", {0, 0, 1, 1, 0, 0}, 0},
        {"index values are never compared with the vertex count", {100, 101, 102, 102, 101, 100}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ValidationResult r = WatertightValidator::validate(box.vertices, c.indices);
        EXPECT_EQ(r.openEdgeCount, c.open);
        EXPECT_EQ(r.isWatertight, c.open == 0);
    }
}

TEST(WatertightValidator, Messages)
{
    EXPECT_EQ(WatertightValidator::validate({}, std::vector<std::uint32_t>{0, 2, 1, 0, 1, 2}).message,
              "Manifold closed. All edges reciprocated.");
    EXPECT_EQ(WatertightValidator::validate({}, std::vector<std::uint32_t>{0, 1, 2}).message,
              "Non-manifold: 3 unreciprocated half-edge(s).");
}

TEST(WatertightValidator, SignedIndicesAreTakenByTheirBitPattern)
{
    const std::vector<std::int32_t> closed = {0, 2, 1, 0, 1, 3, 1, 2, 3, 0, 3, 2};
    EXPECT_TRUE(WatertightValidator::validate({}, closed).isWatertight);
    // −1 is the same label as 4294967295.
    const auto mixed = WatertightValidator::validate({}, std::vector<std::int32_t>{-1, 0, 1});
    const auto unsignedForm = WatertightValidator::validate({}, std::vector<std::uint32_t>{4294967295u, 1, 0});
    EXPECT_EQ(mixed.openEdgeCount, 3);
    const ValidationResult both = WatertightValidator::validate(
        {}, std::vector<std::int32_t>{-1, 0, 1, -1, 1, 0});
    EXPECT_TRUE(both.isWatertight);
    EXPECT_EQ(unsignedForm.openEdgeCount, 3);
}
