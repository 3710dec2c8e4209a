#pragma once

#include <QString>
#include <array>
#include <optional>

// The measure-and-rescale panel's rules, free of any display: measuring a model, the size and target texts,
// the slider mapping, when a save is possible, the exporter's factors and the output file name.
// Sizes are millimetres in the upright order of the exported file (Z up): x is the model's X extent, y its
// depth (the model's own Z) and z its height (the model's own Y). Any thread.
namespace tovarine::RescaleRules {

struct Dims
{
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    double longest() const;
    bool operator==(const Dims&) const = default;
};

// What the user typed, in the current unit.
struct Targets
{
    bool perAxis = false;        // false: "longest" mode
    QString longest;             // the target of the longest side
    std::array<QString, 3> axes; // X, Y, Z targets in "per axis" mode
};

// Slider bounds: log10 of 5 mm and of 2000 mm, to five decimals.
inline constexpr double kSliderMin = 0.69897;
inline constexpr double kSliderMax = 3.30103;

// The overall size of the model file at `meshPath` (metres, Y up, read with UsdzFile), in millimetres.
// None when the file cannot be read, holds no vertex, or an extent is not finite. Blocks: worker threads.
std::optional<Dims> measureBounds(const QString& meshPath);

// "in": millimetres / 25.4 as "%.2f"; otherwise the millimetres rounded half away from zero, as an integer.
QString format(double mm, const QString& unit);

// "%.0f × %.0f × %.0f mm", or each / 25.4 as "%.2f × %.2f × %.2f in".
QString sizeText(const Dims& dims, const QString& unit);

// The texts a measured or saved size puts in the fields: the longest side, and X, Y, Z.
QString longestText(const Dims& dims, const QString& unit);
std::array<QString, 3> defaultPerAxisText(const Dims& dims, const QString& unit);

// The slider position for a target (none: 100 mm), clamped to 5 ... 2000 mm, as log10.
double sliderValue(std::optional<double> targetMm);
// The target text for a slider position: 10^value rounded to whole millimetres (at least 1), formatted.
QString targetTextForSlider(double value, const QString& unit);

// The target of the longest side in millimetres, when the text is a usable value.
std::optional<double> parsedTargetMm(const QString& text, const QString& unit);

// A save as the panel makes it.
struct Plan
{
    QString fileName;                          // "model_<X>x<Y>x<Z>mm.obj", "model_<T>in.obj", …
    std::array<float, 3> exporterMultiplier{}; // along the model's own axes x, y (height), z (depth)
    Dims savedDims;                            // the size the saved file has, upright order
};

// Whether "Save scaled" is enabled: a shown size exists, every needed typed value is usable and nameable,
// the needed extents of the measured source are above zero, and a target differs from the shown size by
// more than 0.01 mm.
bool canSave(const std::optional<Dims>& shown, const std::optional<Dims>& measured, const Targets& targets,
             const QString& unit);

// The save for `targets`: factors are target / measured source size (the exporter always reads the source),
// handed to the exporter in the model's own axis order, so the file's X, Y, Z extents are the typed ones.
// A target text that is exactly the one the panel fills in for the `shown` size (longestText,
// defaultPerAxisText) means that shown extent itself, unrounded: saving at the size shown keeps it.
// None when a needed value is unusable or not nameable, or a needed extent is zero.
std::optional<Plan> plan(const Dims& measured, const Dims& shown, const Targets& targets,
                         const QString& unit);

// The name part of a typed number: millimetres rounded to an integer; inches rounded to hundredths, an
// integer when whole, else "%.2f" with "." as "p". None for a value too large to write whole.
std::optional<QString> namePart(double typed, const QString& unit);

} // namespace tovarine::RescaleRules
