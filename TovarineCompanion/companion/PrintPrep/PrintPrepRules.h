#pragma once

#include "MeshGrow.h"
#include "MeshMinThickness.h"
#include "MeshThicken.h"

#include <QString>
#include <cstdint>
#include <optional>

// The print-prep panel's rules, free of any display: reading the thickness fields, the unit defaults, the
// output file names and every status line. Status lines join their parts with " · ", name a file change
// "source → output", end with the elapsed time as " · %.1fs", and a failure reads "failed · <message>".
// Any thread.
namespace tovarine::PrintPrepRules {

// Largest thickness a field accepts, in millimetres: thicker walls are no print preparation, and the cap
// keeps every value finite and nameable.
inline constexpr double kMaxThicknessMm = 10000.0;

// A field's text as millimetres: a number read whole, above zero, × 25.4 for inches, finite and at most
// kMaxThicknessMm; none otherwise (the field's buttons are then disabled).
std::optional<double> thicknessMm(const QString& text, const QString& units);

// The fields' default texts for a unit: "2" and "1.0" for millimetres, "0.08" and "0.04" for inches.
struct FieldTexts
{
    QString shell;
    QString minWall;
};
FieldTexts unitDefaults(const QString& units);

// Output names, by the thickness tag of `mm`.
QString thickenName(double mm);                 // "model_thick_<T>mm.obj"
QString thinmapName(double mm);                 // "model_thinmap_<T>mm.obj"
QString grownName(double mm);                   // "model_grown_<T>mm.obj"
QString mtlName(const QString& objName);        // ".obj" replaced by ".mtl"
QString postGrowName(const QString& grownName); // "model_grown_" replaced by "model_thinmap_postgrow_"

// "failed · " + message.
QString failed(const QString& message);

// The warning when no closed mesh is current: stale shells, or none at all.
QString closedMeshWarning(bool olderExist);

// "shelled · <name> · watertight · 1.2s", or "shelled · <name> · 3 open · 1 inside-out edges · 1.2s".
QString thickenSummary(const QString& name, const MeshThicken::Result& result, double seconds);

// A summary line and whether it carries the warning symbol (a mesh that is not closed).
struct Summary
{
    QString text;
    bool warning = false;
};

Summary guardSummary(const QString& sourceName, const MeshMinThickness::Result& result, double mm,
                     const QString& objName, double seconds);

// " · re-guard N thin", " · re-guard failed" (none), or empty when no re-guard ran.
QString reguardSuffix(bool ran, std::optional<std::int64_t> thinAfterReguard);

Summary growSummary(const QString& sourceName, const MeshGrow::Result& result, double mm,
                    const QString& grownName, const QString& reguard, double seconds);

} // namespace tovarine::PrintPrepRules
