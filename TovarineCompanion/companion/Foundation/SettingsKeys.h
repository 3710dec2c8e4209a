#pragma once

#include <QString>

// The user-settings keys and the default each reader applies while a key is absent. No defaults are ever
// registered: every reader passes the default below to UserDefaults.
namespace tovarine::SettingsKeys {

inline const QString kDetail = QStringLiteral("tovarine.companion.detail");
inline const QString kDetailDefault = QStringLiteral("full");

inline const QString kUnits = QStringLiteral("tovarine.units");
inline const QString kUnitsDefault = QStringLiteral("mm");

inline const QString kPreviewShading = QStringLiteral("tovarine.companion.preview.shading");
inline const QString kPreviewShadingDefault = QStringLiteral("lit");

inline const QString kPreviewBrightness = QStringLiteral("tovarine.companion.preview.brightness");
inline constexpr double kPreviewBrightnessDefault = 0.0;

inline const QString kPreviewContrast = QStringLiteral("tovarine.companion.preview.contrast");
inline constexpr double kPreviewContrastDefault = 1.0;

inline const QString kMorvelDetail = QStringLiteral("tovarine.companion.morvel.detail");
inline const QString kMorvelDetailDefault = QStringLiteral("standard");

// Declared by the settings form and the print-prep panel; nothing reads it for a computation.
inline const QString kVoxelDivisions = QStringLiteral("tovarine.companion.voxelDivisions");
inline constexpr int kVoxelDivisionsDefault = 512;

} // namespace tovarine::SettingsKeys
