#pragma once

#include <QString>

#include "Expected.h"
#include "UsdaTransform.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The syntax of a text (usda) layer, read into a tree of prims with the little each prim says about meshes and
// transforms. Any thread; stateless. Interpretation (transforms, units, merging) is UsdaReader's.
namespace tovarine::UsdaParser {

// A Mesh prim's arrays as written, not yet checked against each other.
struct MeshData
{
    std::vector<float> points;
    std::vector<float> normals;
    std::vector<float> colors; // primvars:displayColor; one colour when its interpolation is constant
    std::vector<float> texcoords; // primvars:st, two values per entry
    std::vector<std::int32_t> faceVertexCounts;
    std::vector<std::int32_t> faceVertexIndices;
    bool leftHanded = false;
};

struct Prim
{
    bool isMesh = false;
    MeshData mesh;
    std::map<std::string, UsdaTransform::Matrix, std::less<>> xformOps; // by attribute name, as matrices
    std::vector<std::string> xformOpOrder;
    std::string unsupportedOp; // the first xformOp whose kind is not known here
    std::vector<std::unique_ptr<Prim>> children; // def prims only; over and class prims are skipped
};

struct Layer
{
    Prim root;
    double metersPerUnit = 1.0; // USD's own fallback is centimetres; files without it are taken as stored
    bool zUp = false;
    std::string textureAsset; // the first shader file input (@path@) of the layer, as written; empty without
};

// Parses `text` (which starts with "#usda"). Error: "The model file's layer is malformed near line N: …" for the
// first syntax error, an unterminated group or array, a bad number, or prims nested deeper than 256. Arrays are
// reserved from the text they span, so memory stays proportional to the size of `text`.
Expected<Layer, QString> parse(std::string_view text);

} // namespace tovarine::UsdaParser
