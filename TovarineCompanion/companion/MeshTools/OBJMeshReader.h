#pragma once

#include "MeshTypes.h"

#include <string_view>

// Reads the vertex positions and faces of Wavefront OBJ text. Any thread; no state.
namespace tovarine::OBJMeshReader {

// Capacities reserved before parsing (less for a text too short to fill them).
inline constexpr std::size_t kReservedPositions = 64000;
inline constexpr std::size_t kReservedTriangles = 128000;

// Parses the whole text. Never fails: malformed records are skipped silently and a text without usable
// records gives empty lists. Rules:
//  - lines end at LF; a CR right before the LF (or at the end of the text) and a leading UTF-8 byte-order
//    mark are ignored; empty lines and lines starting with '#' are skipped;
//  - tokens are separated by runs of spaces only (a tab is part of a token);
//  - "v x y z [...]": three decimal numbers ("nan" and "inf" included); any unparsable one skips the line;
//  - "f i j k [...]": each index token's part before the first '/' is a base-10 integer; k > 0 means
//    vertex k - 1, k < 0 counts back from the positions read so far, 0 or unparsable skips the token;
//    with three or more indices the polygon is fanned from its first index.
// Returned indices are not checked against the position count (see MeshTopology::validTriangles).
MeshLists parse(std::string_view text);

} // namespace tovarine::OBJMeshReader
