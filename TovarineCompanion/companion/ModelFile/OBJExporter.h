#pragma once

#include <QString>

#include <array>
#include <optional>

// The application's model exporter (the kit has its own, unrelated one): a model file into a Wavefront OBJ
// in millimetres or inches, stretched per axis along the model's own axes, turned from +Y up to +Z up.
// Any thread except the GUI thread (it reads and writes whole files); it keeps no state.
namespace tovarine::OBJExporter {

struct Failure
{
    enum class Kind { load, write, empty };
    Kind kind = Kind::empty;
    QString text; // load, write: the cause

    // "couldn't load mesh: …", "couldn't write OBJ: …", "mesh had no usable geometry".
    QString localizedDescription() const;
};

// Unit factor: 39.3701 (as float) when `unit` lower-cased is "in", else 1000. Each vertex v (metres, +Y up)
// becomes R(S v) where S scales x, y, z by multiplier × factor and R turns +90° about X: (x, y, z) to
// (x, -z, y). A textured model also gets texture coordinates (vt), and its material file (the OBJ's base name
// with ".mtl", map_Kd naming the texture) and texture file (base name, "_diffuse" and the texture's own
// extension) beside the OBJ, written first. Writes every file atomically. Returns the failure (empty: the source cannot be read or
// holds no geometry; write: the destination cannot be written), or nothing on success.
std::optional<Failure> exportModel(const QString& meshPath, const QString& destinationPath, const QString& unit,
                                   std::array<float, 3> scaleMultiplier = {1.0f, 1.0f, 1.0f});

} // namespace tovarine::OBJExporter
