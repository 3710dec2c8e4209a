#pragma once

#include <QString>
#include <QVector3D>
#include <array>

// How the preview draws a model: shading modes, the brightness/contrast rule on the diffuse colour, the
// studio light rig and the read-outs of the look controls. Any thread; pure.
namespace tovarine::PreviewLook {

enum class ShadingMode { lit, albedo, wireframe };

// "albedo" and "wireframe" by exact text; anything else (including "lit") is lit.
ShadingMode shadingMode(const QString& storedValue);

constexpr double kBrightnessMin = -0.5;
constexpr double kBrightnessMax = 0.5;
constexpr double kBrightnessDefault = 0.0;
constexpr double kContrastMin = 0.5;
constexpr double kContrastMax = 2.0;
constexpr double kContrastDefault = 1.0;

// Material defaults where the model gives none.
constexpr float kRoughness = 0.6f;
constexpr float kMetalness = 0.0f;

// One colour channel (0...1) after the look: clamp((c - 0.5) x contrast + 0.5 + brightness, 0, 1).
// The fragment shader applies the same formula.
float adjustChannel(float channel, float brightness, float contrast);

// "+0", "+12", "-50": the value x 100 rounded half away from zero; a "+" unless negative; no percent sign.
QString brightnessLabel(double value);
// "0.50×", "1.00×", "2.00×": two decimals as C's printf writes them (1.625 gives "1.62×") and the
// multiplication sign.
QString contrastLabel(double value);

// A reset button is dimmed while its value is within 0.0001 of the default. Its symbol is drawn in full white
// at these opacities: dimmed it still reads at about 5:1 against the black row (a quarter of the row's 70%
// white was hard to see), and it brightens once the value moves.
constexpr double kAtDefaultTolerance = 0.0001;
constexpr double kResetOpacityAtDefault = 0.5;
constexpr double kResetOpacityChanged = 0.9;
double resetOpacity(double value, double defaultValue);

// The studio rig: intensities in the scene's units, where 1000 is one unit of radiance; each directional
// light sits at its position and shines toward the origin; none casts shadows.
struct Light
{
    float intensity;
    QVector3D position; // unused for the ambient light
};
constexpr float kIntensityUnit = 1000.0f;
inline const Light kAmbient{380.0f, {}};
inline const std::array<Light, 3> kDirectionalLights{{
    {1100.0f, {5.0f, 6.0f, 5.0f}},  // key
    {450.0f, {-4.0f, 2.0f, -3.0f}}, // fill
    {300.0f, {0.0f, 3.0f, -6.0f}},  // back
}};

} // namespace tovarine::PreviewLook
