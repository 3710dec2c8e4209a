#include "OBJMeshReader.h"

#include "ParallelBlocks.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>
#include <string>

namespace tovarine::OBJMeshReader {

namespace {

bool isSign(char c)
{
    return c == '+' || c == '-';
}

// Reads a double that fills the whole token, as strtod would in the C locale: optional sign, decimal or
// hexadecimal ("0x") digits with exponent, "inf", "infinity" or "nan". Out-of-range values become ±inf or
// ±0 as strtod gives them.
bool parseDouble(std::string_view token, double& value)
{
    if (token.empty()) {
        return false;
    }
    const char* first = token.data();
    const char* last = first + token.size();
    bool negative = false;
    if (isSign(*first)) {
        negative = *first == '-';
        ++first;
        if (first == last || isSign(*first)) {
            return false;
        }
    }
    std::chars_format format = std::chars_format::general;
    if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
        first += 2;
        format = std::chars_format::hex;
        if (isSign(*first)) {
            return false;
        }
    }
    double parsed = 0.0;
    const auto result = std::from_chars(first, last, parsed, format);
    if (result.ptr != last) {
        return false;
    }
    if (result.ec == std::errc::result_out_of_range) {
        // Rare: let the C library decide between overflow and underflow, in the C locale.
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        const std::string copy(token);
        parsed = strtod_l(copy.c_str(), nullptr, cLocale);
        value = parsed;
        return true;
    }
    if (result.ec != std::errc()) {
        return false;
    }
    value = negative ? -parsed : parsed;
    return true;
}

// Reads a signed base-10 integer that fills the whole text; overflow fails.
bool parseIndex(std::string_view text, std::int64_t& value)
{
    if (text.empty()) {
        return false;
    }
    const char* first = text.data();
    const char* last = first + text.size();
    if (*first == '+') {
        ++first;
        if (first == last || isSign(*first)) {
            return false;
        }
    }
    const auto result = std::from_chars(first, last, value);
    return result.ec == std::errc() && result.ptr == last;
}

// Cuts the next space-separated token off the front of `rest`; false when none is left.
bool nextToken(std::string_view& rest, std::string_view& token)
{
    std::size_t start = 0;
    while (start < rest.size() && rest[start] == ' ') {
        ++start;
    }
    if (start == rest.size()) {
        rest = {};
        return false;
    }
    std::size_t end = start;
    while (end < rest.size() && rest[end] != ' ') {
        ++end;
    }
    token = rest.substr(start, end - start);
    rest.remove_prefix(end);
    return true;
}

// A line that names a vertex always holds one, so later faces keep the file's numbering: when its first
// three tokens are not all numbers, the vertex is kept as not-a-number and its faces are dropped later,
// like those of any non-finite vertex.
void parseVertex(std::string_view rest, MeshPositions& positions)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Vec3 p{nan, nan, nan};
    std::string_view tokens[3];
    bool complete = true;
    for (auto& token : tokens) {
        complete = complete && nextToken(rest, token);
    }
    Vec3 parsed;
    for (int a = 0; a < 3 && complete; ++a) {
        complete = parseDouble(tokens[a], parsed[a]);
    }
    positions.push_back(complete ? parsed : p);
}

void parseFace(std::string_view rest, std::int64_t positionCount, std::vector<std::int64_t>& indices,
               MeshTriangles& triangles)
{
    indices.clear();
    std::size_t tokenCount = 0;
    std::string_view token;
    while (nextToken(rest, token)) {
        ++tokenCount;
        const std::size_t slash = token.find('/');
        const std::string_view head = slash == std::string_view::npos ? token : token.substr(0, slash);
        std::int64_t k = 0;
        if (!parseIndex(head, k) || k == 0) {
            continue;
        }
        indices.push_back(k > 0 ? k - 1 : positionCount + k);
    }
    if (tokenCount < 3 || indices.size() < 3) {
        return;
    }
    for (std::size_t i = 1; i + 1 < indices.size(); ++i) {
        triangles.push_back({indices[0], indices[i], indices[i + 1]});
    }
}

enum class Record { vertex, face, other };

// What a line holds, and after its keyword, the rest of it.
Record classify(std::string_view line, std::string_view& rest)
{
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.empty() || line.front() == '#') {
        return Record::other;
    }
    rest = line;
    std::string_view keyword;
    if (!nextToken(rest, keyword)) {
        return Record::other;
    }
    if (keyword == "v") {
        return Record::vertex;
    }
    if (keyword.size() > 1 && keyword[0] == 'v' && keyword[1] == '\t') {
        // A vertex written with tabs: unreadable, but it still takes its number.
        rest = {};
        return Record::vertex;
    }
    return keyword == "f" ? Record::face : Record::other;
}

// Calls onLine(line) for each line of `text` (split at LF).
template <class OnLine> void forEachLine(std::string_view text, OnLine&& onLine)
{
    const char* cursor = text.data();
    const char* const end = cursor + text.size();
    while (cursor < end) {
        const void* found = std::memchr(cursor, '\n', static_cast<std::size_t>(end - cursor));
        const char* lineEnd = found ? static_cast<const char*>(found) : end;
        onLine(std::string_view(cursor, static_cast<std::size_t>(lineEnd - cursor)));
        cursor = lineEnd + 1;
    }
}

// Parses the lines of `text` into `mesh`; `positionsBefore` vertices precede them in the file.
void parseLines(std::string_view text, std::int64_t positionsBefore, MeshLists& mesh)
{
    std::vector<std::int64_t> indices;
    indices.reserve(16);
    forEachLine(text, [&](std::string_view line) {
        std::string_view rest;
        switch (classify(line, rest)) {
        case Record::vertex:
            parseVertex(rest, mesh.positions);
            break;
        case Record::face:
            parseFace(rest, positionsBefore + static_cast<std::int64_t>(mesh.positions.size()), indices,
                      mesh.triangles);
            break;
        case Record::other:
            break;
        }
    });
}

// Texts from this size are parsed in pieces on several threads.
constexpr std::size_t kParallelFromBytes = std::size_t{4} << 20;

} // namespace

MeshLists parse(std::string_view text)
{
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    MeshLists mesh;
    // No more than the text can hold ("v 0 0 0" takes 8 bytes a line; a fanned polygon gains a triangle
    // every 2 bytes): a short text does not pay for megabytes it cannot fill.
    mesh.positions.reserve(std::min(kReservedPositions, text.size() / 8 + 1));
    mesh.triangles.reserve(std::min(kReservedTriangles, text.size() / 2 + 1));
    if (text.size() < kParallelFromBytes) {
        parseLines(text, 0, mesh);
        return mesh;
    }

    // Pieces that end at line ends; first count each piece's vertices (so negative indices count from the
    // right place), then parse the pieces side by side and join them in order.
    const auto threads = static_cast<std::size_t>(parallel::threadsFor(0));
    const std::size_t pieceCount = threads * 4;
    std::vector<std::string_view> pieces;
    std::size_t begin = 0;
    for (std::size_t p = 1; p <= pieceCount && begin < text.size(); ++p) {
        std::size_t end = p == pieceCount ? text.size() : std::max(begin, text.size() / pieceCount * p);
        const std::size_t newline = text.find('\n', end);
        end = newline == std::string_view::npos ? text.size() : newline + 1;
        pieces.push_back(text.substr(begin, end - begin));
        begin = end;
    }
    std::vector<std::int64_t> vertexCounts(pieces.size(), 0);
    std::vector<MeshLists> parts(pieces.size());
    auto run = [&](auto&& work) {
        parallel::runBlocks(
            pieces.size(), 1, static_cast<int>(threads), {},
            [&](int, std::size_t first, std::size_t last) {
                for (std::size_t p = first; p < last; ++p) {
                    work(p);
                }
            },
            [](std::size_t) {});
    };
    run([&](std::size_t p) {
        forEachLine(pieces[p], [&](std::string_view line) {
            std::string_view rest;
            vertexCounts[p] += classify(line, rest) == Record::vertex ? 1 : 0;
        });
    });
    std::vector<std::int64_t> before(pieces.size(), 0);
    for (std::size_t p = 1; p < pieces.size(); ++p) {
        before[p] = before[p - 1] + vertexCounts[p - 1];
    }
    run([&](std::size_t p) { parseLines(pieces[p], before[p], parts[p]); });
    std::size_t positionCount = 0;
    std::size_t triangleCount = 0;
    for (const MeshLists& part : parts) {
        positionCount += part.positions.size();
        triangleCount += part.triangles.size();
    }
    mesh.positions.reserve(positionCount);
    mesh.triangles.reserve(triangleCount);
    for (MeshLists& part : parts) {
        mesh.positions.insert(mesh.positions.end(), part.positions.begin(), part.positions.end());
        mesh.triangles.insert(mesh.triangles.end(), part.triangles.begin(), part.triangles.end());
        part = MeshLists();
    }
    return mesh;
}

} // namespace tovarine::OBJMeshReader
