#include "OBJMeshReader.h"

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

void parseVertex(std::string_view rest, MeshPositions& positions)
{
    std::string_view tokens[3];
    for (auto& token : tokens) {
        if (!nextToken(rest, token)) {
            return;
        }
    }
    Vec3 p;
    for (int a = 0; a < 3; ++a) {
        if (!parseDouble(tokens[a], p[a])) {
            return;
        }
    }
    positions.push_back(p);
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

} // namespace

MeshLists parse(std::string_view text)
{
    MeshLists mesh;
    // No more than the text can hold ("v 0 0 0" takes 8 bytes a line; a fanned polygon gains a triangle
    // every 2 bytes): a short text does not pay for megabytes it cannot fill.
    mesh.positions.reserve(std::min(kReservedPositions, text.size() / 8 + 1));
    mesh.triangles.reserve(std::min(kReservedTriangles, text.size() / 2 + 1));
    std::vector<std::int64_t> indices;
    indices.reserve(16);

    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    const char* cursor = text.data();
    const char* const end = cursor + text.size();
    while (cursor < end) {
        const void* found = std::memchr(cursor, '\n', static_cast<std::size_t>(end - cursor));
        const char* lineEnd = found ? static_cast<const char*>(found) : end;
        std::string_view line(cursor, static_cast<std::size_t>(lineEnd - cursor));
        cursor = lineEnd + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        std::string_view rest = line;
        std::string_view keyword;
        if (!nextToken(rest, keyword)) {
            continue;
        }
        if (keyword == "v") {
            parseVertex(rest, mesh.positions);
        } else if (keyword == "f") {
            parseFace(rest, static_cast<std::int64_t>(mesh.positions.size()), indices, mesh.triangles);
        }
    }
    return mesh;
}

} // namespace tovarine::OBJMeshReader
