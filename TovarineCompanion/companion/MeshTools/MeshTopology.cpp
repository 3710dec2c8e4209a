#include "MeshTopology.h"

#include "EdgeUsage.h"
#include "VecMath.h"

#include <algorithm>
#include <cmath>

namespace tovarine::MeshTopology {

namespace {

constexpr std::int64_t kNone = -1;

std::uint64_t mix(std::uint64_t x)
{
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

// Floor of a cell coordinate as a signed 64-bit integer, saturating instead of overflowing.
std::int64_t cellCoordinate(double scaled)
{
    const double f = std::floor(scaled);
    if (!(f > -9.0e18)) {
        return -9000000000000000000LL;
    }
    if (f > 9.0e18) {
        return 9000000000000000000LL;
    }
    return static_cast<std::int64_t>(f);
}

// Open-addressing map from a cell to the first and last surviving vertex appended to it; the survivors of a
// cell are chained through `next` in the order they were appended.
class CellTable
{
public:
    explicit CellTable(std::size_t expected)
    {
        std::size_t capacity = 16;
        while (capacity < expected * 2) {
            capacity *= 2;
        }
        m_slots.resize(capacity);
        m_mask = capacity - 1;
    }

    std::int64_t head(const Cell& cell) const
    {
        for (std::size_t i = indexOf(cell);; i = (i + 1) & m_mask) {
            const Slot& slot = m_slots[i];
            if (slot.head == kNone) {
                return kNone;
            }
            if (slot.cell == cell) {
                return slot.head;
            }
        }
    }

    void append(const Cell& cell, std::int64_t survivor, std::vector<std::int64_t>& next)
    {
        for (std::size_t i = indexOf(cell);; i = (i + 1) & m_mask) {
            Slot& slot = m_slots[i];
            if (slot.head == kNone) {
                slot.cell = cell;
                slot.head = survivor;
                slot.tail = survivor;
                return;
            }
            if (slot.cell == cell) {
                next[static_cast<std::size_t>(slot.tail)] = survivor;
                slot.tail = survivor;
                return;
            }
        }
    }

private:
    struct Slot
    {
        Cell cell;
        std::int64_t head = kNone;
        std::int64_t tail = kNone;
    };

    std::size_t indexOf(const Cell& cell) const { return CellHash{}(cell)&m_mask; }

    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
};

// Open-addressing set of cells, used for the coarse blocks that tell quickly when a vertex's 27-cell
// neighbourhood holds no survivor at all.
class CellSet
{
public:
    explicit CellSet(std::size_t expected)
    {
        std::size_t capacity = 16;
        while (capacity < expected * 2) {
            capacity *= 2;
        }
        m_cells.resize(capacity);
        m_used.assign(capacity, 0);
        m_mask = capacity - 1;
    }

    bool contains(const Cell& cell) const
    {
        for (std::size_t i = CellHash{}(cell)&m_mask;; i = (i + 1) & m_mask) {
            if (!m_used[i]) {
                return false;
            }
            if (m_cells[i] == cell) {
                return true;
            }
        }
    }

    void insert(const Cell& cell)
    {
        for (std::size_t i = CellHash{}(cell)&m_mask;; i = (i + 1) & m_mask) {
            if (!m_used[i]) {
                m_used[i] = 1;
                m_cells[i] = cell;
                return;
            }
            if (m_cells[i] == cell) {
                return;
            }
        }
    }

private:
    std::vector<Cell> m_cells;
    std::vector<char> m_used;
    std::size_t m_mask = 0;
};

// Blocks of 16 × 16 × 16 cells: a vertex whose neighbouring cells all lie in blocks without survivors
// survives without visiting the 27 cells one by one (the outcome is the same; only the lookups are fewer).
constexpr int kBlockShift = 4;

Cell blockOf(const Cell& cell)
{
    return {cell.x >> kBlockShift, cell.y >> kBlockShift, cell.z >> kBlockShift};
}

} // namespace

std::size_t CellHash::operator()(const Cell& cell) const
{
    const auto x = static_cast<std::uint64_t>(cell.x);
    const auto y = static_cast<std::uint64_t>(cell.y);
    const auto z = static_cast<std::uint64_t>(cell.z);
    return static_cast<std::size_t>(
        mix(x * 0x9E3779B97F4A7C15ULL ^ mix(y + 0x632BE59BD9B4E019ULL) ^ mix(z * 0x85EBCA77C2B2AE63ULL + 1)));
}

MeshTriangles validTriangles(const MeshTriangles& triangles, std::int64_t vertexCount)
{
    MeshTriangles kept;
    kept.reserve(triangles.size());
    for (const MeshTriangle& t : triangles) {
        const bool inRange = t[0] >= 0 && t[0] < vertexCount && t[1] >= 0 && t[1] < vertexCount &&
                             t[2] >= 0 && t[2] < vertexCount;
        if (inRange && t[0] != t[1] && t[1] != t[2] && t[0] != t[2]) {
            kept.push_back(t);
        }
    }
    return kept;
}

MeshLists weld(const MeshPositions& positions, const MeshTriangles& triangles,
               std::optional<double> tolerance)
{
    if (positions.empty()) {
        return {positions, triangles};
    }
    const auto vertexCount = static_cast<std::int64_t>(positions.size());
    std::vector<char> finite(positions.size());
    for (std::size_t v = 0; v < positions.size(); ++v) {
        finite[v] = vecmath::isFinite(positions[v]) ? 1 : 0;
    }
    auto usable = [&](const MeshTriangle& t) {
        for (std::int64_t index : t) {
            if (index < 0 || index >= vertexCount || !finite[static_cast<std::size_t>(index)]) {
                return false;
            }
        }
        return true;
    };

    std::vector<char> referenced(positions.size(), 0);
    std::size_t referencedCount = 0;
    for (const MeshTriangle& t : triangles) {
        if (usable(t)) {
            for (std::int64_t index : t) {
                char& mark = referenced[static_cast<std::size_t>(index)];
                referencedCount += mark ? 0 : 1;
                mark = 1;
            }
        }
    }

    const double inf = INFINITY;
    Vec3 lo{inf, inf, inf};
    Vec3 hi{-inf, -inf, -inf};
    for (std::size_t v = 0; v < positions.size(); ++v) {
        if (referenced[v]) {
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], positions[v][a]);
                hi[a] = std::max(hi[a], positions[v][a]);
            }
        }
    }
    double tol = 0.0;
    if (tolerance && *tolerance > 0.0 && std::isfinite(*tolerance)) {
        tol = *tolerance;
    } else {
        const double extent =
            referencedCount == 0 ? 0.0 : std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
        tol = extent * 1e-6;
        if (tol <= 1e-9) {
            tol = 1e-9;
        }
    }
    const double inverse = 1.0 / tol;

    MeshLists out;
    out.positions.reserve(referencedCount);
    std::vector<std::int64_t> representative(positions.size(), kNone);
    std::vector<std::int64_t> next;
    next.reserve(referencedCount);
    CellTable table(referencedCount);
    CellSet blocks(referencedCount);
    for (std::size_t v = 0; v < positions.size(); ++v) {
        if (!referenced[v]) {
            continue;
        }
        const Vec3& p = positions[v];
        const Cell own{cellCoordinate((p[0] - lo[0]) * inverse), cellCoordinate((p[1] - lo[1]) * inverse),
                       cellCoordinate((p[2] - lo[2]) * inverse)};
        std::int64_t found = kNone;
        const Cell firstBlock = blockOf({own.x - 1, own.y - 1, own.z - 1});
        const Cell lastBlock = blockOf({own.x + 1, own.y + 1, own.z + 1});
        bool anyBlock = false;
        for (std::int64_t bz = firstBlock.z; bz <= lastBlock.z && !anyBlock; ++bz) {
            for (std::int64_t by = firstBlock.y; by <= lastBlock.y && !anyBlock; ++by) {
                for (std::int64_t bx = firstBlock.x; bx <= lastBlock.x && !anyBlock; ++bx) {
                    anyBlock = blocks.contains({bx, by, bz});
                }
            }
        }
        for (int dz = -1; dz <= 1 && found == kNone && anyBlock; ++dz) {
            for (int dy = -1; dy <= 1 && found == kNone; ++dy) {
                for (int dx = -1; dx <= 1 && found == kNone; ++dx) {
                    const Cell cell{own.x + dx, own.y + dy, own.z + dz};
                    for (std::int64_t s = table.head(cell); s != kNone;
                         s = next[static_cast<std::size_t>(s)]) {
                        const Vec3& q = out.positions[static_cast<std::size_t>(s)];
                        if (vecmath::length(vecmath::sub(q, p)) <= tol) {
                            found = s;
                            break;
                        }
                    }
                }
            }
        }
        if (found == kNone) {
            found = static_cast<std::int64_t>(out.positions.size());
            out.positions.push_back(p);
            next.push_back(kNone);
            table.append(own, found, next);
            blocks.insert(blockOf(own));
        }
        representative[v] = found;
    }

    out.triangles.reserve(triangles.size());
    for (const MeshTriangle& t : triangles) {
        if (!usable(t)) {
            continue;
        }
        const MeshTriangle r{representative[static_cast<std::size_t>(t[0])],
                             representative[static_cast<std::size_t>(t[1])],
                             representative[static_cast<std::size_t>(t[2])]};
        if (r[0] != r[1] && r[1] != r[2] && r[0] != r[2]) {
            out.triangles.push_back(r);
        }
    }
    return out;
}

EdgeReport edgeReport(const MeshTriangles& triangles)
{
    const edgeusage::EdgeTally tally = edgeusage::tallyEdges(triangles);
    return {tally.open, tally.nonManifold, tally.flipped};
}

} // namespace tovarine::MeshTopology
